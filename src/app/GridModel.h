#pragma once

#include "core/TextGrid.h"
#include "session/GridFeed.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <functional>
#include <vector>

namespace vardelo {

// Shows a core TextGrid in a view. The grid is changed by its owner's
// operations and its feed tells the model, which tells the view, adding or
// removing rows at the end (every operation grows or shrinks a grid only
// there) and repainting the rest.
class GridModel final : public QAbstractTableModel {
    Q_OBJECT
  public:
    // Listens to the feed's grid; the feed outlives the model.
    GridModel(const GridFeed& feed, QStringList titles, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Tooltips by grid row (1 is the first data row) and column; an empty
    // text is no tooltip.
    using ToolTips = std::function<QString(int row, int column)>;
    void setToolTips(ToolTips toolTips) { toolTips_ = std::move(toolTips); }

    // A column after the grid's own whose text the window makes by grid
    // row (1 is the first data row); the grid and its stored file keep their
    // own columns. Shown in the order added.
    struct ViewColumn {
        QString title;
        std::function<QString(int row)> text;
    };
    void addViewColumn(ViewColumn column);
    // Rows drawn greyed, by grid row.
    void setGreyedRows(std::function<bool(int row)> greyed) { greyed_ = std::move(greyed); }
    // What the view columns show has changed: the views repaint them once.
    void viewColumnsChanged();

  private:
    void gridChanged();

    const TextGrid& grid_;
    QStringList titles_;
    int shownRows_ = 0; // data rows the view knows of
    ToolTips toolTips_;
    std::vector<ViewColumn> viewColumns_;
    std::function<bool(int row)> greyed_;
};

} // namespace vardelo
