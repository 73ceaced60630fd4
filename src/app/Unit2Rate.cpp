// Speed and time left of the running transfer: a label of its own beside
// the gauge, and the tray icon's tip while the window is in the tray.
#include "app/Unit2.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"

#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <chrono>

namespace vardelo {
namespace {

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void TForm1::buildTransferRate() {
    // Ticks also while nothing arrives, so a stalled transfer shows its speed fall.
    rateTimer_ = new QTimer(this);
    rateTimer_->setInterval(1000);
    connect(rateTimer_, &QTimer::timeout, this,
            [this] { guarded([this] { showTransferRate(); }); });
}

void TForm1::rateReceived(std::int64_t received, std::int64_t expected) {
    if (rateBytes_ < 0)
        rateTimer_->start();
    rateBytes_ = received;
    rateExpected_ = expected;
    rate_.sample(nowMs(), received);
}

void TForm1::showTransferRate() {
    if (rateBytes_ < 0)
        return;
    rate_.sample(nowMs(), rateBytes_);
    // The label shows the speed of all transfers together, the time left
    // the first running row's.
    const auto speed = session_->transferSpeed();
    if (!speed)
        return;
    // The separator of the sizes beside it.
    const QString text =
        toQt(rateText(*speed, rate_.secondsLeft(rateExpected_), toStd(QLocale().decimalPoint())));
    transferRate->setText(text);
    CTI->setDetail(CTI->iconVisible() ? text : QString());
    showRowStates();
}

void TForm1::clearTransferRate() {
    rateTimer_->stop();
    rate_.reset();
    rateBytes_ = -1;
    transferRate->clear();
    CTI->setDetail(QString());
}

} // namespace vardelo
