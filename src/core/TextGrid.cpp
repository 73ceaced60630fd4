#include "core/TextGrid.h"

#include <algorithm>
#include <atomic>
#include <stdexcept>
#include <utility>

namespace vardelo {

TextGrid::TextGrid(int columns) : columns_(columns) {
    setRowCount(2);
    revision_ = 0;
}

TextGrid::Row& TextGrid::row(int r) {
    if (r < 1 || r > static_cast<int>(rows_.size()))
        throw std::out_of_range("grid row out of range");
    auto& shared = rows_[static_cast<std::size_t>(r - 1)];
    // Copies are made only on the grid's own thread: a count of 1 cannot grow.
    if (shared.use_count() > 1)
        shared = std::make_shared<Row>(*shared);
    else // a copy released on another thread has finished reading this row
        std::atomic_thread_fence(std::memory_order_acquire);
    return *shared;
}

const TextGrid::Row& TextGrid::row(int r) const {
    if (r < 1 || r > static_cast<int>(rows_.size()))
        throw std::out_of_range("grid row out of range");
    return *rows_[static_cast<std::size_t>(r - 1)];
}

const std::string& TextGrid::cell(int r, int column) const {
    return row(r).at(static_cast<std::size_t>(column));
}

void TextGrid::setCell(int r, int column, std::string text) {
    row(r).at(static_cast<std::size_t>(column)) = std::move(text);
    ++revision_;
}

void TextGrid::setRowCount(int count) {
    const auto dataRows = static_cast<std::size_t>(count < 2 ? 1 : count - 1);
    const std::size_t kept = std::min(dataRows, rows_.size());
    rows_.resize(dataRows);
    for (std::size_t r = kept; r < dataRows; ++r)
        rows_[r] = std::make_shared<Row>(static_cast<std::size_t>(columns_));
    ++revision_;
}

void TextGrid::clearRow(int r) {
    for (auto& text : row(r))
        text.clear();
    ++revision_;
}

void TextGrid::copyDataCells(int fromRow, int toRow) {
    const auto& from = std::as_const(*this).row(fromRow);
    auto& to = row(toRow);
    for (std::size_t c = 1; c < from.size(); ++c)
        to[c] = from[c];
    ++revision_;
}

void TextGrid::moveDataCells(int fromRow, int toRow) {
    if (fromRow == toRow)
        return;
    auto& from = row(fromRow);
    auto& to = row(toRow);
    for (std::size_t c = 1; c < from.size(); ++c)
        to[c] = std::move(from[c]);
    ++revision_;
}

} // namespace vardelo
