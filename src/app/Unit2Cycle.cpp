// The window's side of the download session: its commands go to the
// session, whose cycle listens to its browser page itself, and what the
// session shows comes back here.
#include "app/Unit2.h"
#include "core/IoError.h"
#include "platform/Browser.h"
#include "platform/Dialogs.h"
#include "platform/HostProfileFiles.h"
#include "platform/QtText.h"
#include "session/DownloadCycle.h"
#include "session/TTimer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
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

    showSession();
    // The run reads its settings as values: each change of their controls is written over.
    const auto write = [this] { writeRunSettings(); };
    connect(ujra, &QSpinBox::valueChanged, this, write);
    connect(elhalt, &QSpinBox::valueChanged, this, write);
    connect(Mentes_helye, &QLineEdit::textChanged, this, write);
    connect(letoltes_utan_stop, &QCheckBox::toggled, this, write);
    connect(Captcha_eseten, &QComboBox::currentIndexChanged, this, write);
    connect(Captcha_ido, &QSpinBox::valueChanged, this, write);
    connect(Egyszerre, &QSpinBox::valueChanged, this, write);
    connect(csomag_mappa, &QCheckBox::toggled, this, write);
    connect(reszek_torlese, &QCheckBox::toggled, this, write);
    connect(futtatas_csomag_utan, &QLineEdit::textChanged, this, write);
    writeRunSettings();
    // The "Weblap" page shows the running row the user picks.
    connect(Linkek->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    showPageOf(queue().url(current.row() + 1));
            });
}

// Each cycle's page has its place on the "Weblap" page; one is seen at a time.
void TForm1::showPageOf(const std::string& link) {
    Browser* page = session_->pageOf(link);
    if (!page || !page->widget())
        return;
    QWidget* shown = page->widget();
    auto* layout = static_cast<QVBoxLayout*>(Weblap->layout());
    if (layout->indexOf(shown) < 0) {
        layout->addWidget(shown);
        shown->setFixedSize(561, 409);
        layout->setAlignment(shown, Qt::AlignLeft | Qt::AlignTop);
    }
    for (int i = 0; i < layout->count(); ++i)
        if (QWidget* widget = layout->itemAt(i)->widget())
            widget->setVisible(widget == shown);
}

void TForm1::writeRunSettings() {
    RunSettings& run = session_->settings();
    run.ujra = ujra->value();
    run.elhalt = elhalt->value();
    run.Mentes_helye = toStd(Mentes_helye->text());
    run.letoltes_utan_stop = letoltes_utan_stop->isChecked();
    run.captchaChoice =
        Captcha_eseten->currentIndex() == 1 ? CaptchaChoice::Skip : CaptchaChoice::Wait;
    run.captchaTime = std::chrono::minutes(Captcha_ido->value());
    run.Egyszerre = Egyszerre->value();
    run.packageFolders = csomag_mappa->isChecked();
    run.deletePartsAfterUnpacking = reszek_torlese->isChecked();
    run.programAfterPackage = toStd(futtatas_csomag_utan->text().trimmed());
}

// What the session shows goes to the designed controls.
void TForm1::showSession() {
    DownloadSession* session = session_;
    connect(session, &DownloadSession::statusShown, this, &TForm1::showStatus);
    connect(session, &DownloadSession::gaugeMaximumShown, this, &TForm1::setGaugeMaximum);
    connect(session, &DownloadSession::gaugeValueShown, gauge1, &QProgressBar::setValue);
    connect(session, &DownloadSession::bytesShown, this, &TForm1::showBytes);
    connect(session, &DownloadSession::transferShown, this, &TForm1::showTransferred);
    connect(session, &DownloadSession::transferredCleared, letoltve, &QLabel::clear);
    connect(session, &DownloadSession::transferRateCleared, this, &TForm1::clearTransferRate);
    connect(session, &DownloadSession::runControlsShown, this, &TForm1::showRunControls);
    connect(session, &DownloadSession::emptyQueueRefused, this, [this] {
        services_.dialogs.showInformation(QStringLiteral("Üres a letöltési lista!"));
    });
    connect(session, &DownloadSession::captchaAsked, this, &TForm1::askForCaptcha);
    connect(session, &DownloadSession::captchaEnded, this, &TForm1::captchaOver);
    connect(session, &DownloadSession::passwordAsked, this, guard(&TForm1::askForPassword));
    connect(session, &DownloadSession::passwordAskEnded, this, guard(&TForm1::passwordAskOver));
    connect(session, &DownloadSession::browserFailed, this, &TForm1::showBrowserFailure);
    connect(session, &DownloadSession::outcomeRecorded, this, [this] {
        showCurrentCounters();
        showAllTimeCounters();
        storeAllTimeCounters();
    });
    connect(session, &DownloadSession::rowStatesChanged, this, &TForm1::showRowStates);
    connect(session, &DownloadSession::folderExpanded, this, guard(&TForm1::showFolderFiles));
    connect(session, &DownloadSession::stepFailed, this, [this](const QString& what) {
        services_.dialogs.showError(toQt(withFinalPeriod(toStd(what))));
    });
}

void TForm1::inditasClick() {
    session_->start();
}

void TForm1::StopClick() {
    session_->stop();
}

void TForm1::showBrowserFailure(const QString& reason) {
    services_.dialogs.showError(
        QStringLiteral("A program böngészőrészét nem sikerült betölteni, ezért a letöltés "
                       "leállt.\nA keresett fájlok és a betöltő válasza:\n") +
        reason);
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

} // namespace vardelo
