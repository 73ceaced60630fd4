#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/FormPost.h"
#include "platform/HttpSession.h"

namespace vardelo {

// Response header lines of the current response, looked up ignoring case.
class HttpHeaders {
  public:
    void clear() { lines_.clear(); }
    void add(const std::string& name, const std::string& value);
    const std::string* find(const std::string& name) const;

  private:
    std::map<std::string, std::string> lines_; // by lower-case name
};

struct HttpBody {
    // Request lines sent with this GET besides the designed ones, such as
    // "Range: bytes=N-".
    std::vector<std::string> requestHeaders;
    // The browser's session, for a file a host profile's pages led to;
    // none: the designed request.
    const HttpSession* session = nullptr;
    // In the browser's session, the form the page would have sent: it goes
    // by POST with its own body and type, and the page's Origin; none: a GET.
    const FormPost* post = nullptr;
    // Once, before the first byte of the body is written (for an empty body:
    // before `begin`), with the answer's status and headers; false refuses
    // the body: nothing is written and the request fails.
    std::function<bool(int status, const HttpHeaders& headers)> accept;
    // Once, when the body begins (for an empty body: when it ends); the size
    // the server announces, 0 when it announces none.
    std::function<void(std::int64_t expected, const HttpHeaders& headers)> begin;
    // Each piece of the body, in order; false stops the transfer (a write error).
    std::function<bool(const char* data, std::size_t size)> write;
    // After each piece, with the bytes received so far.
    std::function<void(std::int64_t received)> progress;
    // Set by the client before it calls `accept`: the address the answer
    // came from, after redirects.
    std::string answeredFrom;
    // The body of a 4xx or 5xx reply is taken too (a host's page that says
    // why); the request fails all the same.
    bool takesErrorPage = false;
};

struct HttpResult {
    enum class Status { Ok, Aborted, Failed };
    Status status = Status::Failed;
    std::string error; // why it failed
    std::int64_t received = 0;
    int httpStatus = 0;             // of the last answer, 0 when none came
    bool refusedAddress = false;    // the address, or a redirect's, is not one it may fetch
    bool refusedConnection = false; // the server's machine turned the connection away
    HttpHeaders headers;            // of the last answer
    bool headersWhole = false;      // the last answer's header lines came to their end
    std::string answeredFrom;       // the address of the last answer, after redirects
    // The header lines of each request as libcurl sent them ("GET /f
    // HTTP/1.1\r\nHost: ...\r\n\r\n"), in order: a redirect adds one.
    std::vector<std::string> sentHeaders;
};

// The transfer's HTTP client over libcurl. One object serves the whole run:
// its cookie store, its open connections and its authorisation switch are
// shared by all requests, which may run on any thread, each on a connection
// of its own while it runs.
//
// Every request sends User-Agent "Mozilla/3.0 (compatible; Indy Library)",
// Accept "text/html, */*" and Content-Type "text/html", no Content-Length,
// over HTTP/1.1 without a proxy. Only http and https are allowed, for the
// request and for redirects, which are followed up to 15 in a row. From the
// first body of the run on, requests carry Basic authorisation of an empty
// user and password, also to the host of a redirect. A request that takes
// the stall time to connect, or receives less than 1 KiB/s over the stall
// time (the time the speed limit holds it back not counted), has failed;
// any final reply other than 2xx is a failure. A body in gzip or deflate
// coding is stored decoded; one in another coding, or whose coded stream
// is cut short, fails. A request in the browser's session sends the
// browser's user agent, its cookies instead of the run's and the page it
// came from as Referer, cut as the browser cuts it (see refererFor), and
// neither the designed Content-Type nor the authorisation; a form it posts
// goes with the form's type, and a redirect other than 307 and 308 turns it
// into a GET without its body, as a browser's does.
class HttpClient {
  public:
    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    HttpResult get(const std::string& url, HttpBody& body, const std::atomic<bool>& abort);
    HttpResult head(const std::string& url, const std::atomic<bool>& abort,
                    const HttpSession* session = nullptr);

    void setStallSeconds(int seconds) { stallSeconds_ = seconds; }
    int stallSeconds() const { return stallSeconds_.load(); }
    // Bytes a second the bodies running at once may arrive at together, 0
    // for no limit. A running transfer takes a change at its next piece.
    void setReceiveLimit(std::int64_t bytesPerSecond) { receiveLimit_ = bytesPerSecond; }
    std::int64_t receiveLimit() const { return receiveLimit_.load(); }

  private:
    struct Shared;
    HttpResult perform(const std::string& url, const HttpSession* session, HttpBody* body,
                       const std::atomic<bool>& abort);

    std::unique_ptr<Shared> shared_;
    std::atomic<bool> authorisationOn_{false};
    std::atomic<int> stallSeconds_{120};
    std::atomic<std::int64_t> receiveLimit_{0};
};

} // namespace vardelo
