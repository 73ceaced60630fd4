// The queue's "Csomag" column, the packages' commands in the queue's menu,
// and what the window shows when a package is done.
#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/Dialogs.h"
#include "platform/SecretFile.h"

#include <QComboBox>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace vardelo {
namespace {

constexpr std::int64_t kArchivePasswordsLimit = std::int64_t{1} << 20;

// One password a line; blank lines and line ends are no passwords.
std::vector<std::string> archivePasswordLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

} // namespace

void TForm1::buildPackages() {
    // The package's name, and how much of it has come: "film (3/12 rész)".
    linkekModel->addViewColumn(
        {QStringLiteral("Csomag"), [this](int row) {
             const std::string& link = queue().url(row);
             const QString name = toQt(session_->packageOf(link));
             const QString parts = session_->packagePartsOf(link);
             return parts.isEmpty() ? name : name + QStringLiteral(" (") + parts + QLatin1Char(')');
         }});
    PMSG->addSeparator();
    csomag_atnevezese = PMSG->addAction(QStringLiteral("Csomag átnevezése…"));
    csomag_atnevezese->setObjectName(QStringLiteral("csomag_atnevezese"));
    connect(csomag_atnevezese, &QAction::triggered, this, guard(&TForm1::csomag_atnevezeseClick));
    csomag_torlese = PMSG->addAction(QStringLiteral("Csomag törlése"));
    csomag_torlese->setObjectName(QStringLiteral("csomag_torlese"));
    connect(csomag_torlese, &QAction::triggered, this, guard(&TForm1::csomag_torleseClick));
    // Only a row in a package has one to act on.
    connect(PMSG, &QMenu::aboutToShow, this, [this] {
        const bool inPackage = !session_->packageOf(queue().url(Linkek->selectedRow())).empty();
        csomag_atnevezese->setEnabled(inPackage);
        csomag_torlese->setEnabled(inPackage);
    });
    connect(session_, &DownloadSession::packageReady, this, guard(&TForm1::packageReady));
    connect(session_, &DownloadSession::packagePasswordWanted, this,
            guard(&TForm1::askPackagePassword));

    setTabOrder(Egyszerre, csomag_mappa);
    setTabOrder(csomag_mappa, reszek_torlese);
    setTabOrder(reszek_torlese, futtatas_csomag_utan);
    setTabOrder(futtatas_csomag_utan, jelszavak);
    setTabOrder(jelszavak, Sebesseg_korlat);
    archivePasswordsSave_ = new QTimer(this);
    archivePasswordsSave_->setSingleShot(true);
    archivePasswordsSave_->setInterval(1000);
    connect(archivePasswordsSave_, &QTimer::timeout, this, guard(&TForm1::saveArchivePasswords));
    loadArchivePasswords();
    connect(jelszavak, &QPlainTextEdit::textChanged, this, guard(&TForm1::archivePasswordsEdited));
}

// The list is read only from this user's own file; one that is refused is
// said once and left as it is: the list then lives for this run only.
void TForm1::loadArchivePasswords() {
    if (services_.archivePasswordsFile.isEmpty())
        return;
    const SecretFileRead read =
        readSecretFile(services_.archivePasswordsFile, kArchivePasswordsLimit);
    if (!read.refusal.empty()) {
        qCWarning(lcPackages).noquote() << toQt(read.refusal);
        std::fprintf(stderr, "%s\n", read.refusal.c_str());
        archivePasswordsKept_ = false;
        return;
    }
    const QSignalBlocker quiet(jelszavak);
    jelszavak->setPlainText(read.text ? QString::fromUtf8(*read.text) : QString());
    session_->setArchivePasswords(archivePasswordLines(toStd(jelszavak->toPlainText())));
}

// The list counts at once; its file is written a moment after the last
// key, not at every one.
void TForm1::archivePasswordsEdited() {
    session_->setArchivePasswords(archivePasswordLines(toStd(jelszavak->toPlainText())));
    if (!services_.archivePasswordsFile.isEmpty() && archivePasswordsKept_)
        archivePasswordsSave_->start();
}

void TForm1::saveArchivePasswords() {
    archivePasswordsSave_->stop();
    try {
        writeSecretFile(services_.archivePasswordsFile, toStd(jelszavak->toPlainText()));
    } catch (const IoError& error) {
        qCWarning(lcPackages).noquote() << "cannot write the password list, error" << error.code();
    }
}

// As a captcha does: the window comes up and asks, unless captchas are to
// be skipped; then the package waits with "Jelszó szükséges".
void TForm1::askPackagePassword(const QString& package) {
    if (Captcha_eseten->currentIndex() == 1)
        return;
    if (!isVisible() || isMinimized())
        CTIClick();
    raise();
    activateWindow();
    const std::optional<QString> answer =
        services_.dialogs.askPassword(QStringLiteral("A csomag jelszót kér: ") + package);
    if (answer && !answer->isEmpty())
        session_->givePackagePassword(toStd(package), toStd(*answer));
}

// What the package waits for or is doing: its missing parts, its unpacking.
QString TForm1::packageTip(int row) const {
    return session_->packageStateOf(queue().url(row));
}

void TForm1::csomag_torleseClick() {
    session_->deletePackage(session_->packageOf(queue().url(Linkek->selectedRow())));
}

// A name of blanks only, or with a control character, is no name.
void TForm1::csomag_atnevezeseClick() {
    const std::string package = session_->packageOf(queue().url(Linkek->selectedRow()));
    if (package.empty())
        return;
    const std::optional<QString> answer =
        services_.dialogs.askText(QStringLiteral("A csomag új neve:"), toQt(package));
    if (!answer)
        return;
    const QString name = answer->trimmed();
    if (name.isEmpty() || std::any_of(name.begin(), name.end(), [](QChar c) {
            return c.category() == QChar::Other_Control;
        })) {
        services_.dialogs.showError(
            QStringLiteral("A csomag neve nem lehet üres, és nem lehet benne vezérlőkarakter."));
        return;
    }
    session_->renamePackage(package, toStd(name));
    linkekModel->viewColumnsChanged();
}

void TForm1::packageReady(const QString& package) {
    CTI->showBalloon(QStringLiteral("Csomag kész: ") + package, QString(), 10);
    balloon_hide->setEnabled(true);
}

} // namespace vardelo
