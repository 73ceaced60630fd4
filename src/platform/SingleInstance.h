#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace vardelo {

// One program per record folder. The first start holds a lock on a file in
// the record folder for its whole life (the system drops it when the process
// ends, however it ends) and listens on a local socket in a folder of this
// user alone (the runtime folder, else the state folder); a later start hands
// its message to that program and ends. Each side makes sure the other end is
// a program of this user.
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
    // that runs there, trying for at most `patience`. What that program
    // answered is then in answer().
    Claim claim(const QByteArray& message,
                std::chrono::milliseconds patience = std::chrono::seconds(5));

    // Whether a program keeps the record folder now.
    bool programRuns() const;
    enum class Sent {
        Taken,    // the running program has the message
        NotTaken, // nobody took it within the time, or there is no socket
        Stranger, // another user's program listens there; the reason is on standard error
    };
    // Hands `message` to the program that keeps the record folder, trying
    // for at most `patience`, without ever keeping the folder itself.
    Sent sendToRunning(const QByteArray& message, std::chrono::milliseconds patience);

    // What the running program said of the last message it took, beyond
    // taking it; empty when it said nothing more (an older program does not)
    // or what it said was too long or cut short.
    const QByteArray& answer() const { return answer_; }

    // From now on every message a later start hands over goes to `receiver`,
    // on this thread. The sender hears that it arrived, with the answer
    // `receiver` returned, only once `receiver` has returned; on nullopt (the
    // program is closing) it tries again and, once this program has ended,
    // starts as the first.
    using Receiver = std::function<std::optional<QByteArray>(const QByteArray&)>;
    void serve(Receiver receiver);

  private:
    enum class Lock { Taken, Held, Denied, Unavailable };
    Lock takeLock();
    Sent handOver(const QByteArray& message, std::chrono::steady_clock::time_point deadline);
    void readAnswer(QLocalSocket& socket);
    void listen();
    void acceptConnections();
    void readMessage(QLocalSocket* socket, QByteArray& buffer);

    QString recordFolder_;
    QString lockPath_;
    QString socketPath_;    // empty when no folder can hold it
    QString socketProblem_; // why, then
    int lockFd_ = -1;
    QLocalServer* server_ = nullptr;
    Receiver receiver_;
    QByteArray answer_;
};

} // namespace vardelo
