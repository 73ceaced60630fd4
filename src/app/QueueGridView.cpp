#include "app/QueueGridView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

namespace vardelo {

QueueGridView::QueueGridView(QWidget* parent) : QTableView(parent) {}

int QueueGridView::selectedRow() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() + 1 : 0;
}

void QueueGridView::selectDataRow(int row) {
    if (row < 1 || !model() || row > model()->rowCount())
        return;
    setCurrentIndex(
        model()->index(row - 1, currentIndex().isValid() ? currentIndex().column() : 1));
    selectRow(row - 1);
}

std::pair<int, int> QueueGridView::cellAt(const QPoint& pos) const {
    const QModelIndex index = indexAt(pos);
    if (index.isValid())
        return {index.row() + 1, index.column()};
    if (pos.y() < 0)
        return {0, columnAt(pos.x())}; // over the title row
    return {-1, -1};
}

void QueueGridView::mousePressEvent(QMouseEvent* event) {
    const auto [row, column] = cellAt(event->position().toPoint());
    if (event->button() == Qt::RightButton) {
        selectDataRow(row);
    } else {
        QTableView::mousePressEvent(event);
    }
    Q_EMIT mouseDown(event->button(), row, column);
}

void QueueGridView::mouseReleaseEvent(QMouseEvent* event) {
    const auto [row, column] = cellAt(event->position().toPoint());
    if (event->button() == Qt::RightButton)
        selectDataRow(row);
    else
        QTableView::mouseReleaseEvent(event);
    Q_EMIT mouseUp(event->button(), row, column);
}

void QueueGridView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Delete) {
        Q_EMIT deletePressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace vardelo
