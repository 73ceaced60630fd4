#pragma once

#include <QTableView>

namespace vardelo {

// The queue grid: reports mouse presses and releases with the cell under the
// pointer (row 0 is the title row, -1 outside the grid), the Delete key and
// the paste key.
// Tab leaves the grid; the arrow keys move between rows.
class QueueGridView final : public QTableView {
    Q_OBJECT
  public:
    explicit QueueGridView(QWidget* parent = nullptr);

    // The 1-based data row that is selected, or 0.
    int selectedRow() const;
    void selectDataRow(int row);
    void setModel(QAbstractItemModel* model) override;

  Q_SIGNALS:
    void mouseDown(Qt::MouseButton button, int row, int column);
    void mouseUp(Qt::MouseButton button, int row, int column);
    void deletePressed();
    void pastePressed();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::pair<int, int> cellAt(const QPoint& viewportPos) const;
    // The commands act on the selected row, so one is always shown while
    // the queue has a link: the current row, or the head.
    void keepSelection();
};

} // namespace vardelo
