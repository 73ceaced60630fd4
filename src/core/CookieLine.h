#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// A cookie as the embedded browser holds it. A domain that begins with a dot
// also covers the domain's subdomains; one without is the host's alone.
struct BrowserCookie {
    std::string domain;
    std::string path;
    bool secure = false;
    std::int64_t expires = 0; // seconds since the epoch; 0: for the session
    std::string name;
    std::string value;
};

// The cookie as one line of a Netscape cookie file, the form libcurl takes
// into its cookie engine, which then sends it only where the browser would.
// Nothing for a cookie whose parts would break the line.
std::optional<std::string> cookieFileLine(const BrowserCookie& cookie);

// What a host profile may preset: a name of token characters, and a value of
// printable ASCII without blanks, quotes, commas, semicolons or backslashes.
bool isCookieName(std::string_view name);
bool isCookieValue(std::string_view value);

} // namespace vardelo
