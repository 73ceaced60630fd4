#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>

class QLocalServer;
class QLocalSocket;

namespace vardelo {

// One program per record folder. The first start holds a lock on a file in
// the record folder for its whole life (the system drops it when the process
// ends, however it ends) and listens on a local socket in the user's runtime
// folder; a later start hands its message to that program and ends.
class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    explicit SingleInstance(const QString& recordFolder, QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Claim {
        First,      // this start keeps the record folder
        HandedOver, // the running program has the message
        Refused,    // neither; the reason is on standard error
    };
    // Becomes the program of the record folder, or hands `message` to the one
    // that runs there, trying for at most `patience`.
    Claim claim(const QByteArray& message,
                std::chrono::milliseconds patience = std::chrono::seconds(5));

    // Whether a program keeps the record folder now.
    bool programRuns() const;
    // Hands `message` to the program that keeps the record folder, trying
    // for at most `patience`, without ever keeping the folder itself.
    bool sendToRunning(const QByteArray& message, std::chrono::milliseconds patience);

    // From now on every message a later start hands over goes to `receiver`,
    // on this thread. The sender hears that it arrived only when `receiver`
    // has returned true; on false (the program is closing) it tries again
    // and, once this program has ended, starts as the first.
    void serve(std::function<bool(const QByteArray&)> receiver);

  private:
    enum class Lock { Taken, Held, Denied, Unavailable };
    Lock takeLock();
    bool handOver(const QByteArray& message, std::chrono::steady_clock::time_point deadline);
    void listen();
    void acceptConnections();
    void readMessage(QLocalSocket* socket, QByteArray& buffer);

    QString recordFolder_;
    QString lockPath_;
    QString socketPath_;
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    std::function<bool(const QByteArray&)> receiver_;
};

} // namespace vardelo
