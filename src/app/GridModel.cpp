#include "app/GridModel.h"

#include "platform/QtText.h"

#include <QGuiApplication>
#include <QPalette>

namespace vardelo {

GridModel::GridModel(const GridFeed& feed, QStringList titles, QObject* parent)
    : QAbstractTableModel(parent), grid_(feed.grid()), titles_(std::move(titles)),
      shownRows_(grid_.rowCount() - 1) {
    connect(&feed, &GridFeed::changed, this, &GridModel::gridChanged);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownRows_;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.columnCount() + static_cast<int>(viewColumns_.size());
}

void GridModel::addViewColumn(ViewColumn column) {
    const int at = columnCount();
    beginInsertColumns({}, at, at);
    viewColumns_.push_back(std::move(column));
    endInsertColumns();
}

void GridModel::viewColumnsChanged() {
    if (viewColumns_.empty() || shownRows_ == 0)
        return;
    Q_EMIT dataChanged(index(0, 0), index(shownRows_ - 1, columnCount() - 1),
                       {Qt::DisplayRole, Qt::ToolTipRole, Qt::ForegroundRole});
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (role == Qt::ToolTipRole && toolTips_ && index.isValid() &&
        index.row() + 1 <= grid_.lastRow()) {
        const QString tip = toolTips_(index.row() + 1, index.column());
        if (!tip.isEmpty())
            return tip;
    }
    if (!index.isValid() || index.row() + 1 > grid_.lastRow())
        return {};
    if (role == Qt::ForegroundRole && greyed_ && greyed_(index.row() + 1))
        return QGuiApplication::palette().color(QPalette::Disabled, QPalette::Text);
    if (role != Qt::DisplayRole)
        return {};
    if (index.column() >= grid_.columnCount())
        return viewColumns_[static_cast<std::size_t>(index.column() - grid_.columnCount())].text(
            index.row() + 1);
    return toQt(grid_.cell(index.row() + 1, index.column()));
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section >= columnCount())
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section >= titles_.size())
        return viewColumns_[static_cast<std::size_t>(section - titles_.size())].title;
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
    Q_EMIT dataChanged(index(0, 0), index(shownRows_ - 1, columnCount() - 1));
}

} // namespace vardelo
