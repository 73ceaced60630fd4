#include "core/StallWatch.h"

namespace vardelo {

bool StallWatch::stalled(std::int64_t nowMs, std::int64_t arrived) {
    if (arrived - arrivedAtSince_ >= kBytesPerSecond * stallMs_ / 1000) {
        sinceMs_ = nowMs;
        arrivedAtSince_ = arrived;
        return false;
    }
    return nowMs - sinceMs_ >= stallMs_;
}

} // namespace vardelo
