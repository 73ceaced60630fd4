#pragma once

#include <QObject>

class QAbstractItemView;

namespace vardelo {

// Shows a grid cell's whole text as a tooltip when the cell is too narrow
// for it. A tooltip the model gives for a cell wins over the cut text.
class CellToolTips final : public QObject {
    Q_OBJECT
  public:
    // Watches the view's cells; the filter lives as long as the view.
    static void install(QAbstractItemView* view);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    explicit CellToolTips(QAbstractItemView* view);
    QAbstractItemView* view_;
};

} // namespace vardelo
