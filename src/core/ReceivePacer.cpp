#include "core/ReceivePacer.h"

namespace vardelo {
namespace {

// A slow stretch earns no burst above the limit later.
constexpr std::int64_t kLongestCreditMs = 1000;

std::int64_t msFor(std::int64_t bytes, std::int64_t limit) {
    return bytes / limit * 1000 + bytes % limit * 1000 / limit;
}

} // namespace

std::int64_t ReceivePacer::waitMs(std::int64_t limit, std::int64_t nowMs, std::int64_t received) {
    if (limit != limit_ || received < fromBytes_) {
        limit_ = limit;
        fromMs_ = nowMs;
        fromBytes_ = received;
        return 0;
    }
    if (limit <= 0)
        return 0;
    const std::int64_t dueMs = fromMs_ + msFor(received - fromBytes_, limit);
    if (dueMs < nowMs - kLongestCreditMs) {
        fromMs_ = nowMs;
        fromBytes_ = received;
        return 0;
    }
    return dueMs > nowMs ? dueMs - nowMs : 0;
}

void SharedReceivePacer::join() {
    const std::lock_guard lock(mutex_);
    if (bodies_++ == 0) {
        pacer_ = ReceivePacer();
        received_ = 0;
    }
}

void SharedReceivePacer::leave() {
    const std::lock_guard lock(mutex_);
    --bodies_;
}

void SharedReceivePacer::add(std::int64_t bytes) {
    const std::lock_guard lock(mutex_);
    received_ += bytes;
}

std::int64_t SharedReceivePacer::waitMs(std::int64_t limit, std::int64_t nowMs) {
    const std::lock_guard lock(mutex_);
    return pacer_.waitMs(limit, nowMs, received_);
}

} // namespace vardelo
