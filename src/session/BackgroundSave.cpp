#include "session/BackgroundSave.h"

namespace vardelo {

BackgroundSave::BackgroundSave() : thread_([this] { run(); }) {}

BackgroundSave::~BackgroundSave() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        waiting_ = nullptr;
    }
    wake_.notify_one();
    thread_.join();
}

void BackgroundSave::submit(std::function<void()> save) {
    {
        const std::lock_guard lock(mutex_);
        waiting_ = std::move(save);
    }
    wake_.notify_one();
}

void BackgroundSave::dropWaiting() {
    const std::lock_guard lock(mutex_);
    waiting_ = nullptr;
}

void BackgroundSave::waitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !running_ && !waiting_; });
}

bool BackgroundSave::running() {
    const std::lock_guard lock(mutex_);
    return running_;
}

void BackgroundSave::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || waiting_; });
        if (stopping_)
            return;
        std::function<void()> save = std::move(waiting_);
        waiting_ = nullptr;
        running_ = true;
        lock.unlock();
        save();
        save = nullptr; // its snapshot goes here, not on the caller's thread
        lock.lock();
        running_ = false;
        idle_.notify_all();
    }
}

} // namespace vardelo
