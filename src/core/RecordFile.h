#pragma once

#include "core/TextGrid.h"

#include <cstdint>
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

// The largest record file read: about 2.9 million queue records or 2.1
// million log records. A larger file is refused rather than held.
inline constexpr std::int64_t kRecordFileLimit = std::int64_t{1} << 30;
std::string recordFileTooLargeMessage(std::string_view fileName);

// One record per data row; the bytes after each text are zero.
std::string encodeRecords(const TextGrid& grid, const RecordLayout& layout);

// Puts every whole record into the grid from its last row on, adding rows;
// a partial record at the end is ignored and a length byte above its field's
// capacity is cut to the capacity. Returns the number of records read.
int decodeRecords(std::string_view bytes, const RecordLayout& layout, TextGrid& grid);

// A grid whose only row is blank: an empty queue or log.
bool isBlankGrid(const TextGrid& grid);

// Appends the data rows of `added` after those of `stored`, numbering each
// by its new position; the stored rows keep their numbers. A blank side
// contributes nothing.
void appendRows(TextGrid& stored, const TextGrid& added);

// What a save's temporary file adds to the record file's name, before six
// random letters or digits.
inline constexpr char kInterruptedSaveMark[] = ".vardelo-save-";

// Whether a name beside the record files is a temporary file that an
// interrupted save of one of them (or of the hosts' waits) left: the record file's name, the mark
// and six letters or digits. Anything else there is the user's.
bool isInterruptedSaveName(std::string_view fileName);

} // namespace vardelo
