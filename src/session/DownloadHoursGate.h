#pragma once

#include "core/DownloadHours.h"

#include <QObject>
#include <QString>
#include <QTime>

#include <functional>

class QTimer;

namespace vardelo {

// Holds a Start back outside the download hours and says when the hours
// open. The clock is looked at once a second while a Start waits, so a
// changed clock or changed hours count at once.
class DownloadHoursGate final : public QObject {
    Q_OBJECT
  public:
    using Clock = std::function<QTime()>;
    explicit DownloadHoursGate(QObject* parent = nullptr);

    void setHours(const DownloadHours& hours) { hours_ = hours; }
    void setClock(Clock clock) { clock_ = std::move(clock); }

    // True when a Start must wait now; `opened` follows when it may go.
    bool holdsBack();
    // The waiting ends without `opened` (Stop).
    void release();
    bool waiting() const;
    QString waitingText() const;

  Q_SIGNALS:
    void opened();

  private:
    bool openNow() const;
    void tick();

    DownloadHours hours_;
    Clock clock_;
    QTimer* ticks_ = nullptr;
};

} // namespace vardelo
