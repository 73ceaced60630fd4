#include "core/ExpectedFile.h"

#include <cmath>
#include <limits>
#include <vector>

namespace vardelo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the blank at `at` (space, tab, no-break, narrow no-break
// or thin space), 0 when there is none.
std::size_t blankAt(std::string_view text, std::size_t at) {
    const std::string_view rest = text.substr(at);
    if (rest.starts_with(' ') || rest.starts_with('\t'))
        return 1;
    if (rest.starts_with("\xC2\xA0"))
        return 2;
    if (rest.starts_with("\xE2\x80\xAF") || rest.starts_with("\xE2\x80\x89"))
        return 3;
    return 0;
}

std::size_t skipBlanks(std::string_view text, std::size_t at) {
    while (const std::size_t blank = at < text.size() ? blankAt(text, at) : 0)
        at += blank;
    return at;
}

// Bytes per unit, ASCII letters in any case; 0 when not a unit.
std::int64_t unitFactor(std::string_view unit) {
    std::string lower;
    for (const char c : unit)
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    if (lower.empty() || lower == "b" || lower == "byte" || lower == "bytes" ||
        lower == "b\xC3\xA1jt")
        return 1;
    const std::string_view prefixes = "kmgtp";
    const std::size_t power = prefixes.find(lower.front());
    if (power == std::string_view::npos)
        return 0;
    const std::string_view tail = std::string_view(lower).substr(1);
    if (!tail.empty() && tail != "b" && tail != "ib")
        return 0;
    return std::int64_t{1} << (10 * (power + 1));
}

// The unit's letters: ASCII ones and the "á" of "bájt".
std::size_t unitEnd(std::string_view text, std::size_t at) {
    while (at < text.size()) {
        const char c = text[at];
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            ++at;
        else if (text.substr(at).starts_with("\xC3\xA1"))
            at += 2;
        else
            break;
    }
    return at;
}

} // namespace

std::optional<SizeReading> readSizeText(std::string_view text) {
    std::size_t at = 0;
    while (at < text.size() && !isDigit(text[at]))
        ++at;
    if (at == text.size())
        return std::nullopt;
    // Runs of digits and what stands between them: ' ', ',' or '.'.
    std::vector<std::string_view> runs;
    std::vector<char> separators;
    for (;;) {
        const std::size_t start = at;
        while (at < text.size() && isDigit(text[at]))
            ++at;
        runs.push_back(text.substr(start, at - start));
        if (at >= text.size())
            break;
        const std::size_t blank = blankAt(text, at);
        const std::size_t width = blank ? blank : (text[at] == ',' || text[at] == '.') ? 1 : 0;
        if (width == 0 || at + width >= text.size() || !isDigit(text[at + width]))
            break;
        separators.push_back(blank ? ' ' : text[at]);
        at += width;
    }
    at = skipBlanks(text, at);
    const std::size_t end = unitEnd(text, at);
    const std::int64_t factor = unitFactor(text.substr(at, end - at));
    if (factor == 0)
        return std::nullopt;

    // Which mark, if any, is the decimal point.
    std::size_t decimal = separators.size(); // none
    const std::size_t lastMark = separators.empty() ? 0 : separators.size() - 1;
    if (!separators.empty() && separators.back() != ' ') {
        const char mark = separators.back();
        std::size_t count = 0;
        bool other = false;
        for (const char s : separators) {
            count += s == mark;
            other = other || (s != mark && s != ' ');
        }
        const bool groupsBytes = factor == 1 && runs.back().size() == 3;
        if (other || (count == 1 && !groupsBytes))
            decimal = lastMark;
    }
    std::string whole, fraction;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (i > 0 && i - 1 == decimal) {
            fraction = runs[i];
            break;
        }
        if (i > 0 && runs[i].size() != 3)
            return std::nullopt; // groups of thousands have three digits
        whole += runs[i];
    }
    if (!fraction.empty() && factor == 1)
        return std::nullopt; // a part of a byte
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    std::uint64_t count = 0;
    for (const char c : whole) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (count > (limit - digit) / 10)
            return std::nullopt;
        count = count * 10 + digit;
    }
    const auto perUnit = static_cast<std::uint64_t>(factor);
    if (count > limit / perUnit)
        return std::nullopt;
    std::uint64_t bytes = count * perUnit;
    if (!fraction.empty()) {
        const long double part =
            std::stold("0." + fraction.substr(0, 18)) * static_cast<long double>(perUnit);
        const auto rounded = static_cast<std::uint64_t>(std::llround(part));
        if (rounded > limit - bytes)
            return std::nullopt;
        bytes += rounded;
    }
    return SizeReading{static_cast<std::int64_t>(bytes), factor == 1};
}

std::optional<DigestKind> digestKindNamed(std::string_view name) {
    if (name == "md5")
        return DigestKind::Md5;
    if (name == "sha1")
        return DigestKind::Sha1;
    if (name == "sha256")
        return DigestKind::Sha256;
    return std::nullopt;
}

const char* digestKindLabel(DigestKind kind) {
    switch (kind) {
    case DigestKind::Md5:
        return "MD5";
    case DigestKind::Sha1:
        return "SHA-1";
    case DigestKind::Sha256:
        return "SHA-256";
    }
    return "";
}

std::string digestMatchText(DigestKind kind) {
    return std::string(digestKindLabel(kind)) + " egyezik";
}

std::size_t digestHexLength(DigestKind kind) {
    switch (kind) {
    case DigestKind::Md5:
        return 32;
    case DigestKind::Sha1:
        return 40;
    case DigestKind::Sha256:
        return 64;
    }
    return 0;
}

std::optional<ExpectedDigest> readDigest(std::string_view text, std::optional<DigestKind> kind) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return std::nullopt;
    text = text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    ExpectedDigest digest;
    for (const char c : text) {
        if (isDigit(c) || (c >= 'a' && c <= 'f'))
            digest.hex += c;
        else if (c >= 'A' && c <= 'F')
            digest.hex += static_cast<char>(c - 'A' + 'a');
        else
            return std::nullopt;
    }
    if (!kind) {
        for (const DigestKind known : {DigestKind::Md5, DigestKind::Sha1, DigestKind::Sha256}) {
            if (digestHexLength(known) == digest.hex.size())
                kind = known;
        }
    }
    if (!kind || digestHexLength(*kind) != digest.hex.size())
        return std::nullopt;
    digest.kind = *kind;
    return digest;
}

} // namespace vardelo
