#include "core/PartialFile.h"

#include "core/AsciiCase.h"

#include <charconv>
#include <cstdio>

namespace vardelo {
namespace {

constexpr std::size_t kNameMax = 255; // bytes of one directory entry
constexpr std::string_view kPartial = ".part";
constexpr std::string_view kRecord = ".meta";
constexpr std::string_view kRecordHeader = "Vardelo partial file 1";

// A validator goes into a request header as it is: a hand-edited record
// must not smuggle a line end or another control byte into the request.
bool isHeaderValue(std::string_view value) {
    for (const unsigned char c : value) {
        if (c < 0x20 || c == 0x7f)
            return false;
    }
    return true;
}

// FNV-1a: the same name gives the same partial name in every build.
std::uint64_t stableHash(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    return hash;
}

std::optional<std::int64_t> wholeNumber(std::string_view text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end || value < 0)
        return std::nullopt;
    return value;
}

// A value that fits on one line of the record and in one header.
bool isLineSafe(std::string_view value) {
    for (const unsigned char c : value) {
        if (c < 0x20 || c == 0x7f)
            return false;
    }
    return true;
}

bool isIdentity(const std::optional<std::string>& encoding) {
    return !encoding || encoding->empty() || asciiLower(*encoding) == "identity";
}

} // namespace

bool isStorableName(std::string_view name) {
    return !name.empty() && name != "." && name != "..";
}

PartialNames partialNamesFor(std::string_view fileName) {
    std::string partial;
    if (fileName.size() + kPartial.size() + kRecord.size() <= kNameMax) {
        partial = std::string(fileName) + std::string(kPartial);
    } else {
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx",
                      static_cast<unsigned long long>(stableHash(fileName)));
        partial = std::string("vardelo-") + hex + std::string(kPartial);
    }
    return {partial, partial + std::string(kRecord)};
}

std::string recordText(const PartialRecord& record) {
    return std::string(kRecordHeader) + "\nlength=" + std::to_string(record.total) +
           "\netag=" + record.etag + "\nlast-modified=" + record.lastModified + "\n";
}

std::optional<PartialRecord> parseRecord(std::string_view text) {
    PartialRecord record;
    std::optional<std::int64_t> total;
    bool header = false, etag = false, lastModified = false;
    while (!text.empty()) {
        const auto end = text.find('\n');
        if (end == std::string_view::npos)
            return std::nullopt; // cut short while it was written
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        const auto equals = line.find('=');
        const std::string_view key = line.substr(0, equals);
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view{} : line.substr(equals + 1);
        if (!header) {
            if (line != kRecordHeader)
                return std::nullopt;
            header = true;
        } else if (key == "length") {
            total = wholeNumber(value);
        } else if (key == "etag") {
            record.etag = value;
            etag = true;
        } else if (key == "last-modified") {
            record.lastModified = value;
            lastModified = true;
        }
    }
    if (!total || *total <= 0 || !etag || !lastModified || !isHeaderValue(record.etag) ||
        !isHeaderValue(record.lastModified))
        return std::nullopt;
    record.total = *total;
    return record;
}

std::optional<PartialRecord> recordForAnswer(std::int64_t total, std::string etag,
                                             std::string lastModified,
                                             std::string_view contentEncoding) {
    if (total <= 0 || !isIdentity(std::optional<std::string>(contentEncoding)))
        return std::nullopt;
    if (!isLineSafe(etag))
        etag.clear();
    if (!isLineSafe(lastModified))
        lastModified.clear();
    return PartialRecord{total, std::move(etag), std::move(lastModified)};
}

ResumeRequest resumeRequest(const std::optional<PartialRecord>& record, std::int64_t partialSize) {
    if (!record || partialSize <= 0 || partialSize >= record->total)
        return {};
    ResumeRequest request;
    request.offset = partialSize;
    request.headers.push_back("Range: bytes=" + std::to_string(partialSize) + "-");
    // A weak ETag may not be used for ranges; the date then stands for it.
    const bool strongTag = !record->etag.empty() && record->etag.rfind("W/", 0) != 0;
    if (strongTag)
        request.headers.push_back("If-Range: " + record->etag);
    else if (!record->lastModified.empty())
        request.headers.push_back("If-Range: " + record->lastModified);
    return request;
}

std::optional<ContentRange> parseContentRange(std::string_view value) {
    constexpr std::string_view unit = "bytes ";
    if (value.size() < unit.size() || asciiLower(std::string(value.substr(0, unit.size()))) != unit)
        return std::nullopt;
    value.remove_prefix(unit.size());
    const auto dash = value.find('-');
    const auto slash = value.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash)
        return std::nullopt;
    const auto first = wholeNumber(value.substr(0, dash));
    const auto last = wholeNumber(value.substr(dash + 1, slash - dash - 1));
    const auto total = wholeNumber(value.substr(slash + 1));
    if (!first || !last || !total || *first > *last || *last >= *total)
        return std::nullopt;
    return ContentRange{*first, *last, *total};
}

BodyStart bodyStartFor(const AnswerHead& answer, std::int64_t offset, std::int64_t recordTotal) {
    if (answer.status == 206) {
        const auto range =
            answer.contentRange ? parseContentRange(*answer.contentRange) : std::nullopt;
        const bool rest = range && range->first == offset && range->last == range->total - 1 &&
                          (offset == 0 || range->total == recordTotal);
        if (!rest || !isIdentity(answer.contentEncoding))
            return BodyStart::Refetch;
        return offset == 0 ? BodyStart::Restart : BodyStart::Append;
    }
    if (answer.status >= 200 && answer.status < 300)
        return BodyStart::Restart;
    return BodyStart::Refetch;
}

} // namespace vardelo
