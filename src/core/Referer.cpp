#include "core/Referer.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <optional>

namespace vardelo {
namespace {

constexpr std::size_t kLongestReferer = 4096;

// An http or https address cut into what its origin and its Referer need.
struct WebAddress {
    std::string scheme;    // lower case
    std::string host;      // lower case, an IPv6 address with its brackets
    std::string port;      // as written; empty for the scheme's own
    std::string_view rest; // from the path on, without the fragment
};

std::optional<WebAddress> webAddress(std::string_view address) {
    const std::size_t colon = address.find("://");
    if (colon == std::string_view::npos)
        return std::nullopt;
    WebAddress web;
    web.scheme = asciiLower(address.substr(0, colon));
    if (web.scheme != "http" && web.scheme != "https")
        return std::nullopt;
    address.remove_prefix(colon + 3);
    address = address.substr(0, address.find('#'));
    const std::size_t authorityEnd = std::min(address.find_first_of("/?"), address.size());
    std::string_view authority = address.substr(0, authorityEnd);
    web.rest = address.substr(authorityEnd);
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    const std::size_t bracket = authority.rfind(']');
    const std::size_t portColon = authority.rfind(':');
    if (portColon != std::string_view::npos &&
        (bracket == std::string_view::npos || portColon > bracket)) {
        web.port = authority.substr(portColon + 1);
        authority = authority.substr(0, portColon);
    }
    if ((web.scheme == "http" && web.port == "80") || (web.scheme == "https" && web.port == "443"))
        web.port.clear();
    web.host = asciiLower(authority);
    if (web.host.empty())
        return std::nullopt;
    return web;
}

std::string originOf(const WebAddress& web) {
    return web.scheme + "://" + web.host + (web.port.empty() ? "" : ":" + web.port);
}

} // namespace

std::string refererFor(std::string_view page, std::string_view target) {
    const std::optional<WebAddress> from = webAddress(page);
    if (!from)
        return {};
    const std::optional<WebAddress> to = webAddress(target);
    const std::string origin = originOf(*from);
    if (to && originOf(*to) == origin) {
        const std::string whole =
            origin + (from->rest.starts_with('/') ? "" : "/") + std::string(from->rest);
        return whole.size() > kLongestReferer ? origin + "/" : whole;
    }
    if (from->scheme == "https" && (!to || to->scheme != "https"))
        return {};
    return origin + "/";
}

std::string originFor(std::string_view page) {
    const std::optional<WebAddress> from = webAddress(page);
    return from ? originOf(*from) : std::string();
}

} // namespace vardelo
