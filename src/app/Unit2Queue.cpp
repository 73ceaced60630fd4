// The download queue's commands: add box, delete, move, drag and the right
// button's selection.
#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "platform/QtText.h"

#include <QApplication>
#include <QLineEdit>

namespace vardelo {

void TForm1::linket_hozzaad(const std::string& url) {
    // A second form of a queued file's link is said, not queued.
    if (const LinksToQueue sorted = queueLinks({url}); !sorted.alreadyQueued.empty())
        showQueuedBalloon(sorted);
}

void TForm1::HozzaadClick() {
    if (Link_hozza->text().isEmpty())
        return;
    linket_hozzaad(toStd(Link_hozza->text()));
    Link_hozza->clear();
}

void TForm1::sor_torlesClick() {
    session_->deleteRow(Linkek->selectedRow());
}

void TForm1::eloreClick() {
    if (!session_->moveToTop(Linkek->selectedRow()))
        return;
    // The selection goes with the moved link; during a cycle the head stays.
    Linkek->selectDataRow(downloading() ? 2 : 1);
}

void TForm1::hatraClick() {
    if (!session_->moveToEnd(Linkek->selectedRow()))
        return;
    Linkek->selectDataRow(linkekModel->rowCount());
}

void TForm1::LinkekMouseDown(Qt::MouseButton button, int row, int column) {
    if (button == Qt::RightButton)
        return; // the view has selected the row under the pointer
    if (session_->pressRow(row, column) == QueueDrag::Press::Began)
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
}

void TForm1::LinkekMouseUp(Qt::MouseButton button, int row, int column) {
    if (button == Qt::RightButton)
        return;
    if (session_->releaseRow(row, column) != QueueDrag::Release::Ended)
        return;
    QApplication::restoreOverrideCursor();
}

} // namespace vardelo
