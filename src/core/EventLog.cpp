#include "core/EventLog.h"

namespace vardelo {

bool EventLog::isEmpty() const {
    if (grid_.rowCount() != 2)
        return false;
    for (int column = 0; column < grid_.columnCount(); ++column)
        if (!grid_.cell(1, column).empty())
            return false;
    return true;
}

void EventLog::append(const LogEntry& entry) {
    const TextGrid::Batch batch(grid_);
    if (isEmpty())
        grid_.setCell(1, LogNumber, "1");
    else
        grid_.setRowCount(grid_.rowCount() + 1);
    const int row = grid_.lastRow();
    grid_.setCell(row, LogNumber, std::to_string(row));
    grid_.setCell(row, LogUrl, entry.url);
    grid_.setCell(row, LogStatus, entry.status);
    grid_.setCell(row, LogSize, entry.size);
    grid_.setCell(row, LogAttempts, entry.attempts);
}

void EventLog::clear() {
    const TextGrid::Batch batch(grid_);
    grid_.setRowCount(2);
    grid_.clearRow(1);
}

std::vector<std::string> EventLog::takeFailed() {
    const TextGrid::Batch batch(grid_);
    std::vector<std::string> urls;
    int kept = 0;
    for (int row = 1; row <= grid_.lastRow(); ++row) {
        if (grid_.cell(row, LogStatus) == kStatusFailed) {
            urls.push_back(grid_.cell(row, LogUrl));
            continue;
        }
        ++kept;
        grid_.moveDataCells(row, kept);
    }
    if (urls.empty())
        return urls;
    if (kept == 0) {
        clear();
    } else {
        grid_.setRowCount(kept + 1);
    }
    return urls;
}

} // namespace vardelo
