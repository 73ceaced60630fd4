#include "session/DownloadHoursGate.h"

#include "platform/QtText.h"

#include <QTimer>

namespace vardelo {

DownloadHoursGate::DownloadHoursGate(QObject* parent)
    : QObject(parent), clock_([] { return QTime::currentTime(); }) {
    ticks_ = new QTimer(this);
    ticks_->setInterval(1000);
    connect(ticks_, &QTimer::timeout, this, &DownloadHoursGate::tick);
}

bool DownloadHoursGate::openNow() const {
    const QTime now = clock_();
    return hoursAreOpen(hours_, now.hour() * 60 + now.minute());
}

bool DownloadHoursGate::holdsBack() {
    if (openNow()) {
        ticks_->stop();
        return false;
    }
    if (!ticks_->isActive())
        ticks_->start();
    return true;
}

void DownloadHoursGate::release() {
    ticks_->stop();
}

bool DownloadHoursGate::waiting() const {
    return ticks_->isActive();
}

QString DownloadHoursGate::waitingText() const {
    return toQt(hoursWaitText(hours_));
}

void DownloadHoursGate::tick() {
    if (!openNow())
        return;
    ticks_->stop();
    Q_EMIT opened();
}

} // namespace vardelo
