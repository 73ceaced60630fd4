#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// The name a server's file is stored under: without the characters that
// cannot be seen (control characters, Unicode format characters such as
// bidirectional overrides and zero-width spaces), without leading dots (no
// hidden files such as ".bashrc"), and cut to one directory entry keeping
// its extension. A name ending in ".part" or ".part.meta" gets a "_" after
// it. Empty when nothing is left.
std::string storableName(std::string_view name);

// The name of the n-th copy when the name is taken: "name (n).ext", cut to
// one directory entry as above; n = 0 is the name itself.
std::string numberedName(std::string_view name, int n);

// Where the body is gathered before it gets its final name, and where the
// record of what it belongs to is kept: names in the partial files' own
// folder, made from a stable hash of the queue link and the target path
// (folder and file name) and, as far as it fits in a directory entry, the
// file name, so one link's partial file for one target keeps its name from
// run to run. Slot n > 0 is the n-th other name of the same pair, used when
// the first is somebody else's.
struct PartialNames {
    std::string partial;
    std::string record;
};
PartialNames partialNamesFor(std::string_view link, std::string_view target, int slot = 0);

// What the first answer said of the file, kept beside the partial file,
// and the queue link it was fetched for. A length of 0 marks a partial file
// that cannot be resumed but is still this program's. Records written before
// links were kept have no link and belong to no link.
struct PartialRecord {
    std::int64_t total = 0; // the announced length of the whole file
    std::string etag;
    std::string lastModified;
    std::string link;
};
std::string recordText(const PartialRecord& record);
// Nothing for a text that is not a whole record.
std::optional<PartialRecord> parseRecord(std::string_view text);

// The record for an answer that starts the file, or nothing when the answer
// cannot be resumed later: no length announced, or an encoded body (its
// ranges would be of the encoded bytes).
std::optional<PartialRecord> recordForAnswer(std::int64_t total, std::string etag,
                                             std::string lastModified,
                                             std::string_view contentEncoding);

// How to ask for a file of which `partialSize` bytes lie on disk.
struct ResumeRequest {
    std::int64_t offset = 0; // 0: the whole file
    std::vector<std::string> headers;
};
// The rest is asked for only when the record exists and the partial file is
// shorter than the whole; anything else starts again.
ResumeRequest resumeRequest(const std::optional<PartialRecord>& record, std::int64_t partialSize);
// The whole file is on disk already: only its final name is missing.
bool isComplete(const std::optional<PartialRecord>& record, std::int64_t partialSize);

// "Content-Range: bytes N-M/T".
struct ContentRange {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int64_t total = 0;
};
std::optional<ContentRange> parseContentRange(std::string_view value);

// What to do with an answer before its first byte is written.
enum class BodyStart {
    Append,  // the rest of the file: written after the partial file
    Restart, // the whole file: written over the partial file from byte 0
    Refetch, // neither: the partial file is emptied and the whole file asked for
};
struct AnswerHead {
    int status = 0;
    std::optional<std::string> contentRange;
    std::optional<std::string> contentEncoding;
    std::optional<std::string> etag;
    std::optional<std::string> lastModified;
};
// The rest is appended only when it is of the same file: the recorded
// length, and each validator the record holds sent again unchanged.
BodyStart bodyStartFor(const AnswerHead& answer, std::int64_t offset,
                       const std::optional<PartialRecord>& record);

} // namespace vardelo
