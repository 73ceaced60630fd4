#pragma once

#include <QObject>

class QSocketNotifier;

namespace vardelo {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface
// thread, so the program can close in order instead of dying mid-write.
class UnixSignals final : public QObject {
    Q_OBJECT
  public:
    // Catches the signals from now on; one that arrives before an object
    // exists waits for it. Call it first thing in main().
    static void catchTermination();

    explicit UnixSignals(QObject* parent = nullptr);
    ~UnixSignals() override;

  Q_SIGNALS:
    void terminationRequested(int signalNumber);

  private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace vardelo
