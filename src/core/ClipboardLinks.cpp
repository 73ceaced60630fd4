#include "core/ClipboardLinks.h"

#include "core/ListText.h"

namespace vardelo {

std::vector<std::string> linksInClipboardText(std::string_view text, std::string_view prefix) {
    std::vector<std::string> links;
    if (text.find(prefix) == std::string_view::npos)
        return links;
    std::string_view rest = text;
    while (!rest.empty()) {
        const std::size_t cr = rest.find('\r');
        // The line runs up to and including its carriage return.
        const std::size_t length = cr == std::string_view::npos ? rest.size() : cr + 1;
        std::string_view line = trimControls(rest.substr(0, length));
        if (const std::size_t htm = line.find(".htm"); htm != std::string_view::npos)
            line = line.substr(0, htm);
        if (!line.empty() && line.find(prefix) != std::string_view::npos)
            links.emplace_back(line);
        rest.remove_prefix(std::min(rest.size(), length + 1));
    }
    return links;
}

std::vector<std::string> linksInArgument(std::string_view argument, std::string_view prefix) {
    if (!argument.starts_with(prefix))
        return {};
    return linksInClipboardText(argument, prefix);
}

std::string balloonTitle(std::size_t count) {
    return count == 1 ? "Letöltés hozzáadva" : "Letöltési linkek hozzáadva";
}

std::string balloonBody(const std::vector<std::string>& links) {
    std::string body;
    for (const auto& link : links) {
        body += link;
        body += '\r';
    }
    return body;
}

} // namespace vardelo
