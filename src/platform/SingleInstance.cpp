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
#include <unistd.h>

namespace vardelo {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kReceived = '+';
constexpr quint32 kLargestMessage = 64u << 20; // a list of a few hundred thousand links
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
    int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EACCES || errno == EPERM))
        fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC); // another user's file
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
    ::close(fd);
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
    char answer = 0;
    return socket.getChar(&answer) && answer == kReceived;
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

void SingleInstance::serve(std::function<bool(const QByteArray&)> receiver) {
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
    if (senderGaveUp(socket) || !receiver_ || !receiver_(message)) {
        socket->abort();
        return;
    }
    socket->write(&kReceived, 1);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace vardelo
