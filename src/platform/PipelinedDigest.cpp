#include "platform/PipelinedDigest.h"

#include <algorithm>

namespace vardelo {
namespace {

constexpr std::size_t kPieceBytes = 1 << 20;
constexpr std::size_t kMostWaiting = 8;

} // namespace

PipelinedDigest::PipelinedDigest(DigestKind kind) : digest_(kind) {
    filling_.reserve(kPieceBytes);
    thread_ = std::thread([this] { run(); });
}

PipelinedDigest::~PipelinedDigest() {
    {
        const std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void PipelinedDigest::add(const char* data, std::size_t size) {
    while (size > 0) {
        const std::size_t taken = std::min(size, kPieceBytes - filling_.size());
        filling_.append(data, taken);
        data += taken;
        size -= taken;
        if (filling_.size() == kPieceBytes)
            handOver();
    }
}

void PipelinedDigest::handOver() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.size() < kMostWaiting; });
    waiting_.push_back(std::move(filling_));
    lock.unlock();
    changed_.notify_all();
    filling_ = std::string();
    filling_.reserve(kPieceBytes);
}

void PipelinedDigest::drain() {
    if (!filling_.empty())
        handOver();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_.empty() && !hashing_; });
}

void PipelinedDigest::restart() {
    drain();
    digest_.restart();
}

std::string PipelinedDigest::hex() {
    drain();
    return digest_.hex();
}

void PipelinedDigest::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return ending_ || !waiting_.empty(); });
        if (waiting_.empty())
            return; // ending, with nothing left to hash
        const std::string piece = std::move(waiting_.front());
        waiting_.pop_front();
        hashing_ = true;
        lock.unlock();
        changed_.notify_all(); // a place is free
        digest_.add(piece.data(), piece.size());
        lock.lock();
        hashing_ = false;
        changed_.notify_all();
    }
}

} // namespace vardelo
