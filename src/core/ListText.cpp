#include "core/ListText.h"

#include "core/Cp1250.h"

namespace vardelo {

std::string_view trimControls(std::string_view text) {
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isControl(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isControl(text.back()))
        text.remove_suffix(1);
    return text;
}

std::vector<std::string> splitListLines(std::string_view bytes) {
    bytes = bytes.substr(0, bytes.find('\0'));
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const char c = bytes[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        lines.push_back(cp1250ToUtf8(bytes.substr(start, i - start)));
        i += (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    if (start < bytes.size())
        lines.push_back(cp1250ToUtf8(bytes.substr(start)));
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

std::string joinListLines(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) {
        bytes += utf8ToCp1250(line);
        bytes += "\r\n";
    }
    return bytes;
}

} // namespace vardelo
