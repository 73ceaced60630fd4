#include "platform/SingleInstance.h"

#include "platform/AppPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
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
#include <sys/un.h>
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

// Where the socket is, or why it cannot be anywhere.
struct SocketPlace {
    QString path;
    QString problem;
};

// The longest path a Unix socket's address holds (sun_path, with its NUL).
constexpr qsizetype kLongestSocketPath = sizeof(sockaddr_un::sun_path) - 1;

// Makes `folder` a folder of this user alone, as the partial files' folder is:
// missing levels are made 0700, a folder too open is tightened; a symbolic
// link or another user's folder is refused. Empty when the folder serves,
// else why not.
QString privateFolderProblem(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder);
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), 0700);
    ::mkdir(path.constData(), 0700);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return QStringLiteral("%1 (%2)").arg(folder, systemError(errno));
    struct stat info {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem = QStringLiteral("%1 (%2)").arg(folder, systemError(errno));
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("%1 egy másik felhasználó mappája").arg(folder);
    else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0)
        problem =
            QStringLiteral("%1 mások számára is nyitott (%2)").arg(folder, systemError(errno));
    ::close(fd);
    return problem;
}

// The socket, named after the record folder it serves, lives in a folder of
// this user alone: $XDG_RUNTIME_DIR, else the state folder; never a shared
// one such as /tmp, whose names anyone can work out and take first. Its path
// must fit a socket's address.
SocketPlace socketPlaceFor(const QString& recordFolder) {
    const QFileInfo info(recordFolder);
    const QString key =
        info.canonicalFilePath().isEmpty() ? info.absoluteFilePath() : info.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(key), QCryptographicHash::Sha256).toHex();
    const QString name = QStringLiteral("/vardelo-") + QString::fromLatin1(hash.left(24));
    QStringList problems;
    for (const QString& folder : {qEnvironmentVariable("XDG_RUNTIME_DIR"), stateFolder()}) {
        if (folder.isEmpty() || QDir::isRelativePath(folder))
            continue;
        const QString path = QDir::cleanPath(folder) + name;
        const qsizetype length = QFile::encodeName(path).size();
        const QString problem =
            length > kLongestSocketPath
                ? QStringLiteral("a foglalat útvonala túl hosszú (%1 bájt, legfeljebb %2): %3")
                      .arg(length)
                      .arg(kLongestSocketPath)
                      .arg(path)
                : privateFolderProblem(QDir::cleanPath(folder));
        if (problem.isEmpty())
            return {path, {}};
        problems << problem;
    }
    return {{},
            QStringLiteral("nincs a foglalatnak csak e felhasználó számára nyitott mappája: %1")
                .arg(problems.join(QStringLiteral("; ")))};
}

// The user of the process at the other end of a connected local socket; -1
// when the system does not say.
long peerUid(qintptr descriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return -1;
    return static_cast<long>(peer.uid);
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
      lockPath_(recordFolder + QStringLiteral("/Vardelo.lock")) {
    const SocketPlace place = socketPlaceFor(recordFolder);
    socketPath_ = place.path;
    socketProblem_ = place.problem;
}

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
        Sent sent = Sent::NotTaken;
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
            sent = handOver(message, deadline);
            if (sent == Sent::Taken)
                return Claim::HandedOver;
            if (sent == Sent::Stranger)
                return Claim::Refused;
            listen();
            return Claim::First;
        case Lock::Held:
            if (socketPath_.isEmpty()) {
                report(QStringLiteral("az indítás linkjei nem adhatók át: %1").arg(socketProblem_));
                return Claim::Refused;
            }
            sent = handOver(message, deadline);
            if (sent == Sent::Taken)
                return Claim::HandedOver;
            if (sent == Sent::Stranger)
                return Claim::Refused;
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

SingleInstance::Sent SingleInstance::sendToRunning(const QByteArray& message,
                                                   milliseconds patience) {
    if (socketPath_.isEmpty()) {
        report(QStringLiteral("a linkek nem adhatók át: %1").arg(socketProblem_));
        return Sent::NotTaken;
    }
    const Clock::time_point deadline = Clock::now() + patience;
    for (;;) {
        const Sent sent = handOver(message, deadline);
        if (sent != Sent::NotTaken || Clock::now() >= deadline)
            return sent;
        QThread::msleep(static_cast<unsigned long>(kRetryPause.count()));
    }
}

SingleInstance::Sent SingleInstance::handOver(const QByteArray& message,
                                              Clock::time_point deadline) {
    answer_.clear();
    if (socketPath_.isEmpty())
        return Sent::NotTaken;
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(millisecondsLeft(deadline)))
        return Sent::NotTaken;
    // Whoever listens there hears nothing unless it is this user's.
    if (const long listener = peerUid(socket.socketDescriptor());
        listener != static_cast<long>(::geteuid())) {
        socket.abort();
        report(QStringLiteral("a foglalaton egy másik felhasználó (uid %1) programja figyel, "
                              "a linkek nem kerültek át: %2")
                   .arg(listener)
                   .arg(socketPath_));
        return Sent::Stranger;
    }
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(message.size()), frame.data());
    frame += message;
    socket.write(frame);
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(millisecondsLeft(deadline)))
            return Sent::NotTaken;
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(millisecondsLeft(deadline)))
            return Sent::NotTaken;
    char receipt = 0;
    if (!socket.getChar(&receipt) || receipt != kReceived)
        return Sent::NotTaken;
    readAnswer(socket);
    return Sent::Taken;
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
    if (socketPath_.isEmpty()) {
        report(QStringLiteral("a későbbi indítások nem tudnak linkeket átadni: %1")
                   .arg(socketProblem_));
        return;
    }
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
        if (const long caller = peerUid(socket->socketDescriptor());
            caller != static_cast<long>(::geteuid())) {
            report(QStringLiteral("egy másik felhasználó (uid %1) programja linkeket próbált "
                                  "átadni; elutasítva")
                       .arg(caller));
            socket->abort();
            socket->deleteLater();
            continue;
        }
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
