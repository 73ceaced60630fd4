#pragma once

#include "core/LinkCheck.h"
#include "platform/HttpSession.h"

#include <atomic>
#include <string>

namespace vardelo {

class HttpClient;

// The link check's requests, made on a worker thread; `aborted` tells a
// request the check ended.

// A link's headers: a HEAD, or, where the server refuses HEAD, a GET whose
// body is refused at its first byte.
HeaderAnswer askHeaders(HttpClient& http, const std::string& link, const std::atomic<bool>& abort,
                        bool* aborted);

// A first page as the server sends it, scripts not run.
struct FetchedPage {
    bool answered = false;       // a 2xx page came
    bool refusedAddress = false; // not an address the program may fetch
    bool gone = false;           // 404, 410 or a refused connection
    bool silent = false;         // the server took the request and never answered
    // UTF-8, cut at a size no file host's page has: the 2xx page, else as
    // much as came of a page (an error answer's), whose markers still count.
    std::string markup;
};
FetchedPage fetchPage(HttpClient& http, const std::string& link, const HttpSession& session,
                      const std::atomic<bool>& abort, bool* aborted);

} // namespace vardelo
