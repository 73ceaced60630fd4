// Link passwords: given for the selected rows, by a list file's lines, or
// when a step asks for one; kept by the session, never shown.
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "core/LinkPasswords.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QPointer>
#include <QTimer>

namespace vardelo {

std::optional<std::string> TForm1::passwordFromUser(const QString& prompt) {
    for (;;) {
        const std::optional<QString> answer = services_.dialogs.askPassword(prompt);
        if (!answer)
            return std::nullopt;
        const std::string password = toStd(*answer);
        if (isUsablePassword(password))
            return password;
        services_.dialogs.showError(
            QStringLiteral("A jelszó nem lehet üres, és nem lehet benne vezérlőkarakter."));
    }
}

void TForm1::passwordItemClick() {
    std::vector<std::string> links;
    for (const QModelIndex& index : Linkek->selectionModel()->selectedRows()) {
        const std::string& link = queue().url(index.row() + 1);
        if (!link.empty())
            links.push_back(link);
    }
    if (links.empty())
        return;
    if (const auto password = passwordFromUser(QStringLiteral("A kijelölt linkek jelszava:")))
        session_->setPassword(links, *password);
}

namespace {

QString linkPasswordPrompt(const std::string& link) {
    return QStringLiteral("A link jelszót kér:\n%1\nJelszó:").arg(toQt(link));
}

} // namespace

// As a captcha does, the window comes forward; the dialog opens once the
// step that asked has returned.
void TForm1::askForPassword(const std::string& link) {
    if (!isVisible() || isMinimized())
        CTIClick();
    raise();
    activateWindow();
    QApplication::alert(this);
    QTimer::singleShot(0, this, [this, link] {
        guarded(
            [&] { session_->answerPassword(link, passwordFromUser(linkPasswordPrompt(link))); });
    });
}

void TForm1::passwordAskOver(const std::string& link) {
    services_.dialogs.closePasswordQuestion(linkPasswordPrompt(link));
}

// A line "URL<TAB>password" gives the link, in the form it was queued in,
// its password.
void TForm1::setListPasswords(const std::vector<ListEntry>& entries) {
    for (const ListEntry& entry : entries) {
        if (entry.password.empty())
            continue;
        session_->setPassword(
            {services_.profiles ? services_.profiles->canonical(entry.link) : entry.link},
            entry.password);
    }
}

} // namespace vardelo
