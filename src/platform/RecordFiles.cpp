#include "platform/RecordFiles.h"

#include "core/IoError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <new>
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

void keepOwner(QSaveFile& file, const struct stat& old) {
    // Allowed for root; for others only towards themselves or their groups.
    const int fd = file.handle();
    [[maybe_unused]] const int ownerKept = ::fchown(fd, old.st_uid, static_cast<gid_t>(-1));
    [[maybe_unused]] const int groupKept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
}

} // namespace

bool readRecordFile(const QString& path, const RecordLayout& layout, TextGrid& grid) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (!statPath(native, info))
        return false;
    requireWritableRegularFile(native, info);
    const std::string name = QFileInfo(path).fileName().toStdString();
    if (info.st_size > kRecordFileLimit)
        throw UserError(recordFileTooLargeMessage(name));

    // Opened for writing too, as the record files always were; O_NONBLOCK
    // keeps a FIFO swapped in after the check from blocking.
    const Descriptor file(::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        throwErrno(errno, IoFileNotFound);
    if (::fstat(file.get(), &info) != 0)
        throwErrno(errno, IoReadBeyondEnd);
    if (!S_ISREG(info.st_mode))
        throw IoError(IoAccessDenied);
    if (info.st_size > kRecordFileLimit)
        throw UserError(recordFileTooLargeMessage(name));

    try {
        TextGrid loaded = grid;
        decodeRecords(readAll(file.get(), info.st_size), layout, loaded);
        grid = std::move(loaded);
    } catch (const std::bad_alloc&) {
        throw UserError(recordFileTooLargeMessage(name));
    }
    return true;
}

void writeRecordFile(const QString& path, std::string_view bytes) {
    const QByteArray native = QFile::encodeName(path);
    struct stat old {};
    const bool existed = statPath(native, old);
    if (existed)
        requireWritableRegularFile(native, old);

    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly))
        throwErrno(errno, IoAccessDenied);
    if (existed)
        keepOwner(file, old);
    errno = 0;
    if (file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
        static_cast<qint64>(bytes.size())) {
        const int error = errno;
        file.cancelWriting();
        throwErrno(error, IoDiskFull);
    }
    errno = 0;
    if (!file.commit())
        throwErrno(errno, IoDiskFull);
}

void removeInterruptedSaves(const QString& folder) {
    const QDir dir(folder);
    const QStringList names =
        dir.entryList({QStringLiteral("Lista.Vdl.*"), QStringLiteral("Naplo.Vdl.*")},
                      QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : names)
        if (isInterruptedSaveName(name.toStdString()))
            QFile::remove(dir.filePath(name));
}

} // namespace vardelo
