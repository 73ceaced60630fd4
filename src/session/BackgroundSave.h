#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vardelo {

// One worker thread that runs saves one after the other. A save handed in
// while another still waits replaces it: only the newest state matters.
class BackgroundSave {
  public:
    BackgroundSave();
    ~BackgroundSave(); // drops a waiting save, finishes a running one

    BackgroundSave(const BackgroundSave&) = delete;
    BackgroundSave& operator=(const BackgroundSave&) = delete;

    // The save must not throw and must not touch the caller's objects.
    void submit(std::function<void()> save);

    // Drops a save that has not started yet.
    void dropWaiting();
    // Returns once no save is waiting or running.
    void waitIdle();
    // Whether a save is being written now.
    bool running();

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::function<void()> waiting_;
    bool running_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace vardelo
