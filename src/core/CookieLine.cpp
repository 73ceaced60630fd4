#include "core/CookieLine.h"

#include "core/AsciiCase.h"

#include <algorithm>

namespace vardelo {
namespace {

bool isCookieOctet(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F && c != '"' && c != ',' && c != ';' && c != '\\';
}

bool fitsLine(std::string_view part) {
    return std::none_of(part.begin(), part.end(),
                        [](char c) { return c == '\t' || c == '\n' || c == '\r' || c == '\0'; });
}

} // namespace

std::optional<std::string> cookieFileLine(const BrowserCookie& cookie) {
    const std::string path = cookie.path.empty() ? "/" : cookie.path;
    if (cookie.domain.empty() || cookie.name.empty() || !fitsLine(cookie.domain) ||
        !fitsLine(path) || !fitsLine(cookie.name) || !fitsLine(cookie.value))
        return std::nullopt;
    const bool subdomains = cookie.domain.front() == '.';
    return cookie.domain + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t' + path + '\t' +
           (cookie.secure ? "TRUE" : "FALSE") + '\t' +
           std::to_string(std::max<std::int64_t>(cookie.expires, 0)) + '\t' + cookie.name + '\t' +
           cookie.value;
}

namespace {

bool domainMatches(std::string_view domain, const std::string& host) {
    if (!domain.starts_with('.'))
        return asciiLower(domain) == host;
    const std::string suffix = asciiLower(domain);
    return host == suffix.substr(1) || host.ends_with(suffix);
}

bool pathMatches(std::string_view cookiePath, std::string_view path) {
    if (cookiePath.empty() || cookiePath == "/" || path == cookiePath)
        return true;
    return path.starts_with(cookiePath) &&
           (cookiePath.ends_with('/') || path[cookiePath.size()] == '/');
}

} // namespace

std::string cookieHeaderFor(const std::vector<BrowserCookie>& cookies, std::string_view host,
                            std::string_view path, bool https) {
    const std::string lowerHost = asciiLower(host);
    std::string header;
    for (const BrowserCookie& cookie : cookies) {
        if (!cookieFileLine(cookie) || !domainMatches(cookie.domain, lowerHost) ||
            !pathMatches(cookie.path, path) || (cookie.secure && !https))
            continue;
        header += (header.empty() ? "" : "; ") + cookie.name + '=' + cookie.value;
    }
    return header;
}

bool isCookieName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return isCookieOctet(c) && c != '=' && c != '(' && c != ')' && c != '<' && c != '>' &&
               c != '@' && c != ':' && c != '/' && c != '[' && c != ']' && c != '?' && c != '{' &&
               c != '}';
    });
}

bool isCookieValue(std::string_view value) {
    return std::all_of(value.begin(), value.end(), isCookieOctet);
}

} // namespace vardelo
