#pragma once

#include "core/PartialFile.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

namespace vardelo {

// The partial file a transfer writes into and the record kept beside it,
// both in the partial files' folder (made for this user alone), never in
// the target folder: nothing a host serves can pass for a partial file
// there. A partial file is taken over only when it is this user's plain
// file and its record names the same queue link; any other (another
// link's, a link or device put there) is left as it is and the next free
// partial name used. Partial files left beside the target by earlier
// versions are not looked at. The finished file never replaces an existing
// one: a taken name gets a number. Used by the worker thread only.
class PartialTarget {
  public:
    PartialTarget(std::string partialFolder, std::string targetFolder, std::string fileName,
                  std::string link);
    ~PartialTarget();
    PartialTarget(const PartialTarget&) = delete;
    PartialTarget& operator=(const PartialTarget&) = delete;

    // Opens this link's partial file or creates a fresh one. An earlier
    // worker that still holds it (just abandoned) is waited for, unless
    // `abort` is set meanwhile.
    bool open(const std::atomic<bool>& abort);
    std::int64_t size() const { return openedSize_; }
    const std::optional<PartialRecord>& record() const { return record_; }
    // The answer's length is recorded: a later attempt can go on from here.
    bool resumable() const { return record_ && record_->total > 0; }

    // The body goes on at `offset`.
    bool continueAt(std::int64_t offset);
    // The body starts again: the file is emptied and the record replaced
    // (by one that only marks the file as this link's when the answer
    // cannot be resumed).
    bool startAgain(const std::optional<PartialRecord>& record);
    bool write(const char* data, std::size_t size);
    // The first `length` bytes of the partial file as they lie on disk, in
    // pieces, unless `abort` is set meanwhile.
    bool readBack(std::int64_t length, const std::function<void(const char*, std::size_t)>& piece,
                  const std::atomic<bool>& abort);
    // Flushes and closes; false when what was written did not reach the file.
    bool close();
    std::int64_t sizeOnDisk() const;

    // The complete file takes its final name, or "name (n).ext" when that
    // is taken, and the mode a new file of this user gets; the record goes.
    // From another file system it is copied, unless `abort` is set meanwhile.
    bool store(const std::atomic<bool>& abort);
    // The final name when the reply names the file otherwise than the
    // partial file is named.
    void setFinalName(std::string name) { finalName_ = std::move(name); }
    // The name the finished file takes, before any "(n)".
    const std::string& storedName() const { return finalName_.empty() ? fileName_ : finalName_; }
    // Where `store` put the file, "(n)" included; empty before.
    const std::string& storedPath() const { return storedPath_; }
    // A local failure or nothing worth keeping: both files go.
    void discard();

    // Why the last step failed, with the system's message.
    const std::string& error() const { return error_; }

  private:
    enum class Claim { Taken, Claimed, Failed };
    bool makePrivateFolder();
    void useSlot(int slot);
    Claim claimExisting(const std::atomic<bool>& abort);
    bool isFreeRecord() const;
    bool claimFresh();
    bool lockAgainst(int fd, const std::atomic<bool>& abort);
    std::optional<PartialRecord> readRecord() const;
    bool writeRecord(const PartialRecord& record);
    bool storeByCopy(const std::atomic<bool>& abort);
    bool copyInto(int from, int to, const std::atomic<bool>& abort);
    void failWith(const char* what);

    const std::string partialFolder_;
    const std::string folder_;
    const std::string fileName_;
    const std::string link_;
    std::string partialPath_;
    std::string recordPath_;
    std::FILE* file_ = nullptr;
    std::int64_t openedSize_ = 0;
    std::optional<PartialRecord> record_;
    std::string error_;
    std::string finalName_; // empty: the partial file's name
    std::string storedPath_;
};

} // namespace vardelo
