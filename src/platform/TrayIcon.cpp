#include "platform/TrayIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

namespace vardelo {

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
    QString text = body;
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    icon_->showMessage(title, text.trimmed(), QSystemTrayIcon::Information, timeoutSeconds * 1000);
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
