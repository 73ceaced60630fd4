// The window's side of the download cycle: its commands and notifications
// go to the cycle, and the cycle's displays come back here.
#include "app/DownloadCycle.h"
#include "app/TTimer.h"
#include "app/Unit2.h"
#include "platform/Browser.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vardelo {

void TForm1::buildCycle() {
    cycle_ = new DownloadCycle(*this, services_.browser, services_.http, this);
    Timer3 = cycle_->Timer3;
    Timer4 = cycle_->Timer4;
    elhalt_kijelzo = cycle_->elhalt_kijelzo;
    connect(Timer3, &QTimer::timeout, this, guard(&TForm1::Timer3Timer));
    connect(Timer4, &QTimer::timeout, this, guard(&TForm1::Timer4Timer));
    connect(elhalt_kijelzo, &QTimer::timeout, this, guard(&TForm1::elhalt_kijelzoTimer));

    Browser& browser = services_.browser;
    auto* layout = new QVBoxLayout(Weblap);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser.widget());
    browser.widget()->setFixedSize(561, 409);
    layout->setAlignment(browser.widget(), Qt::AlignLeft | Qt::AlignTop);
    browser.widget()->setObjectName(QStringLiteral("lap"));
    // Tab reaches the browser where the page control stands, as every page's controls.
    setTabOrder(Linkek, browser.widget());
    connect(&browser, &Browser::documentComplete, this, guard(&TForm1::lapDocumentComplete));
    connect(&browser, &Browser::elementSubmitted, this, [this](quint64 ticket, bool submitted) {
        guarded([&] { cycle_->elementSubmitted(ticket, submitted); });
    });
    connect(&browser, &Browser::bodyMarkupRead, this,
            [this](quint64 ticket, bool ok, const QString& markup) {
                guarded([&] { cycle_->bodyMarkupRead(ticket, ok, markup); });
            });
}

bool TForm1::downloading() const {
    return cycle_->downloading();
}

void TForm1::inditasClick() {
    cycle_->start();
}

void TForm1::StopClick() {
    cycle_->stop();
}

void TForm1::lapDocumentComplete(bool ok) {
    cycle_->documentComplete(ok);
}

void TForm1::Timer4Timer() {
    cycle_->countdownTick();
}

void TForm1::Timer3Timer() {
    cycle_->transferDue();
}

void TForm1::elhalt_kijelzoTimer() {
    cycle_->deadWaitTick();
}

void TForm1::naplozas(OutcomeKind kind) {
    cycle_->outcome({kind, {}});
}

bool TForm1::queueIsEmpty() const {
    return queue.isEmpty();
}

std::string TForm1::headUrl() const {
    return queue.url(1);
}

std::string TForm1::targetFolder() const {
    return toStd(Mentes_helye->text());
}

void TForm1::showEmptyQueueMessage() {
    services_.dialogs.showInformation(QStringLiteral("Üres a letöltési lista!"));
}

void TForm1::showStatus(const QString& text) {
    allapot->setText(text);
}

void TForm1::showRunControls(RunControls controls) {
    const bool idle = controls == RunControls::Idle;
    inditas->setEnabled(idle);
    PM_indit->setEnabled(idle);
    Stop->setEnabled(controls == RunControls::Running);
    PM_megallit->setEnabled(!idle);
    if (idle) {
        letoltes_utan_stop->setChecked(false);
        PM_letoltes_utan_stop->setChecked(false);
    }
    letoltes_utan_stop->setEnabled(!idle);
    PM_letoltes_utan_stop->setEnabled(!idle);
}

void TForm1::runGuarded(const std::function<void()>& step) {
    guarded(step);
}

} // namespace vardelo
