#include "platform/HttpClient.h"

#include "core/AsciiCase.h"
#include "core/FormPost.h"
#include "core/ReceivePacer.h"
#include "core/Referer.h"
#include "core/StallWatch.h"
#include "platform/BodyDecoder.h"

#include <curl/curl.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <thread>

namespace vardelo {
namespace {

constexpr const char* kWebSchemes = "http,https";

std::string trimmed(std::string text) {
    const auto notBlank = [](unsigned char c) { return !std::isspace(c); };
    text.erase(text.begin(), std::find_if(text.begin(), text.end(), notBlank));
    text.erase(std::find_if(text.rbegin(), text.rend(), notBlank).base(), text.end());
    return text;
}

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// What one request's callbacks need.
struct Transfer {
    HttpBody* body = nullptr;
    const std::atomic<bool>* abort = nullptr;
    std::atomic<bool>* authorisationOn = nullptr;
    const std::atomic<std::int64_t>* receiveLimit = nullptr;
    SharedReceivePacer* pacer = nullptr; // the client's, for all its bodies at once
    std::int64_t arrived = 0;            // body bytes as they came, before decoding
    CURL* curl = nullptr;
    HttpHeaders headers;
    bool headersWhole = false;
    bool begun = false;
    bool writeFailed = false;
    bool notAFile = false;
    bool refused = false;
    bool undecodable = false;
    std::vector<std::string> sentHeaders;
    std::unique_ptr<BodyDecoder> decoder; // made at the body's first piece
    std::int64_t received = 0;
    std::optional<StallWatch> stallWatch; // made when the request starts
    bool stalled = false;
    bool followsRedirects = false; // its own, not libcurl's: their bodies are passed over

    // Only a 2xx reply carries the file; any other final reply (a redirect
    // that is not followed, say) is an error reply, whatever its body.
    bool answeredWithFile() const {
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        return code >= 200 && code <= 299;
    }

    std::int64_t expected() const {
        curl_off_t length = -1;
        curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        return length > 0 ? static_cast<std::int64_t>(length) : 0;
    }

    int status() const {
        long code = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &code);
        return static_cast<int>(code);
    }

    std::string effectiveAddress() const {
        const char* address = nullptr;
        curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &address);
        return address ? std::string(address) : std::string();
    }

    // False for a body in a coding that cannot be undone.
    bool decodable() {
        if (!decoder)
            decoder = std::make_unique<BodyDecoder>(headers.find("Content-Encoding"));
        undecodable = !decoder->known();
        return !undecodable;
    }

    // False when the body is refused.
    bool beginOnce() {
        if (begun || !body)
            return !refused;
        begun = true;
        body->answeredFrom = effectiveAddress();
        if (body->accept && !body->accept(status(), headers)) {
            refused = true;
            return false;
        }
        authorisationOn->store(true);
        if (body->begin)
            body->begin(expected(), headers);
        return true;
    }
};

std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::string line(data, size * count);
    if (line.rfind("HTTP/", 0) == 0) {
        transfer->headers.clear(); // a new response: after a redirect, say
        transfer->headersWhole = false;
    } else if (line == "\r\n" || line == "\n") {
        transfer->headersWhole = true;
    } else if (const auto colon = line.find(':'); colon != std::string::npos) {
        transfer->headers.add(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    return size * count;
}

// What libcurl tells of the request: only the header lines it sent are kept.
int onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* user) {
    if (type == CURLINFO_HEADER_OUT)
        static_cast<Transfer*>(user)->sentHeaders.emplace_back(data, size);
    return 0;
}

std::int64_t steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The speed limit. libcurl's own receive limit is an option, which may not
// be changed while a transfer runs, so the body is paced here: after each
// piece reading waits as long as the limit asks of all the client's bodies
// together, and the limit is read again every 50 ms of the wait, so a
// change counts at once and Stop is heard.
void paceBody(Transfer& transfer, std::size_t bytes) {
    transfer.arrived += static_cast<std::int64_t>(bytes);
    transfer.pacer->add(static_cast<std::int64_t>(bytes));
    const std::int64_t from = steadyMs();
    std::int64_t now = from;
    while (!transfer.abort->load()) {
        const std::int64_t waitMs = transfer.pacer->waitMs(transfer.receiveLimit->load(), now);
        if (waitMs <= 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(waitMs, 50)));
        now = steadyMs();
    }
    transfer.stallWatch->heldBack(now - from);
}

// One stall rule (StallWatch), checked here rather than by libcurl's own
// low-speed check, which would count the time the speed limit holds the
// body back.
bool hasStalled(Transfer& transfer) {
    transfer.stalled = transfer.stallWatch->stalled(steadyMs(), transfer.arrived);
    return transfer.stalled;
}

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->abort->load())
        return 0;
    if (transfer->followsRedirects && transfer->status() / 100 == 3)
        return bytes;
    if (!transfer->answeredWithFile() &&
        !(transfer->body->takesErrorPage && transfer->status() >= 400)) {
        transfer->notAFile = true;
        return 0;
    }
    if (!transfer->decodable() || !transfer->beginOnce())
        return 0;
    const auto store = [transfer](const char* decoded, std::size_t length) {
        if (transfer->body->write && !transfer->body->write(decoded, length)) {
            transfer->writeFailed = true;
            return false;
        }
        transfer->received += static_cast<std::int64_t>(length);
        return true;
    };
    if (!transfer->decoder->decode(data, bytes, store)) {
        transfer->undecodable = !transfer->writeFailed; // a broken stream
        return 0;
    }
    if (transfer->body->progress)
        transfer->body->progress(transfer->received);
    paceBody(*transfer, bytes);
    return bytes;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->abort->load() || hasStalled(*transfer) ? 1 : 0;
}

} // namespace

void HttpHeaders::add(const std::string& name, const std::string& value) {
    lines_[asciiLower(name)] = value;
}

const std::string* HttpHeaders::find(const std::string& name) const {
    const auto it = lines_.find(asciiLower(name));
    return it == lines_.end() ? nullptr : &it->second;
}

namespace {

// What requests share through libcurl, behind its locks.
class ShareHandle {
  public:
    explicit ShareHandle(std::initializer_list<curl_lock_data> shared)
        : handle_(curl_share_init()) {
        for (const curl_lock_data data : shared)
            curl_share_setopt(handle_, CURLSHOPT_SHARE, data);
        curl_share_setopt(handle_, CURLSHOPT_USERDATA, this);
        curl_share_setopt(handle_, CURLSHOPT_LOCKFUNC, &ShareHandle::lock);
        curl_share_setopt(handle_, CURLSHOPT_UNLOCKFUNC, &ShareHandle::unlock);
    }
    ~ShareHandle() { curl_share_cleanup(handle_); }
    ShareHandle(const ShareHandle&) = delete;
    ShareHandle& operator=(const ShareHandle&) = delete;

    CURLSH* handle() const { return handle_; }

  private:
    static void lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
        static_cast<ShareHandle*>(user)->locks_[static_cast<std::size_t>(data)].lock();
    }
    static void unlock(CURL*, curl_lock_data data, void* user) {
        static_cast<ShareHandle*>(user)->locks_[static_cast<std::size_t>(data)].unlock();
    }

    CURLSH* handle_;
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks_;
};

} // namespace

// The run's cookie store, and the open connections: a connection a request
// ended with may serve the next request to its host, as a browser's does.
// Requests in the browser's session keep their cookies to themselves and
// share only connections. The speed limit's pace is one for all bodies.
struct HttpClient::Shared {
    ShareHandle run{CURL_LOCK_DATA_COOKIE, CURL_LOCK_DATA_CONNECT};
    ShareHandle sessions{CURL_LOCK_DATA_CONNECT};
    SharedReceivePacer pacer;
};

HttpClient::HttpClient() {
    initialiseCurlOnce();
    shared_ = std::make_unique<Shared>();
}

HttpClient::~HttpClient() = default;

HttpResult HttpClient::get(const std::string& url, HttpBody& body, const std::atomic<bool>& abort) {
    return perform(url, body.session, &body, abort);
}

HttpResult HttpClient::head(const std::string& url, const std::atomic<bool>& abort,
                            const HttpSession* session) {
    return perform(url, session, nullptr, abort);
}

namespace {

// A body among those the limit is shared by, while its request runs.
class PacedBody {
  public:
    explicit PacedBody(SharedReceivePacer& pacer) : pacer_(pacer) { pacer_.join(); }
    ~PacedBody() { pacer_.leave(); }
    PacedBody(const PacedBody&) = delete;
    PacedBody& operator=(const PacedBody&) = delete;

  private:
    SharedReceivePacer& pacer_;
};

using HeaderList = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;

// The designed request lines, and the body's own after them. A request in
// the browser's session sends no Content-Type of its own: a browser's GET
// has none, and a signed address may count every header it signs; a form's
// type is libcurl's, which goes with its body when a redirect turns the
// POST into a GET.
HeaderList requestHeaders(const HttpBody* body, const HttpSession* session, bool posting) {
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: text/html, */*");
    if (!session)
        headers = curl_slist_append(headers, "Content-Type: text/html");
    // As a browser posts a form: with its page's origin.
    if (const std::string origin = posting && session ? originFor(session->referer) : "";
        !origin.empty())
        headers = curl_slist_append(headers, ("Origin: " + origin).c_str());
    // The body is decoded as a browser would, but the request does not offer
    // encodings: the designed headers stay as they are.
    headers = curl_slist_append(headers, "Accept-Encoding:");
    if (body) {
        for (const std::string& line : body->requestHeaders)
            headers = curl_slist_append(headers, line.c_str());
    }
    return HeaderList(headers, &curl_slist_free_all);
}

using MimeParts = std::unique_ptr<curl_mime, decltype(&curl_mime_free)>;

// The form's body, encoded as the page would have sent it; the parts of a
// multipart one live as long as the request.
MimeParts sendForm(CURL* h, const FormPost& form) {
    if (form.encoding == FormPost::Encoding::UrlEncoded) {
        const std::string fields = urlEncodedBody(form);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(fields.size()));
        curl_easy_setopt(h, CURLOPT_COPYPOSTFIELDS, fields.c_str());
        return MimeParts(nullptr, &curl_mime_free);
    }
    MimeParts parts(curl_mime_init(h), &curl_mime_free);
    for (const FormPost::Field& field : form.fields) {
        curl_mimepart* part = curl_mime_addpart(parts.get());
        curl_mime_name(part, withCrLf(field.name).c_str());
        const std::string value = withCrLf(field.value);
        curl_mime_data(part, value.data(), value.size());
    }
    // Quotes and line breaks in a name as browsers write them: %22, %0D, %0A.
    curl_easy_setopt(h, CURLOPT_MIME_OPTIONS, static_cast<long>(CURLMIMEOPT_FORMESCAPE));
    curl_easy_setopt(h, CURLOPT_MIMEPOST, parts.get());
    return parts;
}

constexpr int kMostRedirects = 15;

// A posted form's redirects are followed here rather than by libcurl, which
// would send every address it is led to the Referer meant for the first:
// each request carries the one a browser sends it. 301, 302 and 303 turn the
// POST into a GET without its body and its form's lines, as in a browser;
// 307 and 308 send it again. The cookies the answers set stay with the
// request.
CURLcode followAsBrowser(CURL* h, const Transfer& transfer, const HttpSession& session,
                         curl_slist* getHeaders) {
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
    for (int redirects = 0;; ++redirects) {
        const CURLcode code = curl_easy_perform(h);
        const int status = transfer.status();
        const char* next = nullptr;
        curl_easy_getinfo(h, CURLINFO_REDIRECT_URL, &next);
        if (code != CURLE_OK || status < 300 || status > 399 || !next)
            return code;
        if (redirects == kMostRedirects)
            return CURLE_TOO_MANY_REDIRECTS;
        const std::string address = next;
        const std::string referer = refererFor(session.referer, address);
        curl_easy_setopt(h, CURLOPT_URL, address.c_str());
        curl_easy_setopt(h, CURLOPT_REFERER, referer.empty() ? nullptr : referer.c_str());
        if (status != 307 && status != 308) {
            curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
            curl_easy_setopt(h, CURLOPT_HTTPHEADER, getHeaders);
        }
    }
}

// Where the request may go and how: the address, the schemes, the redirects
// and the designed lines, with no proxy.
void aimRequest(CURL* h, const std::string& url, curl_slist* headers, char* errorText) {
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    // One list for the request and for every redirect: a redirect to
    // file:// or any other scheme fails.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, kWebSchemes);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, kWebSchemes);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, static_cast<long>(kMostRedirects));
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    // Decoded here, where a coded stream cut short is seen (see BodyDecoder).
    curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
}

// The browser's session in place of the run's: its user agent, the page as
// Referer as the browser would send it to `url`, and its cookies in a cookie
// engine of this request's own, so that they reach no other request and each
// goes only where the browser sends it.
void useSession(CURL* h, const HttpSession& session, const std::string& url) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, session.userAgent.c_str());
    if (const std::string referer = refererFor(session.referer, url); !referer.empty())
        curl_easy_setopt(h, CURLOPT_REFERER, referer.c_str());
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    for (const BrowserCookie& cookie : session.cookies) {
        if (const auto line = cookieFileLine(cookie))
            curl_easy_setopt(h, CURLOPT_COOKIELIST, line->c_str());
    }
}

// The designed user agent, and the cookies the run's requests share.
void useRunSession(CURL* h, CURLSH* cookies) {
    curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(h, CURLOPT_SHARE, cookies);
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, ""); // cookies held in memory for the run
}

// Basic authorisation of an empty user and password.
void useAuthorisation(CURL* h) {
    curl_easy_setopt(h, CURLOPT_HTTPAUTH, CURLAUTH_BASIC);
    curl_easy_setopt(h, CURLOPT_USERPWD, ":");
    curl_easy_setopt(h, CURLOPT_UNRESTRICTED_AUTH, 1L); // also after a redirect elsewhere
}

// What arrives goes through the transfer's callbacks: the headers, the
// body (none for a HEAD), its pace and the stall rule.
void watchTransfer(CURL* h, Transfer& transfer, long stallSeconds, std::int64_t limit) {
    // A connection that takes the stall time to open has stalled too (see
    // hasStalled), with libcurl's own reason.
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, stallSeconds);
    transfer.stallWatch.emplace(stallSeconds * 1000, steadyMs());
    // Under a limit, smaller reads keep the pace even.
    curl_easy_setopt(
        h, CURLOPT_BUFFERSIZE,
        limit > 0 ? static_cast<long>(std::clamp<std::int64_t>(limit / 4, 16 * 1024, 256 * 1024))
                  : 256L * 1024L);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &onDebug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L); // for onDebug alone: nothing is printed
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
    if (!transfer.body) {
        curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &onBody);
        curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
    }
}

// Why libcurl ended the request early: the transfer's own reason first.
std::string earlyEndText(CURLcode code, const Transfer& transfer, const char* errorText,
                         long stallSeconds) {
    return transfer.writeFailed   ? "the file could not be written"
           : transfer.refused     ? "the answer was refused"
           : transfer.undecodable ? "the body's coding cannot be undone"
           : transfer.stalled
               ? "less than 1 KiB/s arrived for " + std::to_string(stallSeconds) + " seconds"
           : code == CURLE_UNSUPPORTED_PROTOCOL ? "not an http or https address"
           : errorText[0]                       ? errorText
                                                : curl_easy_strerror(code);
}

// A request libcurl finished may still have failed in its body: its coding,
// its refusal, or a coded stream cut short.
std::optional<std::string> bodyFault(Transfer& transfer) {
    if (transfer.body && !transfer.decodable())
        return "the body's coding cannot be undone";
    if (!transfer.beginOnce()) // an empty body still begins and ends
        return "the answer was refused";
    if (transfer.body && !transfer.decoder->complete())
        return "the coded body ends before its end";
    return std::nullopt;
}

// What the request came to, and why when it failed.
HttpResult resultOf(CURLcode code, Transfer& transfer, const char* errorText, long stallSeconds) {
    HttpResult result;
    result.received = transfer.received;
    result.httpStatus = transfer.status();
    result.headers = transfer.headers;
    result.headersWhole = transfer.headersWhole;
    result.answeredFrom = transfer.effectiveAddress();
    result.sentHeaders = std::move(transfer.sentHeaders);
    result.status = HttpResult::Status::Failed;
    if (transfer.abort->load()) {
        result.status = HttpResult::Status::Aborted;
    } else if (transfer.notAFile || (code == CURLE_OK && !transfer.answeredWithFile())) {
        result.error = "the server answered " + std::to_string(result.httpStatus);
    } else if (code != CURLE_OK) {
        result.refusedAddress = code == CURLE_UNSUPPORTED_PROTOCOL || code == CURLE_URL_MALFORMAT;
        result.refusedConnection = code == CURLE_COULDNT_CONNECT;
        result.error = earlyEndText(code, transfer, errorText, stallSeconds);
    } else if (auto fault = bodyFault(transfer)) {
        result.error = std::move(*fault);
    } else {
        result.status = HttpResult::Status::Ok;
    }
    return result;
}

} // namespace

HttpResult HttpClient::perform(const std::string& url, const HttpSession* session, HttpBody* body,
                               const std::atomic<bool>& abort) {
    std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
    if (!curl) {
        HttpResult failed;
        failed.error = "curl_easy_init failed";
        return failed;
    }
    CURL* h = curl.get();
    Transfer transfer;
    transfer.body = body;
    transfer.abort = &abort;
    transfer.authorisationOn = &authorisationOn_;
    transfer.receiveLimit = &receiveLimit_;
    transfer.pacer = &shared_->pacer;
    transfer.curl = h;
    // A body counts against the limit from its request on.
    std::optional<PacedBody> paced;
    if (body)
        paced.emplace(shared_->pacer);

    const bool posting = body && body->post && session;
    const HeaderList headers = requestHeaders(body, session, posting);
    char errorText[CURL_ERROR_SIZE] = {};
    aimRequest(h, url, headers.get(), errorText);
    if (body && body->takesErrorPage)
        curl_easy_setopt(h, CURLOPT_FAILONERROR, 0L);
    const MimeParts form = posting ? sendForm(h, *body->post) : MimeParts(nullptr, &curl_mime_free);
    if (session) {
        useSession(h, *session, url);
        curl_easy_setopt(h, CURLOPT_SHARE, shared_->sessions.handle());
    } else {
        useRunSession(h, shared_->run.handle());
    }
    // A presigned address refuses any Authorization header: the designed
    // quirk stays with the designed request.
    if (authorisationOn_.load() && !session)
        useAuthorisation(h);
    const long stallSeconds = stallSeconds_.load();
    watchTransfer(h, transfer, stallSeconds, receiveLimit_.load());
    if (!posting)
        return resultOf(curl_easy_perform(h), transfer, errorText, stallSeconds);
    transfer.followsRedirects = true;
    const HeaderList getHeaders = requestHeaders(body, session, false);
    return resultOf(followAsBrowser(h, transfer, *session, getHeaders.get()), transfer, errorText,
                    stallSeconds);
}

} // namespace vardelo
