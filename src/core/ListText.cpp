#include "core/ListText.h"

#include "core/Cp1250.h"
#include "core/Utf8.h"

namespace vardelo {

std::string_view trimControls(std::string_view text) {
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isControl(text.back()))
        text.remove_suffix(1);
    return text;
}

namespace {

// The length of the control character that starts at `at`, 0 for none.
std::size_t controlAt(std::string_view text, std::size_t at) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c < 0x20 || c == 0x7f)
        return 1;
    const bool c1 = c == 0xc2 && at + 1 < text.size() &&
                    static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[at + 1]) <= 0x9f;
    return c1 ? 2 : 0;
}

} // namespace

bool hasControlCharacters(std::string_view text) {
    for (std::size_t at = 0; at < text.size(); ++at)
        if (controlAt(text, at) > 0)
            return true;
    return false;
}

std::string controlsReplaced(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t control = controlAt(text, at);
        if (control > 0) {
            shown += '?';
            at += control;
        } else {
            shown += text[at++];
        }
    }
    return shown;
}

std::vector<std::string> splitListLines(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    // A file that begins with UTF-8's byte-order mark was written in UTF-8.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    const bool utf8 = bytes.starts_with(kByteOrderMark);
    if (utf8)
        bytes.remove_prefix(kByteOrderMark.size());
    const auto text = [utf8](std::string_view line) {
        return utf8 && isStrictUtf8(line) ? std::string(line) : cp1250ToUtf8(line);
    };
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.push_back(text(bytes.substr(start, i - start)));
        i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < bytes.size())
        lines.push_back(text(bytes.substr(start)));
    return lines;
}

std::vector<std::string> linesToImport(const std::vector<std::string>& lines) {
    std::vector<std::string> links;
    for (const auto& line : lines) {
        if (!trimControls(line).empty())
            links.push_back(line);
    }
    return links;
}

ListEntry splitListEntry(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
        return {std::string(line), {}};
    return {std::string(line.substr(0, tab)), std::string(line.substr(tab + 1))};
}

std::string joinListLines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += utf8ToCp1250(line);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace vardelo
