#pragma once

#include <cstdint>

namespace vardelo {

// The stall rule: a transfer has stalled when less than 1 KiB a second
// arrives over the stall time, whether nothing comes at all or a host sends
// a byte a second. Counted from the last moment that much had arrived; the
// time the speed limit holds the body back is not the host's and is not
// counted, so a limit of 1 KiB/s is no stall.
class StallWatch {
  public:
    static constexpr std::int64_t kBytesPerSecond = 1024;

    StallWatch(std::int64_t stallMs, std::int64_t nowMs) : stallMs_(stallMs), sinceMs_(nowMs) {}

    void heldBack(std::int64_t ms) { sinceMs_ += ms; }
    // `arrived`: the body's bytes so far at `nowMs`.
    bool stalled(std::int64_t nowMs, std::int64_t arrived);

  private:
    std::int64_t stallMs_;
    std::int64_t sinceMs_;
    std::int64_t arrivedAtSince_ = 0;
};

} // namespace vardelo
