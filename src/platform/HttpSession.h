#pragma once

#include "core/CookieLine.h"

#include <string>
#include <vector>

namespace vardelo {

// The browser's session as a request for a file carries it, so that the host
// takes the request for the page's own: the cookies the browser holds (each
// sent only where the browser would send it), the browser's user agent, and
// the page that led to the file.
struct HttpSession {
    std::vector<BrowserCookie> cookies;
    std::string userAgent;
    std::string referer; // the page's address; sent as the browser would send it
};

} // namespace vardelo
