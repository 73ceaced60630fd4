// The download cycle: Start, the browser's page steps, the countdown, the
// start of the transfer, the dead-link wait, and Stop.
#include "app/TTimer.h"
#include "app/Unit2.h"
#include "app/letolto.h"
#include "core/WaitPage.h"
#include "platform/Browser.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vardelo {
namespace {

// A wait page asking for more than a day is not one the host would send.
constexpr std::int32_t kLongestWaitSeconds = 24 * 60 * 60;
// A page that never finishes loading must not hold the cycle for ever.
constexpr int kPageTimeoutMs = 120 * 1000;

} // namespace

void TForm1::buildCycle() {
    Timer3 = new TTimer(1000, this);
    Timer4 = new TTimer(1000, this);
    elhalt_kijelzo = new TTimer(1000, this);
    connect(Timer3, &QTimer::timeout, this, guard(&TForm1::Timer3Timer));
    connect(Timer4, &QTimer::timeout, this, guard(&TForm1::Timer4Timer));
    connect(elhalt_kijelzo, &QTimer::timeout, this, guard(&TForm1::elhalt_kijelzoTimer));

    pageWatchdog_ = new QTimer(this);
    pageWatchdog_->setSingleShot(true);
    pageWatchdog_->setInterval(kPageTimeoutMs);
    connect(pageWatchdog_, &QTimer::timeout, this, [this] {
        guarded([this] {
            pageFailed(first_page ? OutcomeKind::DeadLink : OutcomeKind::WaitPageUnreadable);
        });
    });

    Browser& browser = services_.browser;
    auto* layout = new QVBoxLayout(Weblap);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser.widget());
    browser.widget()->setFixedSize(561, 409);
    layout->setAlignment(browser.widget(), Qt::AlignLeft | Qt::AlignTop);
    connect(&browser, &Browser::documentComplete, this, guard(&TForm1::lapDocumentComplete));
    connect(&browser, &Browser::elementSubmitted, this, guard(&TForm1::onElementSubmitted));
    connect(&browser, &Browser::bodyMarkupRead, this, guard(&TForm1::onBodyMarkupRead));
}

void TForm1::showRunState(RunState state) {
    const bool idle = state == RunState::Idle;
    inditas->setEnabled(idle);
    PM_indit->setEnabled(idle);
    Stop->setEnabled(state == RunState::Running);
    PM_megallit->setEnabled(!idle);
    if (idle) {
        letoltes_utan_stop->setChecked(false);
        PM_letoltes_utan_stop->setChecked(false);
    }
    letoltes_utan_stop->setEnabled(!idle);
    PM_letoltes_utan_stop->setEnabled(!idle);
}

void TForm1::inditasClick() {
    if (queue.isEmpty()) {
        services_.dialogs.showInformation(QStringLiteral("Üres a letöltési lista!"));
        allapot->clear();
        return;
    }
    if (downloading)
        return;
    showRunState(RunState::Running);
    downloading = true;
    Memo1.clear();
    allapot->setText(QStringLiteral("Weblap betöltése"));
    ++attempt_;
    awaitingSubmit_ = false;
    completedWhileSubmitting_.reset();
    first_page = true;
    pageWatchdog_->start();
    services_.browser.navigate(toQt(queue.url(1)));
}

void TForm1::lapDocumentComplete(bool ok) {
    if (!downloading || transferring_)
        return;
    if (awaitingSubmit_) {
        // The next page came before the answer to the submission.
        completedWhileSubmitting_ = ok;
        return;
    }
    pageWatchdog_->start();
    if (first_page) {
        if (!ok) {
            pageFailed(OutcomeKind::DeadLink); // an error page has no form to submit
            return;
        }
        awaitingSubmit_ = true;
        services_.browser.submitElement(attempt_, QStringLiteral("ff"));
        return;
    }
    if (!ok) {
        pageFailed(OutcomeKind::WaitPageUnreadable);
        return;
    }
    services_.browser.readBodyMarkup(attempt_);
}

void TForm1::onElementSubmitted(quint64 ticket, bool submitted) {
    if (ticket != attempt_ || !downloading || !awaitingSubmit_)
        return;
    awaitingSubmit_ = false;
    if (!submitted) {
        pageFailed(OutcomeKind::DeadLink);
        return;
    }
    first_page = false;
    if (const auto early = std::exchange(completedWhileSubmitting_, std::nullopt))
        lapDocumentComplete(*early);
}

void TForm1::onBodyMarkupRead(quint64 ticket, bool ok, const QString& markup) {
    if (ticket != attempt_ || !downloading || first_page || transferring_)
        return;
    if (!ok) {
        pageFailed(OutcomeKind::WaitPageUnreadable);
        return;
    }
    readWaitPage(toStd(markup));
}

void TForm1::readWaitPage(const std::string& page) {
    Memo1 = page;
    download_url.clear();
    const auto url = read_download_url(Memo1);
    if (!url) {
        pageFailed(OutcomeKind::WaitPageUnreadable);
        return;
    }
    download_url = *url;
    const auto seconds = read_waiting_time(Memo1);
    if (!seconds || *seconds < 0 || *seconds > kLongestWaitSeconds) {
        pageFailed(OutcomeKind::WaitPageUnreadable);
        return;
    }
    countdown = *seconds;
    pageWatchdog_->stop();
    Timer3->setIntervalMs(countdown * 1000 + 1000);
    setGaugeMaximum(countdown + 1);
    Timer4->setEnabled(true);
    Timer3->setEnabled(true);
}

void TForm1::pageFailed(OutcomeKind kind) {
    first_page = true;
    downloading = false;
    naplozas(kind);
}

void TForm1::Timer4Timer() {
    allapot->setText(QString::number(countdown - 1) + QStringLiteral(" mp múlva indul a letöltés"));
    --countdown;
    gauge1->setValue(std::max(countdown, 0));
    if (!downloading) {
        allapot->setText(QStringLiteral("Letöltés megállítva!"));
        Timer4->setEnabled(false);
        gauge1->setValue(0);
    }
}

void TForm1::Timer3Timer() {
    if (!downloading) {
        Timer3->setEnabled(false);
        return;
    }
    allapot->setText(QStringLiteral("Letöltés"));
    showRunState(RunState::Transfer);
    startTransfer();
    Timer3->setEnabled(false);
    Timer4->setEnabled(false);
}

void TForm1::elhalt_kijelzoTimer() {
    allapot->setText(QStringLiteral("Elhalt link utáni várakozás, még ") +
                     QString::number(dead_wait_left) + QStringLiteral(" másodperc"));
    gauge1->setValue(dead_wait_left);
    if (dead_wait_left == 0) {
        elhalt_kijelzo->setEnabled(false);
        inditasClick();
    } else {
        --dead_wait_left;
    }
}

void TForm1::StopClick() {
    downloading = false;
    elhalt_kijelzo->setEnabled(false);
    gauge1->setValue(0);
    allapot->clear();
    Timer3->setEnabled(false);
    Timer4->setEnabled(false);
    first_page = true;
    ++attempt_;
    awaitingSubmit_ = false;
    completedWhileSubmitting_.reset();
    pageWatchdog_->stop();
    dropWorker();
    showRunState(RunState::Idle);
}

} // namespace vardelo
