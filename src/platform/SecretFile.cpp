#include "platform/SecretFile.h"

#include "core/IoError.h"
#include "platform/RecordFiles.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vardelo {
namespace {

QString refusalFor(const QString& path, const char* why) {
    return QStringLiteral("A(z) %1 fájlt nem olvastam be: %2.").arg(path, QString::fromUtf8(why));
}

} // namespace

SecretFileRead readSecretFile(const QString& path, std::int64_t limit) {
    const QByteArray native = QFile::encodeName(path);
    // Opened without following a link and without waiting on a FIFO, then
    // judged by what was opened, so nothing can be swapped in between.
    const int fd = ::open(native.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return {};
        const char* why = errno == ELOOP ? "szimbolikus link" : "nem nyitható meg";
        return {std::nullopt, refusalFor(path, why).toStdString()};
    }
    struct stat info {};
    const bool known = ::fstat(fd, &info) == 0;
    const char* why = !known                       ? "nem olvasható"
                      : !S_ISREG(info.st_mode)     ? "nem közönséges fájl"
                      : info.st_uid != ::geteuid() ? "más felhasználóé"
                      : info.st_size > limit       ? "túl nagy"
                                                   : nullptr;
    std::string text;
    if (!why) {
        text.resize(static_cast<std::size_t>(info.st_size));
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    if (why)
        return {std::nullopt, refusalFor(path, why).toStdString()};
    return {std::move(text), {}};
}

void writeSecretFile(const QString& path, std::string_view bytes) {
    // Never through a link or into another user's file, which would hand
    // the secrets to wherever it leads; a loose mode is tightened first.
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
            throw IoError(IoAccessDenied);
        if ((info.st_mode & 077) != 0 && ::chmod(native.constData(), 0600) != 0)
            throw IoError(ioCodeFromErrno(errno));
    }
    writeRecordFile(path, bytes);
}

} // namespace vardelo
