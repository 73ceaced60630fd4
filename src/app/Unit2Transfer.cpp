// The transfer as the window shows it: the gauge and the transferred amount.
#include "app/Unit2.h"
#include "core/SizeText.h"
#include "platform/QtText.h"
#include "session/DownloadCycle.h"

#include <QLabel>
#include <QLocale>
#include <QProgressBar>

#include <climits>

namespace vardelo {

void TForm1::setGaugeMaximum(int maximum) {
    // A gauge whose maximum is 0 stays empty; Qt would animate it as busy.
    gauge1->setRange(0, std::max(maximum, 1));
}

void TForm1::showBytes(std::int64_t received, std::int64_t expected) {
    // The gauge counts in int; sizes past 2 GiB are shown in KiB steps.
    const std::int64_t scale = expected > INT_MAX ? 1024 : 1;
    setGaugeMaximum(static_cast<int>(expected / scale));
    gauge1->setValue(static_cast<int>(std::min(received, expected) / scale));
}

void TForm1::showTransferred(std::int64_t received, std::int64_t expected,
                             std::int64_t contentLength) {
    showBytes(received, expected);
    rateReceived(received, expected);
    letoltve->setText(toQt(transferredText(wholePercent(received, expected), contentLength,
                                           toStd(QLocale().decimalPoint()))));
}

} // namespace vardelo
