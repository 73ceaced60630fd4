#include "app/Probe.h"

#include "core/AsciiCase.h"
#include "core/BuiltInProfile.h"
#include "core/FileReply.h"
#include "core/HostProfile.h"
#include "core/ListText.h"
#include "core/Outcome.h"
#include "core/PartialFile.h"
#include "platform/HostProfileFiles.h"
#include "platform/HttpClient.h"
#include "platform/LazyBrowser.h"
#include "platform/QtText.h"
#include "session/DownloadSession.h"

#include <QApplication>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <unistd.h>

namespace vardelo {
namespace {

// Lines carry what pages and hosts wrote: their control characters could
// set the terminal's title or clear it.
void say(const std::string& line) {
    std::printf("%s\n", controlsReplaced(line).c_str());
    std::fflush(stdout);
}

// The value of the header line `name` in a request's header lines; empty
// when the request had none.
std::string sentLine(const std::string& headers, std::string_view name) {
    for (std::size_t at = 0; at < headers.size();) {
        const std::size_t end = std::min(headers.find("\r\n", at), headers.size());
        const std::string_view line = std::string_view(headers).substr(at, end - at);
        at = end + 2;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos ||
            !equalsIgnoringAsciiCase(line.substr(0, colon), name))
            continue;
        std::string_view value = line.substr(colon + 1);
        while (value.starts_with(' '))
            value.remove_prefix(1);
        return std::string(value);
    }
    return {};
}

// What the request carried of the browser's session, as libcurl sent it.
void saySession(const HttpResult& answer) {
    if (answer.sentHeaders.empty()) {
        say("The transfer would send Referer and Cookie: nothing was sent (no connection)");
        return;
    }
    const std::string& sent = answer.sentHeaders.front();
    const std::string referer = sentLine(sent, "Referer");
    const std::string cookies = sentLine(sent, "Cookie");
    say("The transfer would send Referer: " + (referer.empty() ? "(none)" : referer));
    say("The transfer would send Cookie: " + (cookies.empty() ? "(none)" : cookies));
}

// The headers' answer: a HEAD's, or where the server refuses HEAD, that of a
// GET of the first byte, as the link check asks; for a form, its POST's.
struct HeadersAnswer {
    HttpResult head;
    std::optional<HttpResult> firstByte;
    bool posted = false;
    const HttpResult& deciding() const { return firstByte ? *firstByte : head; }
};

// A GET, or the form's POST, whose body is not read: its headers are all
// that is asked for.
HttpResult headersOnly(HttpClient& http, const std::string& address, const HttpSession* session,
                       const FormPost* post, std::vector<std::string> lines) {
    const std::atomic<bool> abort{false}; // the probe ends with the answer
    HttpBody body;
    body.session = session;
    body.post = post;
    body.requestHeaders = std::move(lines);
    int accepted = 0;
    body.accept = [&accepted](int status, const HttpHeaders&) {
        accepted = status;
        return false;
    };
    HttpResult got = http.get(address, body, abort);
    if (accepted >= 200 && accepted <= 299) {
        got.status = HttpResult::Status::Ok;
        got.error.clear();
    }
    return got;
}

// A form's answer may be good for one request: it is asked for as the
// transfer would ask, by its POST, not by a HEAD the host never answers.
HeadersAnswer askHeaders(HttpClient& http, const std::string& address, const HttpSession* session,
                         const FormPost* post) {
    if (post)
        return {headersOnly(http, address, session, post, {}), std::nullopt, true};
    const std::atomic<bool> abort{false};
    HeadersAnswer answer{http.head(address, abort, session), std::nullopt};
    if (answer.head.httpStatus != 405 && answer.head.httpStatus != 501)
        return answer;
    answer.firstByte = headersOnly(http, address, session, nullptr, {"Range: bytes=0-0"});
    return answer;
}

// What the headers' answer says of the transfer: 0, it would download; 1, it
// would not.
int headVerdict(const std::string& address, const HeadersAnswer& asked, bool profiled,
                const std::string& pageName) {
    const HttpResult& answer = asked.deciding();
    if (profiled)
        saySession(answer);
    const std::string* disposition = answer.headers.find("Content-Disposition");
    const std::string* type = answer.headers.find("Content-Type");
    const std::string* length = answer.headers.find("Content-Length");
    std::optional<ContentRange> range;
    if (const std::string* given = answer.headers.find("Content-Range"))
        range = parseContentRange(*given);
    // As the worker names it: a profile's file by where it came from.
    const std::string name =
        profiled
            ? replyFileName(disposition,
                            answer.answeredFrom.empty() ? address : answer.answeredFrom, pageName)
            : storableName(link_kiszed(address));
    const std::string described =
        ": status " + std::to_string(answer.httpStatus) + ", length " +
        (range && answer.httpStatus == 206 ? std::to_string(range->total)
         : length                          ? *length
                                           : std::string("unknown")) +
        ", type " + (type && !type->empty() ? *type : std::string("none")) + ", file name " + name;
    if (asked.posted) {
        say("POST " + address + described);
    } else if (asked.firstByte) {
        say("HEAD " + address + ": status " + std::to_string(asked.head.httpStatus) +
            "; asked again as a GET of the first byte");
        say("GET " + address + described);
    } else {
        say("HEAD " + address + described);
    }
    if (answer.status != HttpResult::Status::Ok) {
        say("Result: would not download (" + answer.error + ")");
        return 1;
    }
    if (replyByType(type, name) == ReplyBody::WebPage) {
        say("Result: would not download (the host sent a web page instead of the file)");
        return 1;
    }
    if (name.empty()) {
        say("Result: would not download (the address gives no file name)");
        return 1;
    }
    say("Result: would download");
    return 0;
}

// The headers the transfer would begin with, through the transfer's own
// client and off the event loop; the answer decides. A profile's file is
// asked for in the browser's session, as the transfer asks for it. The
// request's thread is the caller's to wait for.
std::unique_ptr<QThread> headOf(HttpClient& http, const std::string& address,
                                const std::optional<HttpSession>& session,
                                const std::optional<FormPost>& post, const std::string& pageName) {
    auto answer = std::make_shared<HeadersAnswer>();
    std::unique_ptr<QThread> request(QThread::create([&http, address, session, post, answer] {
        *answer = askHeaders(http, address, session ? &*session : nullptr, post ? &*post : nullptr);
    }));
    QObject::connect(request.get(), &QThread::finished, qApp, [=] {
        QCoreApplication::exit(headVerdict(address, *answer, session.has_value(), pageName));
    });
    request->start();
    return request;
}

std::string describe(CycleStep step, const std::string& detail) {
    switch (step) {
    case CycleStep::FirstPage:
        return "First page loaded: " + detail;
    case CycleStep::Submitted:
        return "Form found and submitted or clicked: " + detail;
    case CycleStep::WaitPage:
        return "Wait page loaded: " + detail;
    case CycleStep::FileName:
        return "File name read: " + detail;
    case CycleStep::Captcha:
        return detail + ": captcha: the user would solve it in the window";
    case CycleStep::FileCheck:
        return "The file is to have: " + detail;
    case CycleStep::Wait:
        return "Wait read: " + detail + " s";
    case CycleStep::Address:
        return "Address read: " + detail;
    case CycleStep::Transfer:
        return "Wait over; the transfer would fetch: " + detail;
    case CycleStep::Failed:
        return "Failed at: " + detail;
    case CycleStep::FolderFile:
        return "Folder lists: " + detail;
    case CycleStep::Folder:
        return "Folder read: " + detail;
    case CycleStep::Password:
        return detail + ": password: the user would be asked for the link's password";
    }
    return {};
}

int probe(const std::string& link, bool waitOut) {
    const LoadedProfiles loaded = loadHostProfiles(hostProfileFolders());
    if (!loaded.problems.isEmpty())
        std::fprintf(stderr, "%s\n",
                     profileProblemsText(loaded.problems).toLocal8Bit().constData());
    const auto profile = loaded.profiles.forLink(link);
    const auto walked = profile ? profile : builtInProfile();
    say("Profile: " + (profile ? profile->profile().name
                               : std::string("built-in (no profile file claims this link)")));
    if (!isHttpAddress(link)) {
        say("Failed at: the link (only http and https links are walked)");
        return 1;
    }

    LazyBrowser browser;
    // Shown, so that the page's timers run as in the window, but never on screen.
    browser.widget()->setAttribute(Qt::WA_DontShowOnScreen);
    browser.widget()->show();
    HttpClient http;
    http.setStallSeconds(30); // the HEAD's answer is worth no longer a wait
    std::unique_ptr<QThread> headRequest;
    QObject owner;
    // One link, nothing kept: the session is told no record folder.
    DownloadSession session(browser, http, &loaded.profiles, &owner);
    session.appendLinks({link});
    const auto fail = [] { QCoreApplication::exit(1); };
    QObject::connect(&session, &DownloadSession::outcomeRecorded, &owner, fail);
    QObject::connect(&session, &DownloadSession::hostAskedToWait, &owner, fail);
    // Neither a download nor a failure: the user would have to act.
    QObject::connect(&session, &DownloadSession::captchaAsked, &owner,
                     [] { QCoreApplication::exit(2); });
    QObject::connect(&session, &DownloadSession::browserFailed, &owner, [](const QString& reason) {
        say("Failed at: the browser cannot start: " + toStd(reason));
        QCoreApplication::exit(1);
    });
    QObject::connect(&session, &DownloadSession::stepFailed, &owner, [](const QString& what) {
        say("Failed: " + toStd(what));
        QCoreApplication::exit(1);
    });

    session.setTrace([&](CycleStep step, const std::string& detail) {
        say(describe(step, detail));
        if (step == CycleStep::Wait && !waitOut) {
            say("Not waiting it out (give --wait to wait; the host may refuse an early press)");
            QTimer::singleShot(0, &owner, [&] { session.skipWaits(); });
        }
        if (step == CycleStep::Folder) // its files would be queued: nothing to fetch
            QTimer::singleShot(0, &owner, [] { QCoreApplication::exit(0); });
        if (step == CycleStep::Password) // as for a captcha, the user would have to act
            QTimer::singleShot(0, &owner, [] { QCoreApplication::exit(2); });
        if (step == CycleStep::Transfer) {
            // As the worker asks: in the browser's session unless the
            // walked profile fetches its file as designed.
            std::optional<HttpSession> browsing;
            if (!walked->profile().designedTransfer) {
                browsing = browser.session();
                browsing->referer = toStd(browser.pageAddress());
            }
            const DownloadSession::FileAsk ask = session.fileAskOf(session.queue().url(1));
            headRequest = headOf(http, detail, browsing, ask.form, ask.pageFileName);
        }
    });
    session.start();
    const int status = QApplication::exec();
    session.stop();
    if (headRequest) // it uses the client
        headRequest->wait();
    return status;
}

} // namespace

bool isProbe(int argc, char** argv) {
    return argc >= 2 && std::strcmp(argv[1], "--probe") == 0;
}

int runProbe(int argc, char** argv) {
    std::string link;
    bool waitOut = false;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--wait") == 0)
            waitOut = true;
        else if (link.empty())
            link = argv[i];
    }
    if (link.empty()) {
        std::fprintf(stderr, "usage: vardelo --probe URL [--wait]\n");
        return 1;
    }
    // The embedded browser refuses to start as root unless its sandbox is off.
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The probe needs no screen: without one, the browser draws offscreen.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vardelo"));
    QApplication::setApplicationName(QStringLiteral("Vardelo"));
    return probe(link, waitOut);
}

} // namespace vardelo
