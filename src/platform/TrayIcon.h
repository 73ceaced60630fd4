#pragma once

#include <QObject>
#include <QString>

class QIcon;
class QMenu;
class QSystemTrayIcon;

namespace vardelo {

// The program's icon in the desktop's notification area, with the tip
// "Vardelo", the tray menu on the right button and balloon messages. A left
// click (or a double click) asks for the window back. When the panel goes
// away and comes back, the icon returns by itself while it is meant to show.
class TrayIcon final : public QObject {
    Q_OBJECT
  public:
    TrayIcon(const QIcon& icon, QMenu* menu, QObject* parent = nullptr);

    // Whether the desktop has a notification area at all.
    static bool available();

    void setIconVisible(bool visible);
    bool iconVisible() const;

    // Carriage returns in the body separate its lines. The body is cut at 255
    // characters and the title at 63.
    void showBalloon(const QString& title, const QString& body, int timeoutSeconds);
    void hideBalloon();
    // A line after "Vardelo" in the tip; empty: the tip is "Vardelo" alone.
    void setDetail(const QString& detail);

    QSystemTrayIcon* systemIcon() const { return icon_; }

  Q_SIGNALS:
    void clicked();

  private:
    QSystemTrayIcon* icon_;
};

} // namespace vardelo
