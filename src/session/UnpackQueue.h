#pragma once

#include "platform/ArchiveUnpacker.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <deque>
#include <thread>

namespace vardelo {

// Unpacks packages one at a time on a worker thread of its own, so the
// window and the downloads go on meanwhile. What the worker says arrives
// through the event loop, in order.
class UnpackQueue : public QObject {
    Q_OBJECT
  public:
    explicit UnpackQueue(QObject* parent = nullptr);
    ~UnpackQueue() override; // stops the running unpacking, which takes back its files

    void enqueue(const QString& package, UnpackJob job);
    bool busy() const { return running_; }

  Q_SIGNALS:
    void progressed(const QString& package, int percent);
    void finished(const QString& package, const vardelo::UnpackResult& result);

  private:
    void startNext();
    void workerEnded(const QString& package, const UnpackResult& result);

    std::deque<std::pair<QString, UnpackJob>> waiting_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
};

} // namespace vardelo
