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
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace vardelo {
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
    // The tray item, not the button: Stop is possible during a transfer too.
    connect(new QShortcut(Qt::Key_Escape, this), &QShortcut::activated, this, [this] {
        if (PM_megallit->isEnabled())
            guarded([this] { StopClick(); });
    });
    // The skin box's own editor and list speak for it.
    kinezet->lineEdit()->setAccessibleName(kinezet->accessibleName());
    kinezet->view()->setAccessibleName(QStringLiteral("Skinek"));
    Captcha_eseten->view()->setAccessibleName(Captcha_eseten->accessibleName());
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
    const std::vector<std::string> links = linksInClipboardText(toStd(*text), services_.profiles);
    queueWithBalloon(links);
    if (!links.empty())
        Linkek->scrollToBottom();
}

} // namespace vardelo
