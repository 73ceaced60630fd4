#include "core/TextGrid.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

// A background save works on a copy while the window goes on changing the
// original; neither may see the other's changes.
TEST(TextGridCopy, CopiesChangeIndependently) {
    TextGrid grid(3);
    grid.setRowCount(3);
    grid.setCell(1, 1, "a");
    grid.setCell(2, 1, "b");
    const TextGrid copy = grid;
    grid.setCell(1, 1, "changed");
    grid.moveDataCells(2, 1);
    grid.clearRow(2);
    grid.setRowCount(4);
    EXPECT_EQ(copy.rowCount(), 3);
    EXPECT_EQ(copy.cell(1, 1), "a");
    EXPECT_EQ(copy.cell(2, 1), "b");

    TextGrid second = copy;
    second.setCell(2, 1, "x");
    EXPECT_EQ(copy.cell(2, 1), "b");
    EXPECT_EQ(grid.cell(1, 1), "b");
    EXPECT_EQ(grid.cell(3, 1), "");
}

} // namespace
} // namespace vardelo
