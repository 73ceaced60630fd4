// What keyboard and screen reader users need beyond the form's letters and
// names: F5 starts, Esc stops a running cycle, Ctrl+V in the queue pastes
// links, cut grid cells show their text, and the browser has a name.
#include "app/CellToolTips.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "core/ClipboardLinks.h"
#include "platform/Browser.h"
#include "platform/ClipboardWatcher.h"
#include "platform/QtText.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace vardelo {
namespace {

// Esc and F5 stay the window's whatever has the focus: a control inside it
// (the web page above all, which claims every key) may not keep them for
// itself. Popups are windows of their own and keep their Esc.
class WindowKeys final : public QObject {
  public:
    explicit WindowKeys(QWidget* window) : QObject(window), window_(window) {
        QApplication::instance()->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() != Qt::Key_Escape && key->key() != Qt::Key_F5) ||
            (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier ||
            static_cast<QWidget*>(watched)->window() != window_)
            return false;
        event->ignore(); // the shortcut goes ahead
        return true;
    }

  private:
    QWidget* window_;
};

} // namespace

void TForm1::buildAccess() {
    QWidget* browserView = services_.browser.widget();
    browserView->setAccessibleName(QStringLiteral("Weblap"));
    browserView->setAccessibleDescription(
        QStringLiteral("A fájlmegosztó oldala, ahogy a letöltés betölti"));
    // As the buttons would: a key does nothing the button could not do now.
    connect(new QShortcut(Qt::Key_F5, this), &QShortcut::activated, this, [this] {
        if (inditas->isEnabled())
            guarded([this] { inditasClick(); });
    });
    new WindowKeys(this);
    // The tray item, not the button: Stop is possible during a transfer too.
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, [this] {
        if (PM_megallit->isEnabled())
            guarded([this] { StopClick(); });
    });
    // The skin box's own editor and list speak for it.
    kinezet->lineEdit()->setAccessibleName(kinezet->accessibleName());
    kinezet->view()->setAccessibleName(QStringLiteral("Skinek"));
    connect(Linkek, &QueueGridView::pastePressed, this, guard(&TForm1::LinkekPaste));
    for (QAbstractItemView* grid :
         {static_cast<QAbstractItemView*>(Linkek), static_cast<QAbstractItemView*>(naplosg)})
        CellToolTips::install(grid);
}

// The clipboard's links join the queue as a copy would add them while the
// watcher is on; the user asked for them, so the watcher's switch is not
// consulted.
void TForm1::LinkekPaste() {
    const std::optional<QString> text = clipboardWatcher->text();
    if (!text)
        return;
    const std::vector<std::string> links = linksInClipboardText(toStd(*text));
    queueWithBalloon(links);
    if (!links.empty())
        Linkek->scrollToBottom();
}

} // namespace vardelo
