#include "core/RecordFile.h"

#include "core/Cp1250.h"
#include "core/HostWaits.h"

#include <algorithm>
#include <numeric>

namespace vardelo {

int RecordLayout::recordSize() const {
    return std::accumulate(capacities.begin(), capacities.end(), 0,
                           [](int sum, int capacity) { return sum + 1 + capacity; });
}

const RecordLayout& queueRecordLayout() {
    static const RecordLayout layout{{5, 254, 100}};
    return layout;
}

const RecordLayout& logRecordLayout() {
    static const RecordLayout layout{{10, 254, 100, 20, 100}};
    return layout;
}

std::string encodeRecords(const TextGrid& grid, const RecordLayout& layout) {
    const auto recordSize = static_cast<std::size_t>(layout.recordSize());
    std::string bytes(recordSize * static_cast<std::size_t>(grid.lastRow()), '\0');
    std::size_t offset = 0;
    for (int row = 1; row <= grid.lastRow(); ++row) {
        for (std::size_t field = 0; field < layout.capacities.size(); ++field) {
            const auto capacity = static_cast<std::size_t>(layout.capacities[field]);
            const std::string text = utf8ToCp1250(grid.cell(row, static_cast<int>(field)));
            const std::size_t length = std::min(text.size(), capacity);
            bytes[offset] = static_cast<char>(length);
            text.copy(bytes.data() + offset + 1, length);
            offset += 1 + capacity;
        }
    }
    return bytes;
}

int decodeRecords(std::string_view bytes, const RecordLayout& layout, TextGrid& grid) {
    const auto recordSize = static_cast<std::size_t>(layout.recordSize());
    const auto records = static_cast<int>(bytes.size() / recordSize);
    if (records == 0)
        return 0;
    int row = grid.lastRow();
    grid.setRowCount(row + records);
    std::size_t offset = 0;
    for (int k = 0; k < records; ++k, ++row) {
        for (std::size_t field = 0; field < layout.capacities.size(); ++field) {
            const auto capacity = static_cast<std::size_t>(layout.capacities[field]);
            const std::size_t length =
                std::min<std::size_t>(static_cast<unsigned char>(bytes[offset]), capacity);
            grid.setCell(row, static_cast<int>(field),
                         cp1250ToUtf8(bytes.substr(offset + 1, length)));
            offset += 1 + capacity;
        }
    }
    return records;
}

std::string recordFileTooLargeMessage(std::string_view fileName) {
    return "File too large: " + std::string(fileName) + " holds more than 1 GiB";
}

bool isBlankGrid(const TextGrid& grid) {
    if (grid.rowCount() != 2)
        return false;
    for (int column = 0; column < grid.columnCount(); ++column)
        if (!grid.cell(1, column).empty())
            return false;
    return true;
}

void appendRows(TextGrid& stored, const TextGrid& added) {
    if (isBlankGrid(added))
        return;
    const int first = isBlankGrid(stored) ? 1 : stored.rowCount();
    stored.setRowCount(first + added.lastRow());
    for (int row = 1; row <= added.lastRow(); ++row) {
        const int to = first + row - 1;
        stored.setCell(to, 0, std::to_string(to));
        for (int column = 1; column < stored.columnCount(); ++column)
            stored.setCell(to, column, added.cell(row, column));
    }
}

bool isInterruptedSaveName(std::string_view fileName) {
    for (const std::string_view record : {"Lista.Vdl", "Naplo.Vdl", kHostWaitsFileName}) {
        if (!fileName.starts_with(record) ||
            !fileName.substr(record.size()).starts_with(kInterruptedSaveMark))
            continue;
        const std::string_view suffix =
            fileName.substr(record.size() + std::string_view(kInterruptedSaveMark).size());
        return suffix.size() == 6 && std::all_of(suffix.begin(), suffix.end(), [](char c) {
                   return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                          (c >= '0' && c <= '9');
               });
    }
    return false;
}

} // namespace vardelo
