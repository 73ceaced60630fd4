#include "platform/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace vardelo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The running program's reply: kReceived once it has taken the message, then
// one frame with its answer (a 32-bit big-endian length, then the bytes). A
// start of an older program reads kReceived alone and goes; an older program
// sends nothing after it.
constexpr char kReceived = '+';
constexpr quint32 kLargestMessage = 64u << 20; // a list of a few hundred thousand links
// The answer follows its kReceived at once; whatever is longer or later is
// not waited for, the message having been taken all the same.
constexpr quint32 kLargestAnswer = 1u << 20;
constexpr milliseconds kAnswerPatience{1000};
constexpr milliseconds kRetryPause{50};
constexpr milliseconds kSlowSender{10'000};

void report(const QString& text) {
    std::fprintf(stderr, "Vardelo: %s\n", text.toLocal8Bit().constData());
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

int millisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

// The socket lives in the user's own runtime folder (its path must stay
// short), named after the record folder it serves.
QString socketPathFor(const QString& recordFolder) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QFileInfo info(recordFolder);
    const QString key =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(key), QCryptographicHash::Sha256).toHex();
    return folder + QStringLiteral("/vardelo-") + QString::fromLatin1(hash.left(24));
}

// A sender that gave up waiting has closed its end; what it sent is not
// taken, so that a start that reported failure has handed nothing over.
bool senderGaveUp(QLocalSocket* socket) {
    if (socket->state() != QLocalSocket::ConnectedState)
        return true;
    char byte = 0;
    return ::recv(static_cast<int>(socket->socketDescriptor()), &byte, 1,
                  MSG_PEEK | MSG_DONTWAIT) == 0;
}

// The user whose process holds a lock on the file open as `fd`, from the
// system's table of locks; -1 when it cannot be told.
long lockHolderUid(int fd) {
    struct stat info {};
    QFile locks(QStringLiteral("/proc/locks"));
    if (::fstat(fd, &info) != 0 || !locks.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray file = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') +
                            ':' +
                            QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0') +
                            ':' + QByteArray::number(static_cast<qulonglong>(info.st_ino));
    // "1: FLOCK  ADVISORY  READ 4242 08:01:1234 0 EOF"; waiters have "->".
    for (const QByteArray& line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] == "->" || fields[5] != file)
            continue;
        struct stat holder {};
        if (::stat(("/proc/" + fields[4]).constData(), &holder) == 0)
            return static_cast<long>(holder.st_uid);
    }
    return -1;
}

// Without the table, the file's owner stands for the holder.
bool heldByAnotherUser(int fd) {
    long holder = lockHolderUid(fd);
    struct stat info {};
    if (holder < 0 && ::fstat(fd, &info) == 0)
        holder = static_cast<long>(info.st_uid);
    return holder >= 0 && holder != static_cast<long>(::geteuid());
}

} // namespace

SingleInstance::SingleInstance(const QString& recordFolder, QObject* parent)
    : QObject(parent), recordFolder_(recordFolder),
      lockPath_(recordFolder + QStringLiteral("/Vardelo.lock")),
      socketPath_(socketPathFor(recordFolder)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close();
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

SingleInstance::Lock SingleInstance::takeLock() {
    const QByteArray path = QFile::encodeName(lockPath_);
    // The file is never removed: removing a locked file would let a third
    // start lock a new file of the same name.
    // Private: another user who could open it could hold it.
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC); // another user's file
    struct stat info {};
    if (fd >= 0 && ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid())
        ::fchmod(fd, 0600); // an older program's file was readable by all
    if (fd < 0) {
        const int error = errno;
        const bool denied = error == EACCES || error == EPERM;
        report(QStringLiteral("a zárolófájl nem nyitható meg: %1 (%2)")
                   .arg(lockPath_, systemError(error)));
        return denied ? Lock::Denied : Lock::Unavailable;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        lockFd_ = fd;
        return Lock::Taken;
    }
    const int error = errno;
    const bool foreign = error == EWOULDBLOCK && heldByAnotherUser(fd);
    ::close(fd);
    if (foreign)
        return Lock::Denied; // that program does not answer this user
    if (error == EWOULDBLOCK)
        return Lock::Held;
    report(QStringLiteral("a mappa nem zárolható: %1 (%2)").arg(recordFolder_, systemError(error)));
    return Lock::Unavailable;
}

SingleInstance::Claim SingleInstance::claim(const QByteArray& message, milliseconds patience) {
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        switch (takeLock()) {
        case Lock::Taken:
            listen();
            return Claim::First;
        case Lock::Denied:
            report(QStringLiteral("a mappát egy másik felhasználó Vardelója használhatja: %1")
                       .arg(recordFolder_));
            return Claim::Refused;
        case Lock::Unavailable:
            // Without a lock only a program that answers can keep the folder.
            if (handOver(message, deadline))
                return Claim::HandedOver;
            listen();
            return Claim::First;
        case Lock::Held:
            if (handOver(message, deadline))
                return Claim::HandedOver;
            break;
        }
        if (Clock::now() >= deadline) {
            report(QStringLiteral("egy másik Vardelo használja ezt a mappát, de nem válaszolt; "
                                  "az indítás linkjei nem kerültek át: %1")
                       .arg(recordFolder_));
            return Claim::Refused;
        }
        QThread::msleep(static_cast<unsigned long>(kRetryPause.count()));
    }
}

bool SingleInstance::programRuns() const {
    const int fd = ::open(QFile::encodeName(lockPath_).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd); // drops the shared lock at once
    return held;
}

bool SingleInstance::sendToRunning(const QByteArray& message, milliseconds patience) {
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        if (handOver(message, deadline))
            return true;
        if (Clock::now() >= deadline)
            return false;
        QThread::msleep(static_cast<unsigned long>(kRetryPause.count()));
    }
}

bool SingleInstance::handOver(const QByteArray& message, Clock::time_point deadline) {
    answer_.clear();
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(millisecondsLeft(deadline)))
        return false;
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(message.size()), frame.data());
    frame += message;
    socket.write(frame);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(millisecondsLeft(deadline)))
            return false;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(millisecondsLeft(deadline)))
            return false;
    char receipt = 0;
    if (!socket.getChar(&receipt) || receipt != kReceived)
        return false;
    readAnswer(socket);
    return true;
}

void SingleInstance::readAnswer(QLocalSocket& socket) {
    const Clock::time_point deadline = Clock::now() + kAnswerPatience;
    const auto arrived = [&](qint64 size) {
        while (socket.bytesAvailable() < size)
            if (!socket.waitForReadyRead(millisecondsLeft(deadline)))
                return false;
        return true;
    };
    if (!arrived(4))
        return;
    char header[4];
    socket.read(header, sizeof header);
    const quint32 size = qFromBigEndian<quint32>(header);
    if (size > kLargestAnswer || !arrived(size))
        return;
    answer_ = socket.read(size);
}

void SingleInstance::listen() {
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // Whoever holds the lock owns the name; a socket left there is stale.
    QLocalServer::removeServer(socketPath_);
    if (!server_->listen(socketPath_))
        report(QStringLiteral("a későbbi indítások nem tudnak linkeket átadni: %1 (%2)")
                   .arg(socketPath_, server_->errorString()));
}

void SingleInstance::serve(Receiver receiver) {
    receiver_ = std::move(receiver);
    if (!server_)
        return;
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    acceptConnections();
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this,
                [this, socket, buffer] { readMessage(socket, *buffer); });
        QTimer::singleShot(kSlowSender, socket, [socket] { socket->abort(); });
        readMessage(socket, *buffer);
        if (socket->state() == QLocalSocket::UnconnectedState)
            socket->deleteLater();
    }
}

void SingleInstance::readMessage(QLocalSocket* socket, QByteArray& buffer) {
    buffer += socket->readAll();
    if (buffer.size() < 4)
        return;
    const quint32 size = qFromBigEndian<quint32>(buffer.constData());
    if (size > kLargestMessage) {
        socket->abort();
        return;
    }
    if (static_cast<quint64>(buffer.size()) < 4 + quint64{size})
        return;
    const QByteArray message = buffer.mid(4, size);
    buffer.clear();
    const std::optional<QByteArray> answer =
        senderGaveUp(socket) || !receiver_ ? std::nullopt : receiver_(message);
    if (!answer) {
        socket->abort();
        return;
    }
    QByteArray reply(5, '\0');
    reply[0] = kReceived;
    qToBigEndian<quint32>(static_cast<quint32>(answer->size()), reply.data() + 1);
    socket->write(reply + *answer);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace vardelo
