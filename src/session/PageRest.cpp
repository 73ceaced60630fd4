#include "session/PageRest.h"

#include <QTimer>

#include <utility>

namespace vardelo {

PageRest::PageRest(std::function<bool()> needed, std::function<void()> release, QObject* parent)
    : QObject(parent), needed_(std::move(needed)), release_(std::move(release)),
      rest_(new QTimer(this)) {
    rest_->setObjectName(QStringLiteral("pageRest"));
    rest_->setSingleShot(true);
    rest_->setInterval(kPageRestTime);
    connect(rest_, &QTimer::timeout, this, &PageRest::restEnded);
}

void PageRest::setRestTime(std::chrono::milliseconds rest) {
    rest_->setInterval(rest);
}

void PageRest::reconsider() {
    // A link that ends before the look opened its page all the same.
    if (needed_()) {
        state_ = State::Needed;
        rest_->stop();
    }
    if (std::exchange(lookDue_, true))
        return;
    QMetaObject::invokeMethod(this, &PageRest::look, Qt::QueuedConnection);
}

// The rest counts from the first moment nothing needs a page.
void PageRest::look() {
    lookDue_ = false;
    if (needed_()) {
        state_ = State::Needed;
        rest_->stop();
    } else if (state_ == State::Needed) {
        state_ = State::Resting;
        rest_->start();
    }
}

void PageRest::restEnded() {
    if (needed_()) { // a need that has not told yet
        state_ = State::Needed;
        return;
    }
    state_ = State::LetGo;
    release_();
}

} // namespace vardelo
