#include "session/PartialTarget.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace vardelo {
namespace {

constexpr int kPartialSlots = 100;
constexpr int kNumberedCopies = 1000;
constexpr off_t kRecordMax = 64 * 1024;
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;

// This user's plain file under this one name: nothing another user planted,
// no device, no link to a file elsewhere.
bool isOwnPlainFile(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_nlink == 1;
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The mode a new file of this user gets: 0666 less the umask, read without
// changing it (umask() would change it for every thread at once).
mode_t usualFileMode() {
    unsigned mask = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "Umask: %o", &mask) == 1)
                break;
        }
        std::fclose(status);
    }
    return 0666 & ~static_cast<mode_t>(mask);
}

// Gives `from` the name `to` unless that name exists, whatever it is.
int renameNoReplace(const char* from, const char* to) {
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without that rename: a second name, then the first goes.
    if (::link(from, to) == 0) {
        ::unlink(from);
        return 0;
    }
    if (errno == EEXIST)
        return -1;
    struct stat info {};
    if (::lstat(to, &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from, to);
}

} // namespace

PartialTarget::PartialTarget(std::string partialFolder, std::string targetFolder,
                             std::string fileName, std::string link)
    : partialFolder_(std::move(partialFolder)), folder_(std::move(targetFolder)),
      fileName_(std::move(fileName)), link_(std::move(link)) {}

PartialTarget::~PartialTarget() {
    close();
}

void PartialTarget::failWith(const char* what) {
    error_ = std::string(what) + ": " + std::strerror(errno);
}

bool PartialTarget::makePrivateFolder() {
    if (partialFolder_.empty() || partialFolder_.front() != '/') {
        error_ = "no folder for partial files";
        return false;
    }
    // Each missing level for this user alone, as $XDG_STATE_HOME is to be.
    for (auto slash = partialFolder_.find('/', 1); slash != std::string::npos;
         slash = partialFolder_.find('/', slash + 1))
        ::mkdir(partialFolder_.substr(0, slash).c_str(), kPrivateFolder);
    ::mkdir(partialFolder_.c_str(), kPrivateFolder);
    const int fd = ::open(partialFolder_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        failWith(("cannot make the folder of partial files " + partialFolder_).c_str());
        return false;
    }
    struct stat info {};
    const bool own = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid();
    const bool made =
        own && ((info.st_mode & 07777) == kPrivateFolder || ::fchmod(fd, kPrivateFolder) == 0);
    ::close(fd);
    if (!made)
        error_ = "the folder of partial files is not this user's own: " + partialFolder_;
    return made;
}

void PartialTarget::useSlot(int slot) {
    const PartialNames names = partialNamesFor(link_, folder_ + "/" + fileName_, slot);
    partialPath_ = partialFolder_ + "/" + names.partial;
    recordPath_ = partialFolder_ + "/" + names.record;
}

bool PartialTarget::open(const std::atomic<bool>& abort) {
    // A target folder that is not there fails before anything is fetched.
    const int target = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (target < 0) {
        failWith("cannot open the target folder");
        return false;
    }
    ::close(target);
    if (!makePrivateFolder())
        return false;
    // This link's partial file wherever it is; else the first free name.
    int freeSlot = -1;
    for (int slot = 0; slot < kPartialSlots; ++slot) {
        useSlot(slot);
        struct stat info {};
        if (::lstat(partialPath_.c_str(), &info) == 0) {
            if (!isOwnPlainFile(info))
                continue;
            const Claim claim = claimExisting(abort);
            if (claim != Claim::Taken)
                return claim == Claim::Claimed;
        } else if (errno != ENOENT) {
            failWith("cannot look for the partial file");
            return false;
        } else if (freeSlot < 0 && isFreeRecord()) {
            freeSlot = slot;
        }
    }
    if (freeSlot < 0) {
        error_ = "every partial name of the file is taken";
        return false;
    }
    useSlot(freeSlot);
    return claimFresh();
}

PartialTarget::Claim PartialTarget::claimExisting(const std::atomic<bool>& abort) {
    const auto ofThisLink = [this] {
        record_ = readRecord();
        if (record_ && record_->link == link_)
            return true;
        record_.reset(); // another link's, or the user's own file
        return false;
    };
    const int fd = ::open(partialPath_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Claim::Taken;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !isOwnPlainFile(info) || !ofThisLink()) {
        ::close(fd);
        return Claim::Taken;
    }
    if (!lockAgainst(fd, abort)) {
        record_.reset();
        ::close(fd);
        return Claim::Failed;
    }
    // Read again under the lock: an abandoned worker may have rewritten it.
    if (!ofThisLink() || ::fstat(fd, &info) != 0 || !(file_ = ::fdopen(fd, "wb"))) {
        record_.reset();
        ::close(fd);
        return Claim::Taken;
    }
    openedSize_ = static_cast<std::int64_t>(info.st_size);
    return Claim::Claimed;
}

bool PartialTarget::isFreeRecord() const {
    // A record left without its partial file is replaced only when it is one.
    struct stat info {};
    return (::lstat(recordPath_.c_str(), &info) != 0 && errno == ENOENT) ||
           readRecord().has_value();
}

bool PartialTarget::claimFresh() {
    // The record first: a partial file of this program never lacks one.
    PartialRecord mark;
    mark.link = link_;
    if (!writeRecord(mark))
        return false;
    const int fd = ::open(partialPath_.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile);
    if (fd < 0) {
        failWith("cannot create the partial file");
        const int error = errno;
        ::unlink(recordPath_.c_str());
        errno = error;
        return false;
    }
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (!(file_ = ::fdopen(fd, "wb"))) {
        failWith("cannot open the partial file");
        ::close(fd);
        ::unlink(partialPath_.c_str());
        ::unlink(recordPath_.c_str());
        return false;
    }
    record_ = mark;
    openedSize_ = 0;
    return true;
}

bool PartialTarget::lockAgainst(int fd, const std::atomic<bool>& abort) {
    // A worker abandoned by Stop may still flush its last piece; its lock
    // goes with its close.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            failWith("cannot lock the partial file");
            return false;
        }
        if (abort.load())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::optional<PartialRecord> PartialTarget::readRecord() const {
    const int fd = ::open(recordPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat info {};
    std::string text;
    if (::fstat(fd, &info) == 0 && isOwnPlainFile(info) && info.st_size <= kRecordMax) {
        text.resize(static_cast<std::size_t>(info.st_size));
        const ssize_t n = ::read(fd, text.data(), text.size());
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    ::close(fd);
    return parseRecord(text);
}

bool PartialTarget::writeRecord(const PartialRecord& record) {
    // Written whole under another name, then put in place: after a crash
    // the partial file has its old record or its new one.
    const std::string written = recordPath_ + ".new";
    if (::unlink(written.c_str()) != 0 && errno != ENOENT) {
        failWith("cannot replace the partial file's record");
        return false;
    }
    const int fd =
        ::open(written.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kPrivateFile);
    if (fd < 0) {
        failWith("cannot create the partial file's record");
        return false;
    }
    const bool whole = writeAll(fd, recordText(record));
    const int error = errno;
    const bool closed = ::close(fd) == 0;
    if (!whole || !closed || ::rename(written.c_str(), recordPath_.c_str()) != 0) {
        if (!whole)
            errno = error;
        failWith("cannot write the partial file's record");
        ::unlink(written.c_str());
        return false;
    }
    return true;
}

bool PartialTarget::continueAt(std::int64_t offset) {
    // Cut only what lies past the offset: on ext4 a cut to nothing makes the
    // close write the whole file out, which would hold the transfer's end
    // for as long as the disk takes.
    struct stat info {};
    if (std::fflush(file_) == 0 && ::fstat(::fileno(file_), &info) == 0 &&
        (info.st_size == offset || ::ftruncate(::fileno(file_), offset) == 0) &&
        ::fseeko(file_, offset, SEEK_SET) == 0)
        return true;
    failWith("cannot write the partial file");
    return false;
}

bool PartialTarget::startAgain(const std::optional<PartialRecord>& record) {
    // Emptied under a record that promises nothing: a record never
    // describes bytes of another answer.
    PartialRecord mark;
    mark.link = link_;
    if (!writeRecord(mark) || !continueAt(0))
        return false;
    record_ = mark;
    if (record && record->total > 0) {
        PartialRecord next = *record;
        next.link = link_;
        if (!writeRecord(next))
            return false;
        record_ = next;
    }
    return true;
}

bool PartialTarget::write(const char* data, std::size_t size) {
    if (std::fwrite(data, 1, size, file_) == size)
        return true;
    failWith("cannot write the partial file");
    return false;
}

bool PartialTarget::readBack(std::int64_t length,
                             const std::function<void(const char*, std::size_t)>& piece,
                             const std::atomic<bool>& abort) {
    if (file_ && std::fflush(file_) != 0) {
        failWith("cannot write the partial file");
        return false;
    }
    const int fd = ::open(partialPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        failWith("cannot read the partial file");
        return false;
    }
    std::string buffer(1 << 20, '\0');
    while (length > 0 && !abort.load()) {
        const auto wanted = static_cast<std::size_t>(
            std::min<std::int64_t>(length, static_cast<std::int64_t>(buffer.size())));
        const ssize_t n = ::read(fd, buffer.data(), wanted);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO; // shorter than it was
            failWith("cannot read the partial file");
            ::close(fd);
            return false;
        }
        piece(buffer.data(), static_cast<std::size_t>(n));
        length -= n;
    }
    ::close(fd);
    return length == 0;
}

bool PartialTarget::close() {
    if (!file_)
        return true;
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0; // and the lock with it
    file_ = nullptr;
    if (!flushed || !closed)
        failWith("cannot write the partial file");
    return flushed && closed;
}

std::int64_t PartialTarget::sizeOnDisk() const {
    struct stat info {};
    return ::lstat(partialPath_.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

bool PartialTarget::store(const std::atomic<bool>& abort) {
    // Private while partial; finished, it is a file as any other of the user's.
    if (::chmod(partialPath_.c_str(), usualFileMode()) != 0) {
        failWith("cannot give the file its name");
        return false;
    }
    for (int n = 0; n < kNumberedCopies; ++n) {
        const std::string target = folder_ + "/" + numberedName(storedName(), n);
        if (renameNoReplace(partialPath_.c_str(), target.c_str()) == 0) {
            ::unlink(recordPath_.c_str());
            storedPath_ = target;
            return true;
        }
        if (errno == EXDEV)
            return storeByCopy(abort);
        if (errno != EEXIST) {
            failWith("cannot give the file its name");
            return false;
        }
    }
    error_ = "every numbered name of the file is taken";
    return false;
}

bool PartialTarget::storeByCopy(const std::atomic<bool>& abort) {
    // Copied under a hidden name, which no download gets, then named as a
    // rename would have named it: a copy cut short never has the final name.
    const int from = ::open(partialPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (from < 0) {
        failWith("cannot read the partial file");
        return false;
    }
    std::string copy = folder_ + "/.vardelo-XXXXXX";
    const int to = ::mkostemp(copy.data(), O_CLOEXEC);
    if (to < 0) {
        failWith("cannot copy the file into the target folder");
        ::close(from);
        return false;
    }
    bool copied =
        copyInto(from, to, abort) && ::fchmod(to, usualFileMode()) == 0 && ::fsync(to) == 0;
    const int error = errno;
    copied = ::close(to) == 0 && copied;
    ::close(from);
    if (!copied) {
        if (!abort.load())
            errno = error;
        failWith("cannot copy the file into the target folder");
        ::unlink(copy.c_str());
        return false;
    }
    for (int n = 0; n < kNumberedCopies; ++n) {
        const std::string target = folder_ + "/" + numberedName(storedName(), n);
        if (renameNoReplace(copy.c_str(), target.c_str()) == 0) {
            ::unlink(partialPath_.c_str());
            ::unlink(recordPath_.c_str());
            storedPath_ = target;
            return true;
        }
        if (errno != EEXIST)
            break;
    }
    failWith("cannot give the file its name");
    ::unlink(copy.c_str());
    return false;
}

bool PartialTarget::copyInto(int from, int to, const std::atomic<bool>& abort) {
    std::string buffer(1 << 20, '\0');
    for (;;) {
        if (abort.load())
            return false; // kept whole in its own folder for the next attempt
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        if (!writeAll(to, buffer.substr(0, static_cast<std::size_t>(n))))
            return false;
    }
}

void PartialTarget::discard() {
    if (!record_)
        return; // nothing here is this transfer's
    close();
    ::unlink(partialPath_.c_str());
    ::unlink(recordPath_.c_str());
    record_.reset();
}

} // namespace vardelo
