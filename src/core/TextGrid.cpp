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

TextGrid::TextGrid(const TextGrid& other)
    : columns_(other.columns_), rows_(other.rows_), revision_(other.revision_) {}

TextGrid::TextGrid(TextGrid&& other) noexcept
    : columns_(other.columns_), rows_(std::move(other.rows_)), revision_(other.revision_) {}

TextGrid& TextGrid::operator=(const TextGrid& other) {
    if (this != &other) {
        columns_ = other.columns_;
        rows_ = other.rows_;
        changed();
    }
    return *this;
}

TextGrid& TextGrid::operator=(TextGrid&& other) noexcept {
    if (this != &other) {
        columns_ = other.columns_;
        rows_ = std::move(other.rows_);
        changed();
    }
    return *this;
}

TextGrid::Batch::~Batch() {
    if (--grid_.batchDepth_ == 0 && grid_.changedInBatch_) {
        grid_.changedInBatch_ = false;
        if (grid_.listener_)
            grid_.listener_->gridChanged();
    }
}

void TextGrid::changed() {
    ++revision_;
    if (batchDepth_ > 0)
        changedInBatch_ = true;
    else if (listener_)
        listener_->gridChanged();
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
    changed();
}

void TextGrid::setRowCount(int count) {
    const auto dataRows = static_cast<std::size_t>(count < 2 ? 1 : count - 1);
    const std::size_t kept = std::min(dataRows, rows_.size());
    rows_.resize(dataRows);
    for (std::size_t r = kept; r < dataRows; ++r)
        rows_[r] = std::make_shared<Row>(static_cast<std::size_t>(columns_));
    changed();
}

void TextGrid::clearRow(int r) {
    for (auto& text : row(r))
        text.clear();
    changed();
}

void TextGrid::copyDataCells(int fromRow, int toRow) {
    const auto& from = std::as_const(*this).row(fromRow);
    auto& to = row(toRow);
    for (std::size_t c = 1; c < from.size(); ++c)
        to[c] = from[c];
    changed();
}

void TextGrid::moveDataCells(int fromRow, int toRow) {
    if (fromRow == toRow)
        return;
    auto& from = row(fromRow);
    auto& to = row(toRow);
    for (std::size_t c = 1; c < from.size(); ++c)
        to[c] = std::move(from[c]);
    changed();
}

} // namespace vardelo
