#include "core/ClipboardLinks.h"

#include "core/HostProfile.h"
#include "core/ListText.h"

namespace vardelo {

namespace {

using LinkTest = bool (*)(std::string_view line, const void* context);

// A line a host profile claims is taken whole: its host's pages may well end
// in ".html", and the designed cut would make another link of it.
std::vector<std::string> linksOn(std::string_view text, LinkTest isLink, const void* context,
                                 const HostProfiles* profiles = nullptr) {
    std::vector<std::string> links;
    std::string_view rest = text;
    while (!rest.empty()) {
        // CR LF, LF and a lone CR each end a line, as a list file's lines do.
        const std::size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
        std::string_view line = trimControls(rest.substr(0, end));
        const bool claimed = !line.empty() && profiles && profiles->claims(line);
        if (const std::size_t htm = line.find(".htm"); htm != std::string_view::npos && !claimed)
            line = line.substr(0, htm);
        if (!line.empty() && (claimed || isLink(line, context)))
            links.emplace_back(line);
        const bool crLf = end + 1 < rest.size() && rest[end] == '\r' && rest[end + 1] == '\n';
        rest.remove_prefix(std::min(rest.size(), end + (crLf ? 2 : 1)));
    }
    return links;
}

struct ProfileTest {
    std::string_view prefix;
    const HostProfiles* profiles;
};

bool holdsPrefix(std::string_view line, const void* context) {
    return line.find(*static_cast<const std::string_view*>(context)) != std::string_view::npos;
}

bool prefixOrProfile(std::string_view line, const void* context) {
    const auto& test = *static_cast<const ProfileTest*>(context);
    return holdsPrefix(line, &test.prefix) || (test.profiles && test.profiles->claims(line));
}

} // namespace

std::vector<std::string> linksInClipboardText(std::string_view text, std::string_view prefix) {
    if (text.find(prefix) == std::string_view::npos)
        return {};
    return linksOn(text, holdsPrefix, &prefix);
}

std::vector<std::string> linksInArgument(std::string_view argument, std::string_view prefix) {
    if (!argument.starts_with(prefix))
        return {};
    return linksInClipboardText(argument, prefix);
}

std::vector<std::string> linksInClipboardText(std::string_view text, const HostProfiles* profiles) {
    const ProfileTest test{kLinkPrefix, profiles};
    return linksOn(text, prefixOrProfile, &test, profiles);
}

std::vector<std::string> linksInArgument(std::string_view argument, const HostProfiles* profiles) {
    if (argument.starts_with(kLinkPrefix))
        return linksInArgument(argument);
    // A web address that a profile claims; never a file name that happens to match.
    if (!isHttpAddress(argument) || !profiles || !profiles->claims(argument))
        return {};
    return linksInClipboardText(argument, profiles);
}

std::string balloonTitle(std::size_t count) {
    return count == 1 ? "Letöltés hozzáadva" : "Letöltési linkek hozzáadva";
}

std::string alreadyQueuedTitle(std::size_t count) {
    return count == 1 ? "A link már a listában van" : "A linkek már a listában vannak";
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
