#include "app/GridModel.h"

#include "platform/QtText.h"

namespace vardelo {

GridModel::GridModel(TextGrid& grid, QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid), titles_(std::move(titles)),
      shownRows_(grid.rowCount() - 1) {
    grid_.setListener(this);
}

GridModel::~GridModel() {
    grid_.setListener(nullptr);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.columnCount();
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole && toolTips_ && index.isValid() &&
        index.row() + 1 <= grid_.lastRow()) {
        const QString tip = toolTips_(index.row() + 1, index.column());
        if (!tip.isEmpty())
            return tip;
    }
    if (role != Qt::DisplayRole || !index.isValid() || index.row() + 1 > grid_.lastRow())
        return {};
    return toQt(grid_.cell(index.row() + 1, index.column()));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= titles_.size())
        return QAbstractTableModel::headerData(section, orientation, role);
    return titles_.at(section);
}

void GridModel::gridChanged() {
    const int rows = grid_.rowCount() - 1;
    if (rows > shownRows_) {
        beginInsertRows({}, shownRows_, rows - 1);
        shownRows_ = rows;
        endInsertRows();
    } else if (rows < shownRows_) {
        beginRemoveRows({}, rows, shownRows_ - 1);
        shownRows_ = rows;
        endRemoveRows();
    }
    Q_EMIT dataChanged(index(0, 0), index(shownRows_ - 1, grid_.columnCount() - 1));
    Q_EMIT changed();
}

} // namespace vardelo
