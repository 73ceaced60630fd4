#include "core/PartialFile.h"

#include "core/AsciiCase.h"
#include "core/Utf8.h"

#include <charconv>
#include <cstdio>
#include <utility>

namespace vardelo {
namespace {

constexpr std::size_t kNameMax = 255; // bytes of one directory entry
// Longer, the text after the last dot is no extension worth keeping whole.
constexpr std::size_t kExtensionMax = 32;
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

// The longest start of `text` within `limit` bytes that does not end inside
// a UTF-8 character.
std::string_view cutAtCharacter(std::string_view text, std::size_t limit) {
    if (text.size() <= limit)
        return text;
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80)
        --limit;
    return text.substr(0, limit);
}

// A link goes on one line of the record: line ends and other control bytes
// are written as %XX, and so is "%" itself.
std::string escapedLink(std::string_view link) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : link) {
        if (c < 0x20 || c == 0x7f || c == '%') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::optional<std::string> unescapedLink(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        unsigned value = 0;
        const char* digits = text.data() + i + 1;
        if (i + 2 >= text.size() ||
            std::from_chars(digits, digits + 2, value, 16).ptr != digits + 2)
            return std::nullopt;
        out += static_cast<char>(value);
        i += 2;
    }
    return out;
}

// Unicode's format characters (category Cf, Unicode 15): invisible in a
// name, and the bidirectional ones turn the text after them around, so
// "gpj.<U+202E>exe.bin" would be shown as "gpj.nib.exe".
constexpr std::pair<char32_t, char32_t> kFormatCharacters[] = {
    {0xAD, 0xAD},       {0x600, 0x605},     {0x61C, 0x61C},     {0x6DD, 0x6DD},
    {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},     {0x180E, 0x180E},
    {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},   {0x2066, 0x206F},
    {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

bool isUnseen(char32_t c) {
    if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) // the C0 and C1 controls, and DEL
        return true;
    for (const auto& [first, last] : kFormatCharacters) {
        if (c >= first && c <= last)
            return true;
    }
    return false;
}

// The UTF-8 character at the start of `text` and its length in bytes; a
// length of 0 when the bytes there are not one.
std::pair<char32_t, std::size_t> leadingCharacter(std::string_view text) {
    std::size_t length = 0;
    const std::optional<char32_t> c = nextCodePoint(text, length);
    return c ? std::pair{*c, length} : std::pair{char32_t{0}, std::size_t{0}};
}

// The name without the characters that cannot be seen in it; bytes that
// are not UTF-8 stay as they are.
std::string withoutUnseen(std::string_view name) {
    std::string out;
    while (!name.empty()) {
        const auto [c, length] = leadingCharacter(name);
        const std::size_t taken = length > 0 ? length : 1;
        if (length == 0 || !isUnseen(c))
            out += name.substr(0, taken);
        name.remove_prefix(taken);
    }
    return out;
}

// A download never passes for a partial file, in this layout or in an
// earlier one that kept them beside the target.
bool looksPartial(std::string_view name) {
    const std::string lower = asciiLower(name);
    return lower.ends_with(kPartial) ||
           lower.ends_with(std::string(kPartial) + std::string(kRecord));
}

bool isSameFile(const AnswerHead& answer, const PartialRecord& record) {
    return (record.etag.empty() || answer.etag == record.etag) &&
           (record.lastModified.empty() || answer.lastModified == record.lastModified);
}

} // namespace

std::string storableName(std::string_view name) {
    return numberedName(name, 0);
}

std::string numberedName(std::string_view serverName, int n) {
    std::string visible = withoutUnseen(serverName);
    const auto first = visible.find_first_not_of('.');
    if (first == std::string::npos)
        return {};
    visible.erase(0, first);
    if (looksPartial(visible))
        visible += '_'; // kept through the number and the cut below
    const std::string_view name = visible;
    const std::string mark = n > 0 ? " (" + std::to_string(n) + ")" : std::string();
    auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0 || name.size() - dot > kExtensionMax)
        dot = name.size();
    const std::string_view extension = name.substr(dot);
    const std::string_view stem =
        cutAtCharacter(name.substr(0, dot), kNameMax - mark.size() - extension.size());
    std::string numbered = std::string(stem) + mark + std::string(extension);
    if (looksPartial(numbered)) {
        if (numbered.size() < kNameMax)
            numbered += '_';
        else
            numbered.back() = '_'; // cut there: an ASCII letter of the ending
    }
    return numbered;
}

PartialNames partialNamesFor(std::string_view link, std::string_view target, int slot) {
    std::string key(link);
    key += '\0'; // in neither: no other pair makes the same key
    key += target;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(stableHash(key)));
    const std::string slotMark = slot > 0 ? "." + std::to_string(slot) : std::string();
    const std::string_view fileName = target.substr(target.rfind('/') + 1);
    // Room also for ".new", the name a record is written under first.
    const std::size_t room =
        kNameMax - (16 + slotMark.size() + 1 + kPartial.size() + kRecord.size() + 4);
    const std::string partial = std::string(hex) + slotMark + "-" +
                                std::string(cutAtCharacter(fileName, room)) + std::string(kPartial);
    return {partial, partial + std::string(kRecord)};
}

std::string recordText(const PartialRecord& record) {
    return std::string(kRecordHeader) + "\nlength=" + std::to_string(record.total) +
           "\netag=" + record.etag + "\nlast-modified=" + record.lastModified +
           "\nlink=" + escapedLink(record.link) + "\n";
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
        } else if (key == "link") {
            const auto link = unescapedLink(value);
            if (!link)
                return std::nullopt;
            record.link = *link;
        }
    }
    if (!total || !etag || !lastModified || !isHeaderValue(record.etag) ||
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
    return PartialRecord{total, std::move(etag), std::move(lastModified), {}};
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

bool isComplete(const std::optional<PartialRecord>& record, std::int64_t partialSize) {
    return record && record->total > 0 && partialSize == record->total;
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

BodyStart bodyStartFor(const AnswerHead& answer, std::int64_t offset,
                       const std::optional<PartialRecord>& record) {
    if (answer.status == 206) {
        const auto range =
            answer.contentRange ? parseContentRange(*answer.contentRange) : std::nullopt;
        const bool ofThisFile = offset == 0 || (record && range && range->total == record->total &&
                                                isSameFile(answer, *record));
        const bool rest = range && range->first == offset && range->last == range->total - 1;
        if (!rest || !ofThisFile || !isIdentity(answer.contentEncoding))
            return BodyStart::Refetch;
        return offset == 0 ? BodyStart::Restart : BodyStart::Append;
    }
    if (answer.status >= 200 && answer.status < 300)
        return BodyStart::Restart;
    return BodyStart::Refetch;
}

} // namespace vardelo
