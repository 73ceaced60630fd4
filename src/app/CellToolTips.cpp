#include "app/CellToolTips.h"

#include <QAbstractItemView>
#include <QHelpEvent>
#include <QToolTip>

namespace vardelo {

void CellToolTips::install(QAbstractItemView* view) {
    view->viewport()->installEventFilter(new CellToolTips(view));
}

CellToolTips::CellToolTips(QAbstractItemView* view) : QObject(view), view_(view) {}

bool CellToolTips::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip || watched != view_->viewport())
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = view_->indexAt(help->pos());
    if (!index.isValid() || !index.data(Qt::ToolTipRole).toString().isEmpty())
        return false; // the view shows the model's own tooltip, or none
    const QString text = index.data(Qt::DisplayRole).toString();
    // The part of the cell that is on the screen: a column cut by the grid's
    // edge hides its text as a narrow column does.
    const QRect shown = view_->visualRect(index).intersected(view_->viewport()->rect());
    if (!text.isEmpty() && view_->sizeHintForIndex(index).width() > shown.width())
        QToolTip::showText(help->globalPos(), text, view_->viewport(), shown);
    else
        QToolTip::hideText();
    return true;
}

} // namespace vardelo
