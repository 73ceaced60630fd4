#include "session/LinkCheckRequests.h"

#include "platform/HttpClient.h"

#include <QByteArray>
#include <QStringDecoder>

namespace vardelo {
namespace {

// More than any host's page: the rest is not read.
constexpr qsizetype kPageBytes = 4 * 1024 * 1024;

HeaderAnswer answerOf(int status, bool whole, const HttpHeaders& headers) {
    HeaderAnswer answer;
    answer.status = status;
    answer.whole = whole;
    const auto copy = [&headers](const char* name) -> std::optional<std::string> {
        const std::string* value = headers.find(name);
        return value ? std::optional<std::string>(*value) : std::nullopt;
    };
    answer.contentType = copy("Content-Type");
    answer.contentLength = copy("Content-Length");
    answer.contentDisposition = copy("Content-Disposition");
    return answer;
}

HeaderAnswer askWithGet(HttpClient& http, const std::string& link, const std::atomic<bool>& abort,
                        bool* aborted) {
    HeaderAnswer answer;
    HttpBody body;
    body.accept = [&answer](int status, const HttpHeaders& headers) {
        answer = answerOf(status, true, headers);
        return false;
    };
    body.write = [](const char*, std::size_t) { return false; };
    const HttpResult result = http.get(link, body, abort);
    *aborted = result.status == HttpResult::Status::Aborted;
    if (answer.status == 0) {
        answer.status = result.httpStatus;
        answer.whole = result.headersWhole;
    }
    answer.refusedAddress = result.refusedAddress;
    answer.refusedConnection = result.refusedConnection;
    return answer;
}

// The page's text in UTF-8: by the charset its answer names, else as a
// browser finds it in the page (a byte-order mark, a meta tag), else UTF-8.
std::string utf8Of(const QByteArray& page, const std::string& contentType) {
    const auto named = contentType.find("charset=");
    QStringDecoder decoder;
    if (named != std::string::npos) {
        std::string charset = contentType.substr(named + 8);
        charset = charset.substr(0, charset.find_first_of("; \t"));
        decoder = QStringDecoder(charset.c_str());
    }
    if (!decoder.isValid())
        decoder = QStringDecoder::decoderForHtml(page);
    return QString(decoder.decode(page)).toStdString();
}

} // namespace

HeaderAnswer askHeaders(HttpClient& http, const std::string& link, const std::atomic<bool>& abort,
                        bool* aborted) {
    const HttpResult result = http.head(link, abort);
    *aborted = result.status == HttpResult::Status::Aborted;
    if (result.headersWhole && (result.httpStatus == 405 || result.httpStatus == 501))
        return askWithGet(http, link, abort, aborted);
    HeaderAnswer answer = answerOf(result.httpStatus, result.headersWhole, result.headers);
    answer.refusedAddress = result.refusedAddress;
    answer.refusedConnection = result.refusedConnection;
    return answer;
}

FetchedPage fetchPage(HttpClient& http, const std::string& link, const HttpSession& session,
                      const std::atomic<bool>& abort, bool* aborted) {
    QByteArray page;
    std::string contentType;
    bool full = false;
    HttpBody body;
    body.session = &session;
    body.takesErrorPage = true; // "temporarily unavailable" comes as a 503 page
    // The pages a browser page of the program would get.
    body.requestHeaders = {"Accept-Language: hu-HU,hu;q=0.9"};
    body.accept = [&contentType](int, const HttpHeaders& headers) {
        if (const std::string* type = headers.find("Content-Type"))
            contentType = *type;
        return true;
    };
    body.write = [&page, &full](const char* data, std::size_t size) {
        page.append(data,
                    static_cast<qsizetype>(std::min<std::size_t>(size, kPageBytes - page.size())));
        full = page.size() >= kPageBytes;
        return !full;
    };
    const HttpResult result = http.get(link, body, abort);
    *aborted = result.status == HttpResult::Status::Aborted;
    FetchedPage fetched;
    fetched.refusedAddress = result.refusedAddress;
    fetched.gone = result.refusedConnection || isGoneStatus(result.httpStatus);
    fetched.silent = result.status == HttpResult::Status::Failed && result.httpStatus == 0 &&
                     !result.refusedConnection && !result.refusedAddress;
    fetched.answered = result.status == HttpResult::Status::Ok || (full && !*aborted);
    if (!*aborted)
        fetched.markup = utf8Of(page, contentType);
    return fetched;
}

} // namespace vardelo
