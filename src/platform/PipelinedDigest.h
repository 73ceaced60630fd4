#pragma once

#include "platform/FileDigest.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace vardelo {

// A digest taken on a thread of its own, so that hashing a file overlaps
// receiving it instead of slowing it: the caller's bytes are copied into
// pieces that the thread hashes in order. When a few pieces wait already,
// add() waits for the thread, so memory stays bounded on a slow machine.
class PipelinedDigest {
  public:
    explicit PipelinedDigest(DigestKind kind);
    ~PipelinedDigest();
    PipelinedDigest(const PipelinedDigest&) = delete;
    PipelinedDigest& operator=(const PipelinedDigest&) = delete;

    DigestKind kind() const { return digest_.kind(); }
    // Starts over, as for a body written again from its first byte.
    void restart();
    void add(const char* data, std::size_t size);
    // The digest of everything added since the start, once the thread has
    // hashed it all; empty when the library failed.
    std::string hex();

  private:
    void handOver(); // the piece being filled goes to the thread
    void drain();    // every byte added so far is hashed
    void run();

    FileDigest digest_; // the thread's while it hashes; the caller's once drained
    std::string filling_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> waiting_;
    bool hashing_ = false;
    bool ending_ = false;
    std::thread thread_;
};

} // namespace vardelo
