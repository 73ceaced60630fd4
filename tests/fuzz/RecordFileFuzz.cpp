// The record reader under any file content, in the queue's and the log's
// layout: whole records come back field by field, and storing them again
// writes the same texts (lengths cut to the capacity, padding zeroed).
#include "FuzzCheck.h"

#include "core/RecordFile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

using namespace vardelo;

// The bytes a faithful store writes for what was read.
std::string canonicalRecords(std::string_view bytes, const RecordLayout& layout) {
    const auto recordSize = static_cast<std::size_t>(layout.recordSize());
    std::string out(bytes.size() / recordSize * recordSize, '\0');
    for (std::size_t offset = 0; offset < out.size();) {
        for (const int capacity : layout.capacities) {
            const auto length = std::min<std::size_t>(static_cast<unsigned char>(bytes[offset]),
                                                      static_cast<std::size_t>(capacity));
            out[offset] = static_cast<char>(length);
            bytes.substr(offset + 1, length).copy(out.data() + offset + 1, length);
            offset += 1 + static_cast<std::size_t>(capacity);
        }
    }
    return out;
}

void checkLayout(std::string_view bytes, const RecordLayout& layout) {
    const auto columns = static_cast<int>(layout.capacities.size());
    TextGrid grid(columns);
    const int records = decodeRecords(bytes, layout, grid);
    FUZZ_REQUIRE(records == static_cast<int>(bytes.size() / layout.recordSize()));
    FUZZ_REQUIRE(grid.lastRow() == std::max(records, 1));
    if (records == 0)
        return;

    const std::string stored = encodeRecords(grid, layout);
    FUZZ_REQUIRE(stored == canonicalRecords(bytes, layout));

    TextGrid again(columns);
    FUZZ_REQUIRE(decodeRecords(stored, layout, again) == records);
    for (int row = 1; row <= records; ++row)
        for (int column = 0; column < columns; ++column)
            FUZZ_REQUIRE(again.cell(row, column) == grid.cell(row, column));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkLayout(bytes, queueRecordLayout());
    checkLayout(bytes, logRecordLayout());
    return 0;
}
