#pragma once

#include <QTimer>

namespace vardelo {

// A timer with the classic toolkit's rules: enabling an enabled timer or
// giving it the interval it already has changes nothing; a different
// interval restarts a running period.
class TTimer final : public QTimer {
    Q_OBJECT
  public:
    TTimer(int intervalMs, QObject* parent) : QTimer(parent) {
        setTimerType(Qt::PreciseTimer); // a countdown must not drift by seconds
        QTimer::setInterval(intervalMs);
    }

    void setEnabled(bool on) {
        if (on && !isActive())
            start();
        else if (!on)
            stop();
    }
    bool enabled() const { return isActive(); }

    void setIntervalMs(int intervalMs) {
        if (intervalMs != interval())
            QTimer::setInterval(intervalMs); // restarts a running timer
    }
};

} // namespace vardelo
