// The window's place on the desktop: the tray icon and its balloon,
// minimising to the tray, the clipboard watcher and the home page.
#include "app/InfoTexts.h"
#include "app/Unit2.h"
#include "core/ClipboardLinks.h"
#include "platform/ClipboardWatcher.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QEvent>
#include <QTimer>
#include <QUrl>

namespace vardelo {

void TForm1::buildShell() {
    CTI = new TrayIcon(windowIcon(), PM, this);
    connect(CTI, &TrayIcon::clicked, this, guard(&TForm1::CTIClick));
    balloon_hide = new TTimer(3000, this);
    connect(balloon_hide, &QTimer::timeout, this, guard(&TForm1::balloon_hideTimer));
    // Changes only: what is on the clipboard at start-up is not taken.
    clipboardWatcher = new ClipboardWatcher(this);
    connect(clipboardWatcher, &ClipboardWatcher::changed, this, guard(&TForm1::WMDrawClipboard));
    buildAccess();
}

void TForm1::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || !isMinimized())
        return;
    // Without a notification area the window minimises as any other does,
    // so it can always be brought back.
    if (TrayIcon::available())
        QTimer::singleShot(0, this, [this] { hideToTray(); });
}

void TForm1::hideToTray() {
    if (!isMinimized())
        return;
    hide();
    CTI->setIconVisible(true);
}

void TForm1::CTIClick() {
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    CTI->setIconVisible(false);
}

void TForm1::Vardelo1Click() {
    CTIClick();
}

void TForm1::Kilps1Click() {
    close();
}

void TForm1::balloon_hideTimer() {
    CTI->hideBalloon();
    balloon_hide->setEnabled(false);
}

void TForm1::hompageClick() {
    QDesktopServices::openUrl(QUrl(homePageAddress()));
}

void TForm1::WMDrawClipboard() {
    if (!vagolap->isChecked())
        return;
    const std::optional<QString> text = clipboardWatcher->text();
    if (!text)
        return;
    const std::vector<std::string> links = linksInClipboardText(toStd(*text), services_.profiles);
    queueWithBalloon(links);
}

void TForm1::queueWithBalloon(const std::vector<std::string>& links) {
    if (!links.empty())
        showQueuedBalloon(queueLinks(links));
}

// The links added, and those a host profile knew to be queued already.
void TForm1::showQueuedBalloon(const LinksToQueue& sorted) {
    const std::vector<std::string>& added = sorted.added;
    const std::vector<std::string>& present = sorted.alreadyQueued;
    std::string body = balloonBody(added);
    if (!present.empty())
        body += (added.empty() ? std::string() : std::string(kAlreadyQueuedLead)) +
                balloonBody(present);
    const std::string title =
        added.empty() ? alreadyQueuedTitle(present.size()) : balloonTitle(added.size());
    CTI->showBalloon(toQt(title), toQt(body), 10);
    balloon_hide->setEnabled(true);
}

// A link a host profile claims joins the queue in its canonical form, once.
LinksToQueue TForm1::queueLinks(const std::vector<std::string>& links) {
    LinksToQueue sorted = session_->sortLinks(links);
    session_->appendLinks(sorted.added);
    return sorted;
}

} // namespace vardelo
