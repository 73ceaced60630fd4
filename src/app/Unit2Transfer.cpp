// The transfer's side in the window: starting the worker and showing what
// it reports. Every handler here runs on the user-interface thread.
#include "app/Unit2.h"
#include "app/letolto.h"
#include "core/SizeText.h"
#include "platform/QtText.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QProgressBar>

#include <climits>

namespace vardelo {

void TForm1::startTransfer() {
    auto* thread =
        new TTesztThread(services_.http, download_url, toStd(Mentes_helye->text()), this);
    // Only the current worker reaches the window: a worker dropped by Stop
    // is no longer `worker`, and whatever it still sends is ignored.
    const auto fromCurrent = [this, thread](auto handler) {
        return [this, thread, handler](auto... args) {
            if (thread == worker.data())
                guarded([&] { (this->*handler)(args...); });
        };
    };
    connect(thread, &TTesztThread::workBegin, this, fromCurrent(&TForm1::IdHTTP1WorkBegin));
    connect(thread, &TTesztThread::work, this, fromCurrent(&TForm1::IdHTTP1Work));
    connect(thread, &TTesztThread::workEnd, this, fromCurrent(&TForm1::IdHTTP1WorkEnd));
    connect(thread, &TTesztThread::failed, this, [this, thread](const QString&) {
        if (thread == worker.data())
            guarded([this] { transferFailed(); });
    });
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    worker = thread;
    transferring_ = true;
    thread->start();
}

void TForm1::dropWorker() {
    if (worker) {
        worker->abandon();
        worker = nullptr;
    }
    transferring_ = false;
    endTransferRate();
}

void TForm1::setGaugeMaximum(int maximum) {
    // A gauge whose maximum is 0 stays empty; Qt would animate it as busy.
    gauge1->setRange(0, std::max(maximum, 1));
}

void TForm1::setGaugeBytes(std::int64_t value, std::int64_t maximum) {
    // The gauge counts in int; sizes past 2 GiB are shown in KiB steps.
    const std::int64_t scale = maximum > INT_MAX ? 1024 : 1;
    setGaugeMaximum(static_cast<int>(maximum / scale));
    gauge1->setValue(static_cast<int>(std::min(value, maximum) / scale));
}

void TForm1::IdHTTP1WorkBegin(qint64 expected, qint64 announcedLength) {
    endTransferRate(); // a body started again counts afresh
    gaugeBytes_ = expected;
    setGaugeBytes(0, expected);
    if (announcedLength >= 0)
        content_length = announcedLength;
}

void TForm1::IdHTTP1Work(qint64 received) {
    setGaugeBytes(received, gaugeBytes_);
    rateReceived(received);
    letoltve->setText(toQt(transferredText(wholePercent(received, gaugeBytes_), content_length,
                                           toStd(QLocale().decimalPoint()))));
}

void TForm1::IdHTTP1WorkEnd(qint64 received) {
    gauge1->setValue(0);
    content_length = received; // what arrived, also when no length was announced
    transferring_ = false;
    endTransferRate();
    naplozas(OutcomeKind::Success);
}

void TForm1::transferFailed() {
    gauge1->setValue(0);
    transferring_ = false;
    endTransferRate();
    first_page = true;
    downloading = false;
    naplozas(OutcomeKind::TransferFailed);
}

} // namespace vardelo
