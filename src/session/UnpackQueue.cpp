#include "session/UnpackQueue.h"

#include <QMetaObject>

namespace vardelo {

UnpackQueue::UnpackQueue(QObject* parent) : QObject(parent) {}

UnpackQueue::~UnpackQueue() {
    stop_ = true;
    if (worker_.joinable())
        worker_.join();
}

void UnpackQueue::enqueue(const QString& package, UnpackJob job) {
    waiting_.emplace_back(package, std::move(job));
    if (!running_)
        startNext();
}

void UnpackQueue::startNext() {
    if (waiting_.empty())
        return;
    if (worker_.joinable())
        worker_.join(); // the last one has already said it ended
    auto [package, job] = std::move(waiting_.front());
    waiting_.pop_front();
    running_ = true;
    worker_ = std::thread([this, package, job = std::move(job)] {
        int lastPercent = -1;
        const UnpackResult result = unpackArchive(
            job,
            [&](std::int64_t read, std::int64_t total) {
                const int percent = total > 0 ? static_cast<int>(read * 100 / total) : 100;
                if (percent == lastPercent)
                    return;
                lastPercent = percent;
                QMetaObject::invokeMethod(
                    this, [this, package, percent] { Q_EMIT progressed(package, percent); },
                    Qt::QueuedConnection);
            },
            stop_);
        QMetaObject::invokeMethod(
            this, [this, package, result] { workerEnded(package, result); }, Qt::QueuedConnection);
    });
}

void UnpackQueue::workerEnded(const QString& package, const UnpackResult& result) {
    running_ = false;
    Q_EMIT finished(package, result);
    startNext();
}

} // namespace vardelo
