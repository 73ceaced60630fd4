#include "core/CookieLine.h"

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
