#pragma once

#include "core/HostWaits.h"
#include "core/RecordFile.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// The record files on disk. Encoding and decoding are the core's; this is
// where the bytes meet the file system.
//
// A record file is only used where this user may write it: an existing path
// that is not a regular file, a file without the owner's write bit (also for
// root) or one the process may not write fails with "File access denied".

// Reads a whole record file into the grid; false when no file exists. The
// grid is unchanged when it throws (IoError, or UserError for a file above
// kRecordFileLimit). Never blocks on a FIFO or device.
bool readRecordFile(const QString& path, const RecordLayout& layout, TextGrid& grid);

// The hosts' waits kept beside the record files, read with the same checks
// (a file above kHostWaitsFileLimit throws UserError) as `restore` takes them
// at `now`; none when no file exists.
HostWaits readHostWaitsFile(const QString& path, std::int64_t now);

// Any file kept beside the record files, read with the same checks (a file
// above `limit` throws UserError with the message made of its name); nothing
// when no file exists.
std::optional<std::string> readKeptFile(const QString& path, std::int64_t limit,
                                        std::string (*tooLargeMessage)(std::string_view));

// Replaces the file's contents as a whole, through a temporary file beside
// it, or in place where the folder allows no temporary file (the space is
// reserved before the first byte is written). A symbolic link stays a link
// and its target is written; the mode and, where the process may set it, the
// owner are kept; a new file is readable by its user only. Throws IoError; on
// failure the old file is left as it was, except after a write in place that
// failed past the reservation (a failing disk).
void writeRecordFile(const QString& path, std::string_view bytes);

// Removes the temporary files that interrupted saves of the record files or
// the hosts' waits left in the folder: only names with this program's mark (kInterruptedSaveMark),
// never a user's own copy beside the records.
void removeInterruptedSaves(const QString& folder);

} // namespace vardelo
