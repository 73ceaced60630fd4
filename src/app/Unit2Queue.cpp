// The download queue's commands: add box, delete, move, drag and the right
// button's selection.
#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "platform/QtText.h"

#include <QApplication>
#include <QLineEdit>

namespace vardelo {

void TForm1::queueChanged() {
    linkekModel->sync();
}

void TForm1::linket_hozzaad(const std::string& url) {
    queue.append(url);
    queueChanged();
}

void TForm1::HozzaadClick() {
    if (Link_hozza->text().isEmpty())
        return;
    linket_hozzaad(toStd(Link_hozza->text()));
    Link_hozza->clear();
}

void TForm1::sor_torlesClick() {
    if (queue.deleteRow(Linkek->selectedRow(), queueGuards()))
        queueChanged();
}

void TForm1::eloreClick() {
    if (!queue.moveToTop(Linkek->selectedRow(), queueGuards()))
        return;
    queueChanged();
    // The selection goes with the moved link; during a cycle the head stays.
    Linkek->selectDataRow(queueGuards().downloading ? 2 : 1);
}

void TForm1::hatraClick() {
    if (!queue.moveToEnd(Linkek->selectedRow(), queueGuards()))
        return;
    queueChanged();
    Linkek->selectDataRow(linkekModel->rowCount());
}

void TForm1::LinkekMouseDown(Qt::MouseButton button, int row, int column) {
    if (button == Qt::RightButton)
        return; // the view has selected the row under the pointer
    if (drag.press(queue, row, column, queueGuards()) == QueueDrag::Press::Began)
        QApplication::setOverrideCursor(Qt::PointingHandCursor);
}

void TForm1::LinkekMouseUp(Qt::MouseButton button, int row, int column) {
    if (button == Qt::RightButton)
        return;
    const auto revision = queue.grid().revision();
    if (drag.release(queue, row, column, queueGuards()) != QueueDrag::Release::Ended)
        return;
    QApplication::restoreOverrideCursor();
    if (queue.grid().revision() != revision)
        queueChanged();
}

} // namespace vardelo
