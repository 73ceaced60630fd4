#pragma once

#include "core/TextGrid.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// A record is a run of fixed-capacity text fields: one length byte, then
// exactly `capacity` bytes of which the first `length` are the text
// (code page 1250). Field i holds grid column i.
struct RecordLayout {
    std::vector<int> capacities;
    int recordSize() const;
};

const RecordLayout& queueRecordLayout(); // Lista.Vdl: 5, 254, 100 -> 362 bytes
const RecordLayout& logRecordLayout();   // Naplo.Vdl: 10, 254, 100, 20, 100 -> 489 bytes

// One record per data row; the bytes after each text are zero.
std::string encodeRecords(const TextGrid& grid, const RecordLayout& layout);

// Puts every whole record into the grid from its last row on, adding rows;
// a partial record at the end is ignored and a length byte above its field's
// capacity is cut to the capacity. Returns the number of records read.
int decodeRecords(std::string_view bytes, const RecordLayout& layout, TextGrid& grid);

// Returns false when the file does not exist. Throws IoError. A file without
// write permission fails with "File access denied", as the program opens its
// record files for reading and writing.
bool readRecordFile(const std::filesystem::path& path, const RecordLayout& layout, TextGrid& grid);

// Writes a temporary file beside the target and renames it over the target
// once it is complete and flushed, so a failure never leaves a half-written
// file. Throws IoError.
void writeRecordFile(const std::filesystem::path& path, const RecordLayout& layout,
                     const TextGrid& grid);

} // namespace vardelo
