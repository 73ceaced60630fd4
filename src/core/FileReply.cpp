#include "core/FileReply.h"

#include "core/AsciiCase.h"
#include "core/HostProfile.h"
#include "core/PartialFile.h"
#include "core/Utf8.h"

#include <array>
#include <vector>

namespace vardelo {
namespace {

constexpr std::string_view kBlanks = " \t\r\n\f\v";

std::string_view trimmedView(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%XX" decoded; a "%" not followed by two hex digits is kept, or refused
// when `strict`.
std::optional<std::string> percentDecoded(std::string_view text, bool strict) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool escape = text[i] == '%' && i + 2 < text.size();
        const int high = escape ? hexValue(text[i + 1]) : -1;
        const int low = escape ? hexValue(text[i + 2]) : -1;
        if (high >= 0 && low >= 0) {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        } else if (text[i] == '%' && strict) {
            return std::nullopt;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (const unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// RFC 5987's ext-value: charset'language'percent-encoded.
std::optional<std::string> extendedValue(std::string_view value) {
    const std::size_t first = value.find('\'');
    const std::size_t second =
        first == std::string_view::npos ? first : value.find('\'', first + 1);
    if (second == std::string_view::npos)
        return std::nullopt;
    const std::string charset = asciiLower(value.substr(0, first));
    std::optional<std::string> decoded = percentDecoded(value.substr(second + 1), true);
    if (!decoded)
        return std::nullopt;
    if (charset == "utf-8")
        return isStrictUtf8(*decoded) ? decoded : std::nullopt;
    if (charset == "iso-8859-1")
        return latin1ToUtf8(*decoded);
    return std::nullopt;
}

struct Parameter {
    std::string name; // lower case
    std::string value;
};

// The header's parameters in order; a quoted value may hold ";" and
// backslash escapes, an unquoted one runs to the next ";".
std::vector<Parameter> parametersOf(std::string_view header) {
    std::vector<Parameter> parameters;
    std::size_t at = 0;
    while (at < header.size()) {
        const std::size_t equals = header.find_first_of("=;", at);
        if (equals == std::string_view::npos)
            break;
        if (header[equals] == ';') { // the disposition type, or a bare word
            at = equals + 1;
            continue;
        }
        Parameter parameter{asciiLower(trimmedView(header.substr(at, equals - at))), {}};
        std::size_t next = header.find_first_not_of(kBlanks, equals + 1);
        if (next != std::string_view::npos && header[next] == '"') {
            for (++next; next < header.size() && header[next] != '"'; ++next) {
                if (header[next] == '\\' && next + 1 < header.size())
                    ++next;
                parameter.value += header[next];
            }
            next = header.find(';', next);
        } else {
            const std::size_t end = header.find(';', equals + 1);
            parameter.value = trimmedView(header.substr(equals + 1, end - (equals + 1)));
            next = end;
        }
        parameters.push_back(std::move(parameter));
        at = next == std::string_view::npos ? header.size() : next + 1;
    }
    return parameters;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

bool endsWithIgnoringCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

} // namespace

bool declaresWebPage(std::string_view contentType) {
    const std::string_view type = trimmedView(contentType.substr(0, contentType.find(';')));
    return equalsIgnoringAsciiCase(type, "text/html") ||
           equalsIgnoringAsciiCase(type, "application/xhtml+xml");
}

bool isWebPageName(std::string_view fileName) {
    return endsWithIgnoringCase(fileName, ".htm") || endsWithIgnoringCase(fileName, ".html");
}

ReplyBody replyByType(const std::string* contentType, std::string_view fileName) {
    if (isWebPageName(fileName))
        return ReplyBody::File;
    if (!contentType || trimmedView(*contentType).empty())
        return ReplyBody::Undecided;
    return declaresWebPage(*contentType) ? ReplyBody::WebPage : ReplyBody::File;
}

namespace {

// The openings a browser's sniffing counts as HTML (WHATWG MIME Sniffing,
// "identifying a resource with an unknown MIME type"). Most count only
// when a space or ">" ends the tag; the first four as they begin.
struct PageOpening {
    std::string_view text;
    bool needsTagEnd;
};
constexpr std::array<PageOpening, 17> kPageOpenings = {{
    {"<!doctype html", false},
    {"<html", false},
    {"<head", false},
    {"<body", false},
    {"<script", true},
    {"<iframe", true},
    {"<h1", true},
    {"<div", true},
    {"<font", true},
    {"<table", true},
    {"<a", true},
    {"<style", true},
    {"<title", true},
    {"<b", true},
    {"<br", true},
    {"<p", true},
    {"<!--", true},
}};

bool isTagEnd(char c) {
    return c == ' ' || c == '>';
}

// How `start` (past blanks) stands to one opening.
ReplyBody byOpening(std::string_view start, const PageOpening& opening, bool looked) {
    const std::string_view text = opening.text;
    if (startsWithIgnoringCase(start, text)) {
        if (!opening.needsTagEnd || (start.size() > text.size() && isTagEnd(start[text.size()])))
            return ReplyBody::WebPage;
        return start.size() == text.size() && !looked ? ReplyBody::Undecided : ReplyBody::File;
    }
    if (!looked && start.size() < text.size() && startsWithIgnoringCase(text, start))
        return ReplyBody::Undecided; // the rest may still come
    return ReplyBody::File;
}

} // namespace

ReplyBody replyByStart(std::string_view start, bool bodyEnded) {
    const bool looked = bodyEnded || start.size() >= kBodyStartLimit;
    start = start.substr(0, kBodyStartLimit);
    if (start.starts_with("\xEF\xBB\xBF"))
        start.remove_prefix(3);
    for (;;) {
        const std::size_t first = start.find_first_not_of(kBlanks);
        if (first == std::string_view::npos)
            return looked ? ReplyBody::File : ReplyBody::Undecided;
        start.remove_prefix(first);
        // An XML declaration, or a comment that no blank or ">" follows,
        // comes before what the body is: looked past.
        const std::string_view end =
            startsWithIgnoringCase(start, "<?xml")                                 ? "?>"
            : start.starts_with("<!--") && start.size() > 4 && !isTagEnd(start[4]) ? "-->"
                                                                                   : "";
        if (end.empty())
            break;
        const std::size_t over = start.find(end, 2);
        if (over == std::string_view::npos)
            return looked ? ReplyBody::File : ReplyBody::Undecided;
        start.remove_prefix(over + end.size());
    }
    ReplyBody reply = ReplyBody::File;
    for (const PageOpening& opening : kPageOpenings) {
        const ReplyBody byThis = byOpening(start, opening, looked);
        if (byThis == ReplyBody::WebPage)
            return byThis;
        if (byThis == ReplyBody::Undecided)
            reply = byThis;
    }
    return reply;
}

AttemptResult pageForFileResult(const CompiledProfile* profile, std::string_view page,
                                std::string_view contentType) {
    if (profile && profile->isDead(page))
        return {OutcomeKind::DeadLink,
                {FailureKind::FileGone,
                 "the profile's dead pattern matches the page sent for the file"}};
    if (profile && profile->isPremiumOnly(page))
        return {OutcomeKind::DeadLink,
                {FailureKind::PremiumOnly,
                 "the profile's premium_only pattern matches the page sent for the file"}};
    if (profile && profile->isBusy(page))
        return {OutcomeKind::WaitPageUnreadable,
                {FailureKind::HostBusy,
                 "the profile's busy pattern matches the page sent for the file"}};
    const std::string declared = contentType.empty()
                                     ? std::string("no type declared, the body begins as HTML")
                                     : "Content-Type: " + std::string(contentType);
    return {
        OutcomeKind::TransferFailed,
        {FailureKind::WebPage, "the host sent a web page instead of the file (" + declared + ")"}};
}

std::optional<std::string> contentDispositionName(std::string_view header) {
    std::optional<std::string> plain, extended;
    for (const Parameter& parameter : parametersOf(header)) {
        if (parameter.name == "filename*" && !extended)
            extended = extendedValue(parameter.value);
        else if (parameter.name == "filename" && !plain)
            plain = parameter.value;
    }
    if (extended && !extended->empty())
        return extended;
    if (plain && !plain->empty())
        return plain;
    return std::nullopt;
}

std::string addressFileName(std::string_view address) {
    address = address.substr(0, address.find_first_of("?#"));
    const std::size_t scheme = address.find("://");
    const std::size_t path = address.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
    if (path == std::string_view::npos)
        return {};
    return *percentDecoded(address.substr(address.rfind('/') + 1), false);
}

std::string safeFileName(std::string_view name) {
    const std::size_t separator = name.find_last_of("/\\");
    if (separator != std::string_view::npos)
        name.remove_prefix(separator + 1);
    std::string visible;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F)
            visible += c;
    }
    std::string storable = storableName(visible);
    // Blanks and dots alone name nothing, as ".." does not.
    if (storable.find_first_not_of(" .") == std::string::npos)
        storable.clear();
    return storable;
}

std::string replyFileName(const std::string* contentDisposition, std::string_view address,
                          std::string_view pageName) {
    if (contentDisposition) {
        if (const auto given = contentDispositionName(*contentDisposition)) {
            std::string name = safeFileName(*given);
            if (!name.empty())
                return name;
        }
    }
    if (std::string name = safeFileName(pageName); !name.empty())
        return name;
    return safeFileName(addressFileName(address));
}

} // namespace vardelo
