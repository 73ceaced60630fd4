#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vardelo {

// Told after a grid has changed: after each change, or once at the end of a
// batch of changes.
class GridListener {
  public:
    virtual void gridChanged() = 0;

  protected:
    ~GridListener() = default;
};

// A grid of text cells in the shape the queue and the log share: row 0 is the
// title row (owned by the view, not stored here), data rows are 1-based, and
// there is always at least one data row, so rowCount() never drops below 2.
//
// Copies share their rows until either side changes one, so a copy taken for
// a background save is cheap, and that copy may be read on another thread
// while the original goes on changing.
class TextGrid {
  public:
    explicit TextGrid(int columns);
    // A copy or a moved-from grid takes the rows, never the listener: a copy
    // may be read on another thread. Assigning keeps this grid's listener and
    // tells it.
    TextGrid(const TextGrid& other);
    TextGrid(TextGrid&& other) noexcept;
    TextGrid& operator=(const TextGrid& other);
    TextGrid& operator=(TextGrid&& other) noexcept;
    ~TextGrid() = default;

    // At most one listener; nullptr removes it.
    void setListener(GridListener* listener) { listener_ = listener; }

    // Changes made while a batch lives are told once, when the outermost
    // batch ends.
    class Batch {
      public:
        explicit Batch(TextGrid& grid) : grid_(grid) { ++grid_.batchDepth_; }
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

      private:
        TextGrid& grid_;
    };

    int rowCount() const { return static_cast<int>(rows_.size()) + 1; }
    int columnCount() const { return columns_; }
    int lastRow() const { return rowCount() - 1; }

    const std::string& cell(int row, int column) const;
    void setCell(int row, int column, std::string text);

    // Rows added at the end are blank; a count below 2 is taken as 2.
    void setRowCount(int count);
    void clearRow(int row);

    // Copies every cell except column 0, which stays with the row position.
    void copyDataCells(int fromRow, int toRow);
    // Same, for a shift whose source row is overwritten or dropped next.
    void moveDataCells(int fromRow, int toRow);

    // Increases on every change, so a pending operation can tell whether the
    // grid was rewritten under it.
    unsigned long long revision() const { return revision_; }

  private:
    using Row = std::vector<std::string>;
    Row& row(int row); // unshares the row first
    const Row& row(int row) const;
    void changed();

    int columns_;
    std::vector<std::shared_ptr<Row>> rows_;
    unsigned long long revision_ = 0;
    GridListener* listener_ = nullptr;
    int batchDepth_ = 0;
    bool changedInBatch_ = false;
};

} // namespace vardelo
