#include "session/PageRest.h"

#include <QTimer>

#include <utility>

namespace vardelo {

PageRest::PageRest(std::function<bool()> inUse, std::function<void()> release, QObject* parent)
    : QObject(parent), inUse_(std::move(inUse)), release_(std::move(release)),
      rest_(new QTimer(this)) {
    rest_->setObjectName(QStringLiteral("pageRest"));
    rest_->setSingleShot(true);
    rest_->setInterval(std::chrono::seconds(60));
    connect(rest_, &QTimer::timeout, this, [this] {
        if (!inUse_())
            release_();
    });
}

void PageRest::setRestTime(std::chrono::milliseconds rest) {
    rest_->setInterval(rest);
}

void PageRest::reconsider() {
    if (std::exchange(due_, true))
        return;
    QMetaObject::invokeMethod(this, &PageRest::look, Qt::QueuedConnection);
}

// The rest counts from the first moment no link needs a page.
void PageRest::look() {
    due_ = false;
    if (inUse_())
        rest_->stop();
    else if (!rest_->isActive())
        rest_->start();
}

} // namespace vardelo
