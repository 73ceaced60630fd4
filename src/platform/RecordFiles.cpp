#include "platform/RecordFiles.h"

#include "core/IoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace vardelo {
namespace {

[[noreturn]] void throwErrno(int error, int fallbackCode) {
    throw IoError(error != 0 ? ioCodeFromErrno(error) : fallbackCode);
}

// The program's own rule on top of the system's: a file without the owner's
// write bit is read-only even for root.
void requireWritableRegularFile(const QByteArray& path, const struct stat& info) {
    if (!S_ISREG(info.st_mode) || (info.st_mode & S_IWUSR) == 0 ||
        ::faccessat(AT_FDCWD, path.constData(), W_OK, AT_EACCESS) != 0)
        throw IoError(IoAccessDenied);
}

// Follows links; false when nothing exists there.
bool statPath(const QByteArray& path, struct stat& info) {
    if (::stat(path.constData(), &info) == 0)
        return true;
    if (errno == ENOENT)
        return false;
    throwErrno(errno, IoFileNotFound);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

std::string readAll(int fd, std::int64_t size) {
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throwErrno(errno, IoReadBeyondEnd);
        if (n == 0)
            break; // the file shrank meanwhile
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
}

void keepOwner(int fd, const struct stat& old) {
    // Allowed for root; for others only towards themselves or their groups.
    [[maybe_unused]] const int ownerKept = ::fchown(fd, old.st_uid, static_cast<gid_t>(-1));
    [[maybe_unused]] const int groupKept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
}

void writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throwErrno(n < 0 ? errno : 0, IoDiskFull);
        done += static_cast<std::size_t>(n);
    }
}

// The file a path names, through any symbolic links: a link stays a link.
QByteArray finalTarget(const QByteArray& path) {
    char* resolved = ::realpath(path.constData(), nullptr);
    if (!resolved)
        throwErrno(errno, IoFileNotFound);
    QByteArray target(resolved);
    ::free(resolved);
    return target;
}

// A temporary file beside the target, named with the program's mark so that
// start-up can tell its leftovers from the user's own files.
class TemporaryFile {
  public:
    explicit TemporaryFile(const QByteArray& target)
        : name_(target + QByteArray(kInterruptedSaveMark) + "XXXXXX"),
          fd_(::mkostemp(name_.data(), O_CLOEXEC)) {}
    ~TemporaryFile() {
        if (fd_ < 0)
            return;
        ::close(fd_);
        if (!kept_)
            ::unlink(name_.constData());
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int fd() const { return fd_; }
    void replace(const QByteArray& target) {
        if (::fsync(fd_) != 0 || ::rename(name_.constData(), target.constData()) != 0)
            throwErrno(errno, IoDiskFull);
        kept_ = true;
    }

  private:
    QByteArray name_;
    int fd_;
    bool kept_ = false;
};

// Where no temporary file may be made, the file is rewritten in place; the
// space is reserved first, so a full disk fails before a byte of the old
// file has changed.
void writeInPlace(const QByteArray& target, std::string_view bytes) {
    const Descriptor file(::open(target.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (file.get() < 0)
        throwErrno(errno, IoAccessDenied);
    if (::fstat(file.get(), &info) != 0)
        throwErrno(errno, IoDiskFull);
    if (!S_ISREG(info.st_mode))
        throw IoError(IoAccessDenied);
    if (!bytes.empty()) {
        if (const int error = ::posix_fallocate(file.get(), 0, static_cast<off_t>(bytes.size()))) {
            // A partly reserved extension is not left at the end of the file.
            [[maybe_unused]] const int kept = ::ftruncate(file.get(), info.st_size);
            throwErrno(error, IoDiskFull);
        }
    }
    writeAll(file.get(), bytes);
    if (::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(file.get()) != 0)
        throwErrno(errno, IoDiskFull);
}

bool allowsNoNewFile(int error) {
    return error == EACCES || error == EPERM || error == EROFS || error == EDQUOT ||
           error == ENOSPC;
}

} // namespace

std::optional<std::string> readKeptFile(const QString& path, std::int64_t limit,
                                        std::string (*tooLargeMessage)(std::string_view)) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (!statPath(native, info))
        return std::nullopt;
    requireWritableRegularFile(native, info);
    const std::string name = QFileInfo(path).fileName().toStdString();
    if (info.st_size > limit)
        throw UserError(tooLargeMessage(name));

    // Opened for writing too, as the record files always were; O_NONBLOCK
    // keeps a FIFO swapped in after the check from blocking.
    const Descriptor file(::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        throwErrno(errno, IoFileNotFound);
    if (::fstat(file.get(), &info) != 0)
        throwErrno(errno, IoReadBeyondEnd);
    if (!S_ISREG(info.st_mode))
        throw IoError(IoAccessDenied);
    if (info.st_size > limit)
        throw UserError(tooLargeMessage(name));
    try {
        return readAll(file.get(), info.st_size);
    } catch (const std::bad_alloc&) {
        throw UserError(tooLargeMessage(name));
    }
}

bool readRecordFile(const QString& path, const RecordLayout& layout, TextGrid& grid) {
    const std::optional<std::string> bytes =
        readKeptFile(path, kRecordFileLimit, recordFileTooLargeMessage);
    if (!bytes)
        return false;
    try {
        TextGrid loaded = grid;
        decodeRecords(*bytes, layout, loaded);
        grid = std::move(loaded);
    } catch (const std::bad_alloc&) {
        throw UserError(recordFileTooLargeMessage(QFileInfo(path).fileName().toStdString()));
    }
    return true;
}

HostWaits readHostWaitsFile(const QString& path, std::int64_t now) {
    const std::optional<std::string> text =
        readKeptFile(path, kHostWaitsFileLimit, hostWaitsFileTooLargeMessage);
    return text ? decodeHostWaits(*text, now) : HostWaits{};
}

void writeRecordFile(const QString& path, std::string_view bytes) {
    const QByteArray native = QFile::encodeName(path);
    struct stat old {};
    const bool existed = statPath(native, old);
    if (existed)
        requireWritableRegularFile(native, old);
    const QByteArray target = existed ? finalTarget(native) : native;

    TemporaryFile temporary(target);
    if (temporary.fd() < 0) {
        const int error = errno;
        if (!existed || !allowsNoNewFile(error))
            throwErrno(error, IoAccessDenied);
        writeInPlace(target, bytes);
        return;
    }
    if (existed) { // a new file stays private to its user, as the temporary file is
        keepOwner(temporary.fd(), old);
        ::fchmod(temporary.fd(), old.st_mode & 07777);
    }
    writeAll(temporary.fd(), bytes);
    temporary.replace(target);
}

void removeInterruptedSaves(const QString& folder) {
    const QDir dir(folder);
    const QString mark = QLatin1String(kInterruptedSaveMark);
    const QStringList names =
        dir.entryList({QStringLiteral("Lista.Vdl") + mark + QLatin1Char('*'),
                       QStringLiteral("Naplo.Vdl") + mark + QLatin1Char('*'),
                       QLatin1String(kHostWaitsFileName) + mark + QLatin1Char('*')},
                      QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names)
        if (isInterruptedSaveName(name.toStdString()))
            QFile::remove(dir.filePath(name));
}

} // namespace vardelo
