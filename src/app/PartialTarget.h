#pragma once

#include "core/PartialFile.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace vardelo {

// The partial file a transfer writes into and the record kept beside it.
// Opening keeps what an earlier attempt left; the body then either goes on
// after it or empties it first. Used by the worker thread only.
class PartialTarget {
  public:
    PartialTarget(const std::string& folder, const std::string& fileName);
    ~PartialTarget();
    PartialTarget(const PartialTarget&) = delete;
    PartialTarget& operator=(const PartialTarget&) = delete;

    // Opens or creates the partial file. An earlier worker that still holds
    // it (just abandoned) is waited for, unless `abort` is set meanwhile.
    bool open(const std::atomic<bool>& abort);
    std::int64_t size() const { return openedSize_; }
    std::optional<PartialRecord> record() const;

    // The body goes on at `offset`.
    bool continueAt(std::int64_t offset);
    // The body starts again: the file is emptied, the record replaced (or
    // removed when the answer cannot be resumed).
    bool startAgain(const std::optional<PartialRecord>& record);
    bool write(const char* data, std::size_t size);
    // Flushes and closes; false when what was written did not reach the file.
    bool close();
    std::int64_t sizeOnDisk() const;

    // The complete file takes its final name; the record goes.
    bool store(const std::string& target);
    // A local failure or nothing worth keeping: both files go.
    void discard();

  private:
    std::string partialPath_;
    std::string recordPath_;
    std::FILE* file_ = nullptr;
    std::int64_t openedSize_ = 0;
};

} // namespace vardelo
