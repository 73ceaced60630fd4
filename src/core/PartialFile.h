#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// A name a file can be stored under: not empty, not "." or "..".
bool isStorableName(std::string_view name);

// Where the body is gathered before it gets its final name, and where the
// record of what it belongs to is kept. "<name>.part" and "<name>.part.meta"
// while those fit in a directory entry; for a longer name a short name made
// from a stable hash of it, so a legal name never fails for its partial.
struct PartialNames {
    std::string partial;
    std::string record;
};
PartialNames partialNamesFor(std::string_view fileName);

// What the first answer said of the file, kept beside the partial file.
struct PartialRecord {
    std::int64_t total = 0; // the announced length of the whole file
    std::string etag;
    std::string lastModified;
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
};
BodyStart bodyStartFor(const AnswerHead& answer, std::int64_t offset, std::int64_t recordTotal);

} // namespace vardelo
