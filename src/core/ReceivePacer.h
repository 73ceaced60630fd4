#pragma once

#include <cstdint>
#include <mutex>

namespace vardelo {

// Keeps a body's arrival at or below a limit: after each piece it says how
// long to wait before reading on. The limit may change at any call; a new
// limit counts from the moment it is first seen.
class ReceivePacer {
  public:
    // `limit` in bytes a second, 0 for none; `received` is the body's bytes
    // so far at `nowMs`. The result is in milliseconds.
    std::int64_t waitMs(std::int64_t limit, std::int64_t nowMs, std::int64_t received);

  private:
    std::int64_t limit_ = 0;
    std::int64_t fromMs_ = 0;
    std::int64_t fromBytes_ = 0;
};

// One limit for every body arriving at once, on any threads: each reader
// adds its pieces and waits as long as the sum of them all asks. The first
// body of a run of them starts the pace afresh, so one body at a time is
// paced as by a ReceivePacer of its own.
class SharedReceivePacer {
  public:
    void join();
    void leave();
    void add(std::int64_t bytes);
    std::int64_t waitMs(std::int64_t limit, std::int64_t nowMs);

  private:
    std::mutex mutex_;
    ReceivePacer pacer_;
    std::int64_t received_ = 0;
    int bodies_ = 0;
};

} // namespace vardelo
