// The window's side of the download cycle: its commands go to the cycle,
// which listens to its browser page itself, and the cycle's displays come
// back here.
#include "app/Unit2.h"
#include "platform/Browser.h"
#include "platform/Dialogs.h"
#include "platform/HostProfileFiles.h"
#include "platform/QtText.h"
#include "session/DownloadCycle.h"
#include "session/TTimer.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vardelo {
namespace {

// Runs a step once, when the window first appears.
class OnFirstShow final : public QObject {
  public:
    OnFirstShow(QWidget* window, std::function<void()> step)
        : QObject(window), step_(std::move(step)) {
        window->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched == parent()) {
            watched->removeEventFilter(this);
            // After the show itself, so that the box stands over the window.
            QTimer::singleShot(0, parent(), std::move(step_));
            deleteLater();
        }
        return false;
    }

  private:
    std::function<void()> step_;
};

} // namespace

void TForm1::buildCycle() {
    cycle_ = new DownloadCycle(*this, services_.browser, services_.http, this);
    cycle_->setHostProfiles(services_.profiles);
    if (!services_.profileProblems.isEmpty()) {
        new OnFirstShow(this, [this] {
            services_.dialogs.showError(profileProblemsText(services_.profileProblems));
        });
    }

    Browser& browser = services_.browser;
    auto* layout = new QVBoxLayout(Weblap);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser.widget());
    browser.widget()->setFixedSize(561, 409);
    layout->setAlignment(browser.widget(), Qt::AlignLeft | Qt::AlignTop);
    browser.widget()->setObjectName(QStringLiteral("lap"));
    // Tab reaches the browser where the page control stands, as every page's controls.
    setTabOrder(Linkek, browser.widget());
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

void TForm1::showBrowserFailure(const QString& reason) {
    services_.dialogs.showError(
        QStringLiteral("A program böngészőrészét nem sikerült betölteni, ezért a letöltés "
                       "leállt.\nA keresett fájlok és a betöltő válasza:\n") +
        reason);
}

bool TForm1::queueIsEmpty() const {
    return queue_.isEmpty();
}

std::string TForm1::headUrl() const {
    return queue_.url(1);
}

std::string TForm1::targetFolder() const {
    return toStd(Mentes_helye->text());
}

void TForm1::showEmptyQueueMessage() {
    services_.dialogs.showInformation(QStringLiteral("Üres a letöltési lista!"));
}

void TForm1::showStatus(const QString& text) {
    allapot->setText(text);
    allapot->setAccessibleDescription(text); // a screen reader hears the change too
    showRowStates();
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
    showRowStates();
}

void TForm1::runGuarded(const std::function<void()>& step) {
    guarded(step);
}

} // namespace vardelo
