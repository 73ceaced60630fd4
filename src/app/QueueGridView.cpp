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

void QueueGridView::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    if (!model)
        return;
    // Connected after the view's own handlers, which move the current row
    // off a removed one.
    for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(model, signal, this, &QueueGridView::keepSelection);
    connect(model, &QAbstractItemModel::dataChanged, this, &QueueGridView::keepSelection);
    connect(model, &QAbstractItemModel::modelReset, this, &QueueGridView::keepSelection);
    keepSelection();
}

void QueueGridView::keepSelection() {
    const bool hasLink =
        model()->rowCount() > 0 && !model()->index(0, 1).data().toString().isEmpty();
    if (!hasLink) {
        selectionModel()->clear();
        return;
    }
    const int row = currentIndex().isValid() ? currentIndex().row() + 1 : 1;
    if (!selectionModel()->isRowSelected(row - 1, QModelIndex()))
        selectDataRow(row);
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
    if (event->matches(QKeySequence::Paste)) {
        Q_EMIT pastePressed();
        return;
    }
    QTableView::keyPressEvent(event);
}

} // namespace vardelo
