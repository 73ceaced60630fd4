#include "platform/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace vardelo {
namespace {

// The notification area's own limits: longer texts are cut, silently.
constexpr int kBalloonTitleLimit = 63;
constexpr int kBalloonBodyLimit = 255;

// The first `limit` characters; a character outside the basic plane counts
// as one and is never split.
QString firstCharacters(const QString& text, int limit) {
    qsizetype end = 0;
    for (int count = 0; count < limit && end < text.size(); ++count)
        end += text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
    return text.left(end);
}

} // namespace

TrayIcon::TrayIcon(const QIcon& icon, QMenu* menu, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)) {
    icon_->setToolTip(QStringLiteral("Vardelo"));
    icon_->setContextMenu(menu);
    connect(icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    Q_EMIT clicked();
            });
}

bool TrayIcon::available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::setIconVisible(bool visible) {
    icon_->setVisible(visible);
}

bool TrayIcon::iconVisible() const {
    return icon_->isVisible();
}

void TrayIcon::showBalloon(const QString& title, const QString& body, int timeoutSeconds) {
    if (!icon_->isVisible())
        return; // no icon to show it at: the window is on the screen
    hideBalloon();
    QString text = firstCharacters(body, kBalloonBodyLimit);
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    icon_->showMessage(firstCharacters(title, kBalloonTitleLimit), text.trimmed(),
                       QSystemTrayIcon::Information, timeoutSeconds * 1000);
}

void TrayIcon::setDetail(const QString& detail) {
    icon_->setToolTip(detail.isEmpty() ? QStringLiteral("Vardelo")
                                       : QStringLiteral("Vardelo\n") + detail);
}

void TrayIcon::hideBalloon() {
    // An empty message takes the balloon on show away.
    icon_->showMessage(QString(), QString(), QSystemTrayIcon::NoIcon, 0);
}

} // namespace vardelo
