#include "core/TextGrid.h"

#include <stdexcept>

namespace vardelo {

TextGrid::TextGrid(int columns)
    : columns_(columns), rows_(1, std::vector<std::string>(static_cast<std::size_t>(columns))) {}

std::vector<std::string>& TextGrid::row(int r) {
    if (r < 1 || r > static_cast<int>(rows_.size()))
        throw std::out_of_range("grid row out of range");
    return rows_[static_cast<std::size_t>(r - 1)];
}

const std::vector<std::string>& TextGrid::row(int r) const {
    if (r < 1 || r > static_cast<int>(rows_.size()))
        throw std::out_of_range("grid row out of range");
    return rows_[static_cast<std::size_t>(r - 1)];
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
    rows_.resize(dataRows, std::vector<std::string>(static_cast<std::size_t>(columns_)));
    ++revision_;
}

void TextGrid::clearRow(int r) {
    for (auto& text : row(r))
        text.clear();
    ++revision_;
}

void TextGrid::copyDataCells(int fromRow, int toRow) {
    const auto& from = row(fromRow);
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
