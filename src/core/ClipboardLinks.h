#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

class HostProfiles;

// The file host's link prefix, and the host address the settings page shows.
inline constexpr std::string_view kLinkPrefix = "http://rapidshare.com/";
inline constexpr std::string_view kHostAddress = "http://rapidshare.com";

// The links in a clipboard text, in order. The text is cut into lines at
// CR LF, LF or a lone CR (a list copied on Linux ends its lines with LF);
// each line loses the characters of code 32 or below at both ends and
// everything from its first ".htm"; a non-empty line holding the prefix
// anywhere (case-sensitive) is a link, whatever else it holds.
std::vector<std::string> linksInClipboardText(std::string_view text,
                                              std::string_view prefix = kLinkPrefix);

// The links a command-line argument brings: none unless the argument starts
// with the prefix; then those the clipboard's rule finds in it.
std::vector<std::string> linksInArgument(std::string_view argument,
                                         std::string_view prefix = kLinkPrefix);

// The same rules, where a line is also a link when a host profile claims it,
// and is then taken whole, never cut at ".htm"; an argument that is a web
// address a profile claims counts as one with the prefix.
std::vector<std::string> linksInClipboardText(std::string_view text, const HostProfiles* profiles);
std::vector<std::string> linksInArgument(std::string_view argument, const HostProfiles* profiles);

// The balloon that announces added links: its title for the count, and its
// body, each link followed by a carriage return.
std::string balloonTitle(std::size_t count);
std::string balloonBody(const std::vector<std::string>& links);
// The balloon for links a host profile knows to be queued already: its title
// when none was added, and the line that leads them in after the added ones.
std::string alreadyQueuedTitle(std::size_t count);
inline constexpr std::string_view kAlreadyQueuedLead = "Már a listában volt:\r";

} // namespace vardelo
