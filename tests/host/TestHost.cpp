#include "TestHost.h"

#include "core/AsciiCase.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <regex>

namespace vardelo {
namespace {

std::string page(const std::string& body) {
    return "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>RapidShare</title></head>"
           "<body>" +
           body + "</body></html>";
}

std::string urlEncode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/' ||
            c == '%') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// Sends a body of unannounced length in pieces, then ends it.
httplib::ContentProviderWithoutLength piecesOf(std::shared_ptr<std::string> body) {
    return [body](std::size_t offset, httplib::DataSink& sink) {
        if (offset >= body->size()) {
            sink.done();
            return true;
        }
        const std::size_t n = std::min<std::size_t>(16 * 1024, body->size() - offset);
        return sink.write(body->data() + offset, n);
    };
}

} // namespace

TestHost::TestHost(int port) : server_(std::make_unique<httplib::Server>()) {
    route();
    port_ = port == 0 ? server_->bind_to_any_port("127.0.0.1") : port;
    if (port != 0 && !server_->bind_to_port("127.0.0.1", port))
        port_ = -1;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

TestHost::~TestHost() {
    server_->stop();
    thread_.join();
}

std::string TestHost::base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void TestHost::setWaitSeconds(int seconds) {
    std::lock_guard lock(mutex_);
    waitSeconds_ = seconds;
}

void TestHost::addFile(const std::string& name, HostedFile file) {
    std::lock_guard lock(mutex_);
    files_[name] = std::move(file);
}

std::string TestHost::fileAddress(const std::string& filePath) const {
    if (filePath.rfind("raw:", 0) == 0)
        return filePath.substr(4);
    return base() + "/files/" + filePath;
}

std::string TestHost::linkFor(const std::string& filePath) const {
    return base() + "/link/" + urlEncode(filePath);
}

std::string TestHost::alertLinkFor(const std::string& name) const {
    return base() + "/alert/" + urlEncode(name);
}

std::string TestHost::deadLinkFor(const std::string& name) const {
    return base() + "/dead/" + name;
}

std::string TestHost::busyLinkFor(const std::string& name) const {
    return base() + "/busy/" + name;
}

std::vector<RecordedRequest> TestHost::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

int TestHost::getsOf(const std::string& pathPattern) const {
    const std::regex pattern(pathPattern);
    int gets = 0;
    for (const auto& request : requests())
        gets += request.method == "GET" && std::regex_match(request.path, pattern);
    return gets;
}

std::vector<RecordedRequest> TestHost::fileRequests() const {
    std::vector<RecordedRequest> files;
    for (const auto& request : requests()) {
        if (request.path.rfind("/files/", 0) == 0)
            files.push_back(request);
    }
    return files;
}

void TestHost::route() {
    // One request a connection: browsers keep idle connections open, and each
    // would hold one of the server's threads.
    server_->set_keep_alive_max_count(1);
    server_->set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
        RecordedRequest recorded{request.method, request.target, {}};
        for (const auto& [name, value] : request.headers)
            recorded.headers[asciiLower(name)] = value;
        std::lock_guard lock(mutex_);
        requests_.push_back(std::move(recorded));
        return httplib::Server::HandlerResponse::Unhandled;
    });

    server_->Get(R"(/link/(.*))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[1];
        response.set_content(page("<h1>" + name +
                                  "</h1><p>Válaszd a letöltés módját:</p>"
                                  "<form id=\"ff\" action=\"/wait/" +
                                  urlEncode(name) +
                                  "\" method=\"post\">"
                                  "<input type=\"hidden\" name=\"dl.start\" value=\"Free\">"
                                  "<input type=\"submit\" value=\"Free user\"></form>"),
                             "text/html; charset=utf-8");
    });
    server_->Get(
        R"(/alert/(.*))", [](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            response.set_content(page("<script>alert('Reklám!'); confirm('Biztos?');</script>"
                                      "<form id=\"ff\" action=\"/wait/" +
                                      urlEncode(name) +
                                      "\" method=\"post\">"
                                      "<input type=\"submit\" value=\"Free user\"></form>"),
                                 "text/html; charset=utf-8");
        });
    server_->Get(R"(/dead/(.*))", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(page("<h1>Error</h1><p>This file has been deleted.</p>"),
                             "text/html; charset=utf-8");
    });
    server_->Get(R"(/busy/(.*))", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(page("<form id=\"ff\" action=\"/busywait\" method=\"post\">"
                                  "<input type=\"submit\" value=\"Free user\"></form>"),
                             "text/html; charset=utf-8");
    });
    server_->Post("/busywait", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(page("<p>You are already downloading a file. Please wait until "
                                  "the download is completed.</p>"),
                             "text/html; charset=utf-8");
    });
    server_->Post(
        R"(/wait/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string filePath = request.matches[1];
            int wait = 0;
            {
                std::lock_guard lock(mutex_);
                wait = waitSeconds_;
            }
            response.set_content(
                page("<h2>Kérlek várj!</h2><form name=\"dlf\" action=\"" + fileAddress(filePath) +
                     "\" method=\"post\"><input type=\"submit\" value=\"Download\"></form>"
                     "<script>var c=" +
                     std::to_string(wait) + ";</script>"),
                "text/html; charset=utf-8");
        });
    const auto files = [this](const httplib::Request& request, httplib::Response& response) {
        serveFile(request.matches[1], &request, &response);
    };
    server_->Get(R"(/files/([^?]*))", files);
    // A server that refuses HEAD, as some file servers do.
    server_->Get(R"(/nohead/([^?]*))",
                 [files](const httplib::Request& request, httplib::Response& response) {
                     if (request.method == "HEAD")
                         response.status = 405;
                     else
                         files(request, response);
                 });
    routeHostile();
    routeOtherHosts();
    routeSessionHost();
    routeXfsHost();
    routeCaptchaHosts();
    routeChecksumHost();
    routeScriptedHosts();
    routeFolders();
    routeFormHosts();
}

void TestHost::serveFile(const std::string& name, const void* requestPtr, void* responsePtr) {
    const auto& request = *static_cast<const httplib::Request*>(requestPtr);
    auto& response = *static_cast<httplib::Response*>(responsePtr);
    HostedFile file;
    int session = 0;
    bool firstGet = false;
    {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(name);
        if (it == files_.end()) {
            response.status = 404;
            return;
        }
        file = it->second;
        session = ++sessions_;
        firstGet = request.method == "GET" && ++gets_[name] == 1;
    }
    response.set_header("Set-Cookie", "session=" + std::to_string(session) + "; Path=/");
    const bool head = request.method == "HEAD";
    if (!file.referer.empty() && request.get_header_value("Referer") != file.referer) {
        // The whole page, whatever range was asked for.
        const_cast<httplib::Request&>(request).ranges.clear();
        response.set_content(page("<h1>Hotlink protected</h1><p>Direct linking is not allowed. "
                                  "Please use the download page.</p>"),
                             "text/html; charset=utf-8");
        return;
    }
    if (file.signedAddress &&
        (request.has_header("Authorization") || request.has_header("Content-Type"))) {
        response.status = 400;
        response.set_content("<Error><Code>InvalidArgument</Code><Message>Only one auth "
                             "mechanism allowed</Message></Error>",
                             "application/xml");
        return;
    }
    if (!file.disposition.empty())
        response.set_header("Content-Disposition", file.disposition);
    auto body = std::make_shared<std::string>(std::move(file.body));
    using Mode = HostedFile::Mode;
    switch (file.mode) {
    case Mode::Status:
        response.status = file.status;
        response.set_content("error page", "text/html");
        return;
    case Mode::Redirect:
        response.set_redirect(base() + file.redirectTo, 302);
        return;
    case Mode::Length:
        response.set_content(*body, file.contentType);
        return;
    case Mode::Chunked:
        response.set_chunked_content_provider("application/octet-stream", piecesOf(body));
        return;
    case Mode::NoLength:
        response.set_content_provider("application/octet-stream", piecesOf(body));
        return;
    case Mode::Ranged:
    case Mode::RangeRefused:
    case Mode::RangeWrongStart:
    case Mode::RangeWrongTotal:
    case Mode::RangeUnsatisfiable:
    case Mode::RangeNewVersion:
    case Mode::RangeChunkedShort:
        serveRanged(file, body, firstGet, &request, &response);
        return;
    case Mode::Truncated:
    case Mode::Slow: {
        const std::size_t limit = file.mode == Mode::Truncated ? file.sendBytes : body->size();
        const std::size_t piece = file.pieceBytes;
        const int delay = file.pieceDelayMs;
        if (head) {
            response.set_header("Content-Length", std::to_string(body->size()));
            return;
        }
        response.set_content_provider(
            body->size(), "application/octet-stream",
            [body, limit, piece, delay](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                if (offset >= limit)
                    return false; // closes the connection: the body ends early
                if (delay > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(delay));
                const std::size_t n = std::min(piece, limit - offset);
                return sink.write(body->data() + offset, n);
            });
        return;
    }
    }
}

// --- Hostile pages and replies -------------------------------------------

namespace {

std::uint32_t crc32Of(const std::string& data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendLittleEndian(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A gzip stream of stored deflate blocks: valid gzip without a compressor.
std::string gzipStored(const std::string& body) {
    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10);
    std::size_t offset = 0;
    do {
        const std::size_t n = std::min<std::size_t>(0xFFFF, body.size() - offset);
        const bool last = offset + n == body.size();
        out += static_cast<char>(last ? 1 : 0);
        appendLittleEndian(out, static_cast<std::uint32_t>(n), 2);
        appendLittleEndian(out, static_cast<std::uint32_t>(~n & 0xFFFF), 2);
        out.append(body, offset, n);
        offset += n;
    } while (offset < body.size());
    appendLittleEndian(out, crc32Of(body), 4);
    appendLittleEndian(out, static_cast<std::uint32_t>(body.size()), 4);
    return out;
}

} // namespace

std::string TestHost::hangLinkFor(const std::string& name) const {
    return base() + "/hang/" + urlEncode(name);
}

std::string TestHost::gzipFileAddress(const std::string& name) const {
    return base() + "/gzip/" + name;
}

std::string TestHost::cutGzipFileAddress(const std::string& name) const {
    return base() + "/gzip-cut/" + name;
}

std::string TestHost::unknownCodingFileAddress(const std::string& name) const {
    return base() + "/coded/" + name;
}

std::string TestHost::redirectAddress(const std::string& address) const {
    return base() + "/away?to=" + address;
}

void TestHost::routeHostile() {
    server_->Get(R"(/hang/(.*))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string name = request.matches[1];
        response.set_content(page("<script>for (;;) {}</script>"
                                  "<form id=\"ff\" action=\"/wait/" +
                                  urlEncode(name) +
                                  "\" method=\"post\">"
                                  "<input type=\"submit\" value=\"Free user\"></form>"),
                             "text/html; charset=utf-8");
    });
    const auto coded = [this](const char* coding, bool cutShort = false) {
        return
            [this, coding, cutShort](const httplib::Request& request, httplib::Response& response) {
                std::string body;
                {
                    std::lock_guard lock(mutex_);
                    const auto it = files_.find(request.matches[1]);
                    if (it == files_.end()) {
                        response.status = 404;
                        return;
                    }
                    body = it->second.body;
                }
                response.set_header("Content-Encoding", coding);
                if (!cutShort) {
                    response.set_content(gzipStored(body), "application/octet-stream");
                    return;
                }
                // Half the stream, and no length: the end of the connection
                // is all that ends the body.
                auto stream = std::make_shared<std::string>(gzipStored(body));
                stream->resize(stream->size() / 2);
                response.set_content_provider("application/octet-stream", piecesOf(stream));
            };
    };
    server_->Get(R"(/gzip/(.*))", coded("gzip"));
    server_->Get(R"(/gzip-cut/(.*))", coded("gzip", true));
    server_->Get(R"(/coded/(.*))", coded("x-squeeze"));
    server_->Get("/away", [](const httplib::Request& request, httplib::Response& response) {
        response.set_redirect(request.get_param_value("to"), 302);
    });
}

// --- other hosts' page shapes ----------------------------------------------

namespace {

std::string htmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

void sendPage(httplib::Response& response, const std::string& body) {
    response.set_content(page(body), "text/html; charset=utf-8");
}

} // namespace

int TestHost::waitSeconds() const {
    std::lock_guard lock(mutex_);
    return waitSeconds_;
}

std::string TestHost::actionFormLinkFor(const std::string& name) const {
    return base() + "/b/" + urlEncode(name);
}

std::string TestHost::countdownLinkFor(const std::string& name) const {
    return base() + "/c/" + urlEncode(name);
}

std::string TestHost::deadFormLinkFor(const std::string& name) const {
    return base() + "/b/gone/" + urlEncode(name);
}

std::string TestHost::offlineLinkFor(const std::string& name) const {
    return base() + "/b/offline/" + urlEncode(name);
}

std::string TestHost::redirectFormLinkFor(const std::string& name) const {
    return base() + "/r/" + urlEncode(name);
}

void TestHost::routeOtherHosts() {
    server_->Get(R"(/b/([^/]*))", [](const httplib::Request& request, httplib::Response& response) {
        sendPage(response, "<form method=\"post\" action=\"/b/go/" + urlEncode(request.matches[1]) +
                               "\"><input type=\"submit\" value=\"Slow download\"></form>");
    });
    server_->Post(
        R"(/b/go/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            const std::string address = name.rfind("javascript", 0) == 0
                                            ? "javascript:void(0)"
                                            : "../../files/" + htmlEscaped(name);
            sendPage(response, "<p>Wait <span id=\"secs\"> " + std::to_string(waitSeconds()) +
                                   " </span> seconds.</p><a class=\"dl\" href=\"" + address +
                                   "\">Download</a>");
        });
    server_->Get(R"(/b/gone/(.*))", [](const httplib::Request&, httplib::Response& response) {
        sendPage(response, "<p>File not found.</p><form method=\"post\" action=\"/b/go/x\">"
                           "<input type=\"submit\"></form>");
    });
    server_->Get(R"(/b/offline/(.*))", [](const httplib::Request&, httplib::Response& response) {
        sendPage(response, "<p>File not found.</p>");
        response.status = 404;
    });
    // The countdown page of `name`; its link, once shown, goes to `address`
    // (empty: the file's own under /files/).
    const auto countdown = [this](httplib::Response& response, const std::string& name,
                                  const std::string& address) {
        // A busy page that would otherwise read as a countdown.
        const std::string busy =
            name == "busy.bin" ? "<p>All free slots are busy. Come back later.</p>" : "";
        sendPage(response,
                 busy + "<p>Your link is ready in <b id=\"c\">" + std::to_string(waitSeconds()) +
                     "</b> s</p><div id=\"link\"></div><script>"
                     "var n = " +
                     std::to_string(waitSeconds()) +
                     ";"
                     "function show(address) { document.getElementById('link')"
                     ".innerHTML = '<a id=\"go\" href=\"' + address +"
                     " '\">Download</a>'; }" +
                     // A "late" file's address is asked for by XHR a while
                     // after the countdown, as many hosts do.
                     (name.rfind("late", 0) == 0
                          ? "function ready() { setTimeout(function () {"
                            " var r = new XMLHttpRequest();"
                            " r.onload = function () { show(r.responseText); };"
                            " r.open('GET', '/c/address/" +
                                urlEncode(name) + "'); r.send(); }, 1500); }"
                          : "function ready() { show('" +
                                (address.empty() ? "/files/" + urlEncode(name) : address) +
                                "'); }") +
                     // A "tick" page counts in a chain of one-second timeouts, as
                     // many hosts' scripts do, and tells how long its ticks took.
                     (name.rfind("tick", 0) == 0
                          ? "var started = Date.now(); function tick() {"
                            " n--; document.getElementById('c').textContent = n;"
                            " if (n > 0) { setTimeout(tick, 1000); return; }"
                            " var r = new XMLHttpRequest(); r.open('GET', '/c/ticked/" +
                                urlEncode(name) +
                                "?ms=' + (Date.now() - started)); r.send(); ready(); }"
                                " setTimeout(tick, 1000);</script>"
                          : "if (n <= 0) ready(); else var t = setInterval(function () {"
                            " n--; document.getElementById('c').textContent = n;"
                            " if (n <= 0) { clearInterval(t); ready(); } }, 1000);</script>"));
    };
    server_->Get(R"(/c/([^/]*))",
                 [countdown](const httplib::Request& request, httplib::Response& response) {
                     countdown(response, request.matches[1], {});
                 });
    server_->Get(R"(/c/raw:(.*))",
                 [countdown](const httplib::Request& request, httplib::Response& response) {
                     countdown(response, "f.bin", request.matches[1]);
                 });
    server_->Get(R"(/c/address/(.*))",
                 [](const httplib::Request& request, httplib::Response& response) {
                     response.set_content("/files/" + urlEncode(request.matches[1]), "text/plain");
                 });
    server_->Get(R"(/r/(.*))", [](const httplib::Request& request, httplib::Response& response) {
        sendPage(response, "<form method=\"post\" action=\"/r/wait/" +
                               urlEncode(request.matches[1]) +
                               "\"><button id=\"free\" type=\"submit\">Free</button></form>");
    });
    server_->Post(
        R"(/r/wait/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
            sendPage(response, "<script>var seconds = " + std::to_string(waitSeconds()) +
                                   ";</script><form id=\"dl\" method=\"post\" action=\"/r/fetch/" +
                                   urlEncode(request.matches[1]) +
                                   "\"><input type=\"hidden\" name=\"t\" value=\"1\"></form>");
        });
    server_->Post(R"(/r/fetch/(.*))", [this](const httplib::Request& request,
                                             httplib::Response& response) {
        const std::string name = request.matches[1];
        const bool elsewhere = name.rfind("raw:", 0) == 0;
        bool hosted = elsewhere;
        {
            std::lock_guard lock(mutex_);
            hosted = hosted || files_.count(name) > 0;
        }
        if (!hosted) {
            sendPage(response, "<p>Please try again later.</p>");
            return;
        }
        const std::string to = elsewhere ? fileAddress(name) : base() + "/files/" + urlEncode(name);
        response.set_redirect(to, 302);
        // With a page of its own, as servers send one with a redirect.
        sendPage(response, "<p>The file is <a href=\"" + htmlEscaped(to) + "\">here</a>.</p>");
    });
}

// --- a host that binds its files to the session ------------------------------

std::string TestHost::sessionLinkFor(const std::string& name) const {
    return base() + "/k/" + urlEncode(name);
}

void TestHost::routeSessionHost() {
    const std::string session = "xfss=k7Tq2";
    server_->Get(
        R"(/k/([^/]*))", [session](const httplib::Request& request, httplib::Response& response) {
            if (request.get_header_value("Cookie").find("lang=en") == std::string::npos) {
                sendPage(response, "<p>Bitte w&auml;hlen Sie Ihre Sprache.</p>");
                return;
            }
            response.set_header("Set-Cookie", session + "; Path=/; HttpOnly");
            // Sent before the others, its path being the longest.
            response.set_header("Set-Cookie", "dl=1; Path=/k/file");
            sendPage(response, "<form method=\"post\" action=\"/k/wait/" +
                                   urlEncode(request.matches[1]) +
                                   "\"><button id=\"free\" type=\"submit\">Free</button></form>");
        });
    server_->Post(R"(/k/wait/(.*))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      sendPage(response, "<script>var seconds = " + std::to_string(waitSeconds()) +
                                             ";</script><a id=\"go\" href=\"/k/file/" +
                                             urlEncode(request.matches[1]) + "\">Download</a>");
                  });
    server_->Get(R"(/k/file/(.*))",
                 [this, session](const httplib::Request& request, httplib::Response& response) {
                     if (request.get_header_value("Cookie").find(session) == std::string::npos) {
                         response.status = 403;
                         response.set_content("Forbidden", "text/plain");
                         return;
                     }
                     serveFile(request.matches[1], &request, &response);
                 });
}

// --- the XFileSharing script ---------------------------------------------

std::string TestHost::xfsLinkFor(const std::string& name) const {
    return base() + "/x/" + urlEncode(name);
}

std::string TestHost::xfsDirectLinkFor(const std::string& name) const {
    return base() + "/xd/" + urlEncode(name);
}

std::string TestHost::xfsSecondsLinkFor(const std::string& name) const {
    return base() + "/xs/" + urlEncode(name);
}

void TestHost::setNextDownloadWait(const std::string& name, int amount, const std::string& unit,
                                   bool atFile) {
    XfsWait wait;
    wait.seconds = unit == "hours" ? 3600 : unit == "minutes" ? 60 : 1;
    wait.amount = amount;
    wait.unit = unit;
    wait.atFile = atFile;
    std::lock_guard lock(mutex_);
    xfsWaits_[name] = wait;
}

void TestHost::setXfsEnding(const std::string& name, XfsEnding ending) {
    std::lock_guard lock(mutex_);
    xfsEndings_[name] = ending;
}

std::string TestHost::nextDownloadWaitText(const std::string& name, bool atFile) {
    std::lock_guard lock(mutex_);
    const auto it = xfsWaits_.find(name);
    if (it == xfsWaits_.end() || it->second.atFile != atFile)
        return {};
    XfsWait& limit = it->second;
    const auto now = std::chrono::steady_clock::now();
    if (!limit.said) {
        limit.said = true;
        limit.over = now + std::chrono::seconds(limit.amount * limit.seconds);
    }
    if (now >= limit.over)
        return {};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(limit.over - now);
    const long long unit = 1000LL * limit.seconds;
    const long long amount = (left.count() + unit - 1) / unit;
    std::string unitText = limit.unit;
    if (amount == 1)
        unitText.pop_back();
    return "You have to wait " + std::to_string(amount) + " " + unitText + " till next download";
}

namespace {

// The script's file code: twelve letters and digits, one per name.
std::string xfsFileCode(const std::string& name) {
    std::uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : name)
        hash = (hash ^ c) * 1099511628211ull;
    std::string code;
    for (int i = 0; i < 12; ++i, hash /= 36)
        code += "0123456789abcdefghijklmnopqrstuvwxyz"[hash % 36];
    return code;
}

std::string xfsError(const std::string& text) {
    return "<div class=\"err\">" + text + "</div>";
}

} // namespace

void TestHost::routeXfsHost() {
    // The script posts every form back to the link itself.
    for (const char* prefix : {"x", "xd", "xs"}) {
        const auto handler = [this, prefix](const httplib::Request& request,
                                            httplib::Response& response) {
            serveXfs(prefix, &request, &response);
        };
        server_->Get(std::string("/") + prefix + "/([^/]*)", handler);
        server_->Post(std::string("/") + prefix + "/([^/]*)", handler);
    }
    server_->Get(R"(/xp/([^/]*))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     std::string name;
                     {
                         std::lock_guard lock(mutex_);
                         const auto it = xfsTokens_.find(request.matches[1]);
                         if (it != xfsTokens_.end())
                             name = it->second.name;
                     }
                     if (name.empty()) {
                         sendPage(response, xfsError("Download session expired"));
                         return;
                     }
                     sendPage(response, "<div class=\"name\">" + htmlEscaped(name) +
                                            "</div><span id=\"direct_link\"><a href=\"/d/" +
                                            request.matches[1].str() + "/" + urlEncode(name) +
                                            "\">" + htmlEscaped(name) + "</a></span>");
                 });
    server_->Get(R"(/d/([^/]*)(?:/(.*))?)", [this](const httplib::Request& request,
                                                   httplib::Response& response) {
        std::string name;
        int gets = 0;
        {
            std::lock_guard lock(mutex_);
            const auto it = xfsTokens_.find(request.matches[1]);
            // The token alone, or with its file's name.
            if (it != xfsTokens_.end() &&
                (!request.matches[2].matched || it->second.name == request.matches[2].str())) {
                name = it->second.name;
                gets = request.method == "GET" ? ++it->second.gets : it->second.gets;
            }
        }
        const std::string wait = name.empty() ? std::string() : nextDownloadWaitText(name, true);
        if (name.empty()) {
            sendPage(response, "<h2>File Not Found</h2>");
            response.status = 404;
        } else if (!wait.empty()) {
            sendPage(response, xfsError(wait));
        } else if (gets > 1) {
            sendPage(response, xfsError("Download link expired"));
            response.status = 410;
        } else {
            serveFile(name, &request, &response);
        }
    });
}

void TestHost::serveXfs(const std::string& prefix, const void* requestPtr, void* responsePtr) {
    const auto& request = *static_cast<const httplib::Request*>(requestPtr);
    auto& response = *static_cast<httplib::Response*>(responsePtr);
    const std::string name = request.matches[1];
    const std::string code = xfsFileCode(name);
    const std::string op = request.get_param_value("op");
    std::string size;
    {
        std::lock_guard lock(mutex_);
        const auto it = files_.find(name);
        if (it != files_.end())
            size = std::to_string(it->second.body.size());
    }
    if (size.empty()) {
        sendPage(response, "<h2>File Not Found</h2><p class=\"err\">The file was removed by "
                           "administrator</p>");
        response.status = 404;
        return;
    }
    const std::string fileInfo = "<div class=\"name\">" + htmlEscaped(name) +
                                 "</div><span class=\"size\">" + size + " B</span>";
    const bool free = !request.get_param_value("method_free").empty();
    const bool valid = request.get_param_value("id") == code;
    if (request.method == "POST" && op == "download1" && free && valid) {
        const std::string waitText = nextDownloadWaitText(name, false);
        if (!waitText.empty()) {
            sendPage(response, fileInfo + xfsError(waitText));
            return;
        }
        const int wait = waitSeconds();
        std::string rand;
        {
            std::lock_guard lock(mutex_);
            const int serial = ++xfsSerial_;
            rand = xfsFileCode(name + "#" + std::to_string(serial)).substr(0, 8);
            xfsCountdowns_[rand] = {name,
                                    std::chrono::steady_clock::now() + std::chrono::seconds(wait)};
        }
        sendPage(response,
                 fileInfo +
                     "<form name=\"F1\" method=\"POST\" action=\"\">"
                     "<input type=\"hidden\" name=\"op\" value=\"download2\">"
                     "<input type=\"hidden\" name=\"id\" value=\"" +
                     code + "\"><input type=\"hidden\" name=\"rand\" value=\"" + rand +
                     "\"><input type=\"hidden\" name=\"referer\" value=\"\">"
                     "<input type=\"hidden\" name=\"method_free\" value=\"Free Download\">"
                     "<input type=\"hidden\" name=\"method_premium\" value=\"\">"
                     "<input type=\"hidden\" name=\"down_direct\" value=\"1\">"
                     "<span id=\"countdown_str\">Wait <span class=\"seconds\">" +
                     std::to_string(wait) +
                     "</span> seconds</span>"
                     "<button id=\"downloadbtn\" type=\"submit\" disabled>Create Download "
                     "Link</button></form><script>"
                     "var left = " +
                     std::to_string(wait) +
                     ", shown = document.querySelector('span.seconds');"
                     "var tick = setInterval(function () {"
                     " if (left > 0) left--; shown.textContent = left;"
                     " if (left <= 0) { clearInterval(tick);"
                     " document.getElementById('countdown_str').style.display = 'none';"
                     " document.getElementById('downloadbtn').disabled = false; } }, 1000);"
                     "</script>");
        return;
    }
    if (request.method == "POST" && op == "download2" && valid) {
        std::string token;
        bool early = false;
        {
            std::lock_guard lock(mutex_);
            const auto it = xfsCountdowns_.find(request.get_param_value("rand"));
            if (it != xfsCountdowns_.end() && it->second.name == name) {
                early = std::chrono::steady_clock::now() < it->second.over;
                if (!early) {
                    xfsCountdowns_.erase(it);
                    token = xfsFileCode(name + "@" + std::to_string(++xfsSerial_));
                    xfsTokens_[token] = {name, 0};
                }
            }
        }
        if (early) {
            sendPage(response, fileInfo + xfsError("Skipped countdown"));
            return;
        }
        if (token.empty()) {
            sendPage(response, fileInfo + xfsError("Download session expired"));
            return;
        }
        XfsEnding ending = prefix == "xd" ? XfsEnding::DirectLinkPage : XfsEnding::Redirect;
        {
            std::lock_guard lock(mutex_);
            if (const auto it = xfsEndings_.find(name); it != xfsEndings_.end())
                ending = it->second;
        }
        const std::string address = base() + "/d/" + token + "/" + urlEncode(name);
        switch (ending) {
        case XfsEnding::DirectLinkPage:
            sendPage(response, fileInfo + "<span id=\"direct_link\"><a href=\"" + address + "\">" +
                                   htmlEscaped(name) + "</a></span>");
            return;
        case XfsEnding::RedirectToPage:
            response.set_redirect(base() + "/xp/" + token, 302);
            return;
        case XfsEnding::Redirect:
            response.set_redirect(address, 302);
            return;
        case XfsEnding::RedirectNameless:
            response.set_redirect(base() + "/d/" + token, 302);
            return;
        }
        return;
    }
    // The link page, also for a post the script does not take.
    sendPage(response, "<h2>Download File</h2>" + fileInfo +
                           "<form method=\"POST\" action=\"\">"
                           "<input type=\"hidden\" name=\"op\" value=\"download1\">"
                           "<input type=\"hidden\" name=\"usr_login\" value=\"\">"
                           "<input type=\"hidden\" name=\"id\" value=\"" +
                           code + "\"><input type=\"hidden\" name=\"fname\" value=\"" +
                           htmlEscaped(name) +
                           "\"><input type=\"hidden\" name=\"referer\" value=\"\">"
                           "<input type=\"submit\" name=\"method_free\" value=\"Free Download\">"
                           "<input type=\"submit\" name=\"method_premium\" "
                           "value=\"Premium Download\"></form>");
}

// --- captcha widgets -----------------------------------------------------------

std::string TestHost::captchaLinkFor(const std::string& name) const {
    return base() + "/q/" + urlEncode(name);
}

std::string TestHost::imageCaptchaLinkFor(const std::string& name) const {
    return base() + "/qi/" + urlEncode(name);
}

void TestHost::setCaptchaAfterWait(const std::string& name) {
    std::lock_guard lock(mutex_);
    captchaAfterWait_.insert(name);
}

std::string TestHost::imageCodeFor(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto it = lastImageCode_.find(name);
    return it == lastImageCode_.end() ? std::string() : it->second;
}

int TestHost::captchaTokensGiven() const {
    std::lock_guard lock(mutex_);
    return captchaTokensGiven_;
}

namespace {

// The page after a solved captcha: the file's name and its direct link.
std::string directLinkPage(const std::string& name) {
    return "<div class=\"name\">" + htmlEscaped(name) +
           "</div><span id=\"direct_link\"><a href=\"/files/" + urlEncode(name) + "\">" +
           htmlEscaped(name) + "</a></span>";
}

} // namespace

std::string TestHost::captchaPage(const std::string& name) {
    const int wait = waitSeconds();
    std::string rand;
    bool afterWait = false;
    {
        std::lock_guard lock(mutex_);
        rand = xfsFileCode(name + "?" + std::to_string(++xfsSerial_)).substr(0, 8);
        captchaForms_[rand] = {name, std::chrono::steady_clock::now() + std::chrono::seconds(wait)};
        afterWait = captchaAfterWait_.count(name) > 0;
    }
    // The widget as the captcha service's script leaves it in the page: the
    // token field is hidden and filled only by the widget.
    const std::string widget =
        "<div id=\"captcha\" class=\"g-recaptcha\" data-sitekey=\"6LcTestHostKey\">"
        "<label><input type=\"checkbox\" id=\"recaptcha-anchor\"> I'm not a robot</label>"
        "<textarea name=\"g-recaptcha-response\" style=\"display:none\"></textarea></div>";
    return "<h2>Download File</h2><div class=\"name\">" + htmlEscaped(name) +
           "</div><form id=\"free\" method=\"POST\" action=\"/q/" + urlEncode(name) +
           "\"><input type=\"hidden\" name=\"rand\" value=\"" + rand + "\">" +
           (afterWait ? "<template id=\"later\">" + widget + "</template><div id=\"place\"></div>"
                      : "<div id=\"place\">" + widget + "</div>") +
           "<p id=\"countdown_str\">Wait <span class=\"seconds\">" + std::to_string(wait) +
           "</span> seconds</p><button id=\"go\" type=\"submit\"" + (wait > 0 ? " disabled" : "") +
           ">Free Download</button></form><script>"
           "function bindCaptcha() {"
           " var box = document.getElementById('recaptcha-anchor');"
           " box.addEventListener('click', function () {"
           "  var r = new XMLHttpRequest();"
           "  r.onload = function () {"
           "   document.querySelector('textarea[name=g-recaptcha-response]').value ="
           "    r.responseText;"
           "   box.checked = true; box.disabled = true; };"
           "  r.open('POST', '/recaptcha/api2/userverify'); r.send('k=6LcTestHostKey'); }); }"
           "function over() {"
           " document.getElementById('go').disabled = false;" +
           (afterWait ? " var later = document.getElementById('later');"
                        " document.getElementById('place')"
                        "  .appendChild(later.content.cloneNode(true)); bindCaptcha();"
                      : "") +
           " }" + (afterWait ? "" : "bindCaptcha();") + "var left = " + std::to_string(wait) +
           ", shown = document.querySelector('span.seconds');"
           "if (left <= 0) over(); else var tick = setInterval(function () {"
           " left--; shown.textContent = left;"
           " if (left <= 0) { clearInterval(tick); over(); } }, 1000);</script>";
}

std::string TestHost::imageCaptchaForm(const std::string& name) {
    std::string rand, code;
    {
        std::lock_guard lock(mutex_);
        const std::string serial = std::to_string(++xfsSerial_);
        rand = xfsFileCode(name + "!" + serial).substr(0, 8);
        code = xfsFileCode(name + "=" + serial).substr(0, 5);
        imageCaptchas_[rand] = {name, code};
        lastImageCode_[name] = code;
    }
    return "<form id=\"f\" method=\"POST\" action=\"/qi/" + urlEncode(name) +
           "\"><input type=\"hidden\" name=\"rand\" value=\"" + rand +
           "\"><img class=\"captcha\" src=\"/qi/image/" + rand +
           "\" alt=\"Enter the code shown\"><input name=\"code\" autocomplete=\"off\" autofocus>"
           "<button id=\"go\" type=\"submit\">Download</button></form>";
}

void TestHost::routeCaptchaHosts() {
    const auto hosted = [this](const std::string& name) {
        std::lock_guard lock(mutex_);
        return files_.count(name) > 0;
    };
    const auto notFound = [](httplib::Response& response) {
        sendPage(response, "<h2>File Not Found</h2>");
        response.status = 404;
    };
    server_->Post("/recaptcha/api2/userverify",
                  [this](const httplib::Request&, httplib::Response& response) {
                      std::string token;
                      {
                          std::lock_guard lock(mutex_);
                          const int serial = ++captchaTokensGiven_;
                          token = "03A" + xfsFileCode("token" + std::to_string(serial)) +
                                  xfsFileCode(std::to_string(serial));
                          captchaTokens_.insert(token);
                      }
                      response.set_content(token, "text/plain");
                  });
    server_->Get(R"(/q/([^/]*))", [this, hosted, notFound](const httplib::Request& request,
                                                           httplib::Response& response) {
        const std::string name = request.matches[1];
        if (!hosted(name))
            return notFound(response);
        sendPage(response, captchaPage(name));
    });
    server_->Post(R"(/q/([^/]*))", [this, hosted, notFound](const httplib::Request& request,
                                                            httplib::Response& response) {
        const std::string name = request.matches[1];
        if (!hosted(name))
            return notFound(response);
        std::string error;
        {
            std::lock_guard lock(mutex_);
            const auto form = captchaForms_.find(request.get_param_value("rand"));
            const auto token = captchaTokens_.find(request.get_param_value("g-recaptcha-response"));
            if (form == captchaForms_.end() || form->second.name != name) {
                error = "Download session expired";
            } else if (std::chrono::steady_clock::now() < form->second.over) {
                error = "Skipped countdown";
            } else if (token == captchaTokens_.end()) {
                error = "Please complete the captcha";
            } else {
                captchaForms_.erase(form);
                captchaTokens_.erase(token);
            }
        }
        sendPage(response, error.empty() ? directLinkPage(name) : xfsError(error));
    });
    server_->Get(R"(/qi/([^/]*))", [this, hosted, notFound](const httplib::Request& request,
                                                            httplib::Response& response) {
        const std::string name = request.matches[1];
        if (!hosted(name))
            return notFound(response);
        sendPage(response, "<h2>Download File</h2>" + imageCaptchaForm(name));
    });
    server_->Post(R"(/qi/([^/]*))", [this, hosted, notFound](const httplib::Request& request,
                                                             httplib::Response& response) {
        const std::string name = request.matches[1];
        if (!hosted(name))
            return notFound(response);
        bool solved = false;
        {
            std::lock_guard lock(mutex_);
            const auto it = imageCaptchas_.find(request.get_param_value("rand"));
            if (it != imageCaptchas_.end() && it->second.name == name) {
                solved = it->second.code == request.get_param_value("code");
                imageCaptchas_.erase(it);
            }
        }
        sendPage(response, solved ? directLinkPage(name)
                                  : xfsError("Wrong captcha") + imageCaptchaForm(name));
    });
    server_->Get(R"(/qi/image/([^/]*))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     std::string code;
                     {
                         std::lock_guard lock(mutex_);
                         const auto it = imageCaptchas_.find(request.matches[1]);
                         if (it != imageCaptchas_.end())
                             code = it->second.code;
                     }
                     if (code.empty()) {
                         response.status = 404;
                         return;
                     }
                     response.set_content(
                         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"120\" height=\"40\">"
                         "<text x=\"10\" y=\"28\" font-size=\"24\" font-family=\"monospace\">" +
                             code + "</text></svg>",
                         "image/svg+xml");
                 });
}

// --- resuming --------------------------------------------------------------

void TestHost::serveRanged(const HostedFile& file, std::shared_ptr<const std::string> body,
                           bool firstGet, const void* requestPtr, void* responsePtr) {
    auto& request =
        *const_cast<httplib::Request*>(static_cast<const httplib::Request*>(requestPtr));
    auto& response = *static_cast<httplib::Response*>(responsePtr);
    // The answers below are this host's own; cpp-httplib must not cut the
    // body to the asked range behind them.
    request.ranges.clear();
    using Mode = HostedFile::Mode;
    const bool newVersion = file.mode == Mode::RangeNewVersion && !firstGet;
    if (newVersion)
        body = std::make_shared<const std::string>(file.laterBody);
    const std::size_t total = body->size();
    const std::string etag = (newVersion ? "\"v2-" : "\"v1-") + std::to_string(total) + "\"";
    const std::string lastModified =
        newVersion ? "Wed, 02 Dec 2026 10:00:00 GMT" : "Tue, 01 Dec 2026 10:00:00 GMT";
    response.set_header("ETag", etag);
    response.set_header("Last-Modified", lastModified);
    response.set_header("Accept-Ranges", "bytes");

    std::size_t asked = 0;
    const std::string range = request.get_header_value("Range");
    if (range.rfind("bytes=", 0) == 0 && range.back() == '-')
        asked = std::strtoull(range.c_str() + 6, nullptr, 10);
    const std::string ifRange = request.get_header_value("If-Range");
    if (!ifRange.empty() && ifRange != etag && ifRange != lastModified && !newVersion)
        asked = 0; // another version: the whole file
    if (asked >= total)
        asked = 0;

    std::size_t from = 0;
    std::size_t claimedTotal = total;
    if (asked > 0 && file.mode == Mode::RangeUnsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(total));
        return;
    }
    if (asked > 0 && file.mode != Mode::RangeRefused) {
        from = file.mode == Mode::RangeWrongStart ? asked / 2 : asked;
        if (file.mode == Mode::RangeWrongTotal)
            claimedTotal = total + 1000;
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                 std::to_string(total - 1) + "/" +
                                                 std::to_string(claimedTotal));
    } else {
        response.status = 200;
    }
    if (request.method == "HEAD") {
        response.set_header("Content-Length", std::to_string(total - from));
        return;
    }
    if (asked > 0 && file.mode == Mode::RangeChunkedShort) {
        auto half = std::make_shared<std::string>(body->substr(from, (total - from) / 2));
        rangedBytesSent_ += half->size();
        response.set_chunked_content_provider("application/octet-stream", piecesOf(half));
        return;
    }
    const std::size_t limit = firstGet && file.sendBytes > 0 ? file.sendBytes : total;
    const std::size_t piece = file.pieceBytes;
    const int delay = file.pieceDelayMs;
    auto* sent = &rangedBytesSent_;
    response.set_content_provider(
        total - from, "application/octet-stream",
        [body, from, limit, piece, delay, sent](std::size_t offset, std::size_t,
                                                httplib::DataSink& sink) {
            const std::size_t at = from + offset;
            if (at >= limit)
                return false; // closes the connection: the body ends early
            if (delay > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            const std::size_t n = std::min(piece, limit - at);
            *sent += n;
            return sink.write(body->data() + at, n);
        });
}

// The checksum host.

std::string TestHost::checksumLinkFor(const std::string& name) const {
    return base() + "/sum/" + urlEncode(name);
}

void TestHost::showOnPage(const std::string& name, const std::string& size,
                          const std::string& digest) {
    std::lock_guard lock(mutex_);
    shownOnPage_[name] = {size, digest};
}

void TestHost::showOnPageByScript(const std::string& name, const std::string& size,
                                  const std::string& digest) {
    showOnPage(name, size, digest);
    std::lock_guard lock(mutex_);
    scriptedDigests_.insert(name);
}

void TestHost::routeChecksumHost() {
    server_->Get(R"(/sum/([^/]*))", [this](const httplib::Request& request,
                                           httplib::Response& response) {
        const std::string name = request.matches[1];
        std::pair<std::string, std::string> shown;
        bool scripted = false;
        {
            std::lock_guard lock(mutex_);
            if (const auto found = shownOnPage_.find(name); found != shownOnPage_.end())
                shown = found->second;
            scripted = scriptedDigests_.contains(name);
        }
        const std::string script = scripted
                                       ? "<script>document.getElementById('sum').textContent = '" +
                                             shown.second + "';</script>"
                                       : "";
        sendPage(response, "<h1>" + name + "</h1><p>Size: <span id=\"size\">" + shown.first +
                               "</span></p><p>Checksum: <code id=\"sum\"> " +
                               (scripted ? "" : shown.second) + " </code></p>" + script +
                               "<a id=\"go\" href=\"/files/" + urlEncode(name) + "\">Download</a>");
    });
}

// --- pages whose script does the work ---------------------------------------

std::string TestHost::clickCountdownLinkFor(const std::string& name) const {
    return base() + "/s/" + urlEncode(name);
}

std::string TestHost::clockWaitLinkFor(const std::string& name) const {
    return base() + "/w/clock/" + urlEncode(name);
}

std::string TestHost::wordsWaitLinkFor(const std::string& name) const {
    return base() + "/w/words/" + urlEncode(name);
}

std::string TestHost::placeholderLinkFor(const std::string& name) const {
    return base() + "/v/" + urlEncode(name);
}

std::string TestHost::premiumLinkFor(const std::string& name) const {
    return base() + "/p/" + urlEncode(name);
}

std::string TestHost::maintenanceLinkFor(const std::string& name) const {
    return base() + "/t/" + urlEncode(name);
}

int TestHost::tickedMilliseconds(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const auto found = ticked_.find(name);
    return found == ticked_.end() ? -1 : found->second;
}

namespace {

// A page timer never fires early, but a clock's reading may round.
constexpr auto kClockSlack = std::chrono::milliseconds(200);

std::string twoDigits(int value) {
    return (value < 10 ? "0" : "") + std::to_string(value);
}

} // namespace

void TestHost::routeScriptedHosts() {
    server_->Get(R"(/s/([^/]*))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string name = urlEncode(request.matches[1]);
        sendPage(response,
                 "<h1>" + htmlEscaped(request.matches[1]) +
                     "</h1><a class=\"btn-free\" href=\"#\">Slow download</a>"
                     "<div id=\"timer\"></div><div id=\"link\"></div><script>"
                     "document.querySelector('a.btn-free').addEventListener('click', function (e) {"
                     " e.preventDefault(); var r = new XMLHttpRequest();"
                     " r.onload = function () { var n = parseInt(r.responseText, 10);"
                     "  document.getElementById('timer').innerHTML ="
                     "   'Wait <span id=\"secs\">' + n + '</span> seconds';"
                     "  var t = setInterval(function () {"
                     "   n--; document.getElementById('secs').textContent = n;"
                     "   if (n > 0) return; clearInterval(t); var l = new XMLHttpRequest();"
                     "   l.onload = function () { if (l.status != 200) return;"
                     "    document.getElementById('link').innerHTML ="
                     "     '<a id=\"go\" href=\"' + l.responseText + '\">Download</a>'; };"
                     "   l.open('POST', '/s/link/" +
                     name +
                     "'); l.send(); }, 1000); };"
                     " r.open('POST', '/s/start/" +
                     name + "'); r.send(); });</script>");
    });
    server_->Post(R"(/s/start/(.*))",
                  [this](const httplib::Request& request, httplib::Response& response) {
                      std::lock_guard lock(mutex_);
                      clickStarts_[request.matches[1]] = Clock::now();
                      response.set_content(std::to_string(waitSeconds_), "text/plain");
                  });
    server_->Post(
        R"(/s/link/(.*))", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            std::lock_guard lock(mutex_);
            const auto started = clickStarts_.find(name);
            if (started == clickStarts_.end() ||
                Clock::now() + kClockSlack < started->second + std::chrono::seconds(waitSeconds_)) {
                response.status = 403;
                response.set_content("Skipped countdown", "text/plain");
                return;
            }
            response.set_content("/files/" + urlEncode(name), "text/plain");
        });

    server_->Get(R"(/w/(clock|words)/([^/]*))", [this](const httplib::Request& request,
                                                       httplib::Response& response) {
        const std::string name = request.matches[2];
        std::string token;
        int wait = 0;
        {
            std::lock_guard lock(mutex_);
            token = "w" + std::to_string(++xfsSerial_);
            waitsIssued_[token] = Clock::now();
            wait = waitSeconds_;
        }
        const bool clock = request.matches[1] == "clock";
        const std::string written =
            clock ? twoDigits(wait / 60) + ":" + twoDigits(wait % 60)
                  : std::to_string(wait / 60) + " min " + std::to_string(wait % 60) + " s";
        // The words come a second late, "calculating..." standing there first.
        sendPage(response,
                 "<p>Please wait <span id=\"wait\">" + (clock ? written : "calculating...") +
                     "</span> before downloading.</p><a id=\"go\" href=\"/w/file/" + token + "/" +
                     urlEncode(name) + "\">Download</a>" +
                     (clock ? std::string()
                            : "<script>setTimeout(function () { document.getElementById('wait')"
                              ".textContent = '" +
                                  written + "'; }, 1000);</script>"));
    });
    server_->Get(R"(/w/file/([^/]*)/(.*))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     // A HEAD fetches nothing: only the file's GET has to wait.
                     bool early = request.method == "GET";
                     if (early) {
                         std::lock_guard lock(mutex_);
                         const auto issued = waitsIssued_.find(request.matches[1]);
                         early = issued == waitsIssued_.end() ||
                                 Clock::now() + kClockSlack <
                                     issued->second + std::chrono::seconds(waitSeconds_);
                     }
                     if (early) {
                         response.status = 403;
                         sendPage(response, "<p>You have to wait before downloading.</p>");
                         return;
                     }
                     serveFile(request.matches[2], &request, &response);
                 });

    server_->Get(R"(/v/([^/]*))", [](const httplib::Request& request, httplib::Response& response) {
        sendPage(response, "<a id=\"go\" href=\"javascript:void(0)\">Download</a><script>"
                           "setTimeout(function () { document.getElementById('go').href = "
                           "'/files/" +
                               urlEncode(request.matches[1]) + "'; }, 1000);</script>");
    });

    server_->Get(R"(/p/([^/]*))", [](const httplib::Request& request, httplib::Response& response) {
        sendPage(response, "<h2>" + htmlEscaped(request.matches[1]) +
                               "</h2><p>This file is available for Premium Users only.</p>"
                               "<a href=\"/premium\">Upgrade your account</a>");
    });
    server_->Get(
        R"(/t/([^/]*))", [this](const httplib::Request& request, httplib::Response& response) {
            const std::string name = request.matches[1];
            const bool soon = name.rfind("soon", 0) == 0;
            bool unavailable = true;
            {
                std::lock_guard lock(mutex_);
                const auto first = firstVisits_.emplace(name, Clock::now()).first->second;
                unavailable = Clock::now() + kClockSlack <
                              first + (soon ? std::chrono::seconds(2) : std::chrono::minutes(10));
            }
            if (unavailable) {
                response.status = 503;
                sendPage(response,
                         std::string("<p>This server is temporarily unavailable for maintenance.") +
                             (soon ? " Please try again in 2 seconds." : "") + "</p>");
                return;
            }
            sendPage(response, "<a id=\"go\" href=\"/files/" + urlEncode(name) + "\">Download</a>");
        });

    server_->Get(R"(/c/ticked/([^?]*))",
                 [this](const httplib::Request& request, httplib::Response& response) {
                     std::lock_guard lock(mutex_);
                     ticked_[request.matches[1]] = std::atoi(request.get_param_value("ms").c_str());
                     response.status = 204;
                 });
}

} // namespace vardelo
