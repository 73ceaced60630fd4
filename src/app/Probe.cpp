#include "app/Probe.h"

#include "app/DownloadCycle.h"
#include "core/CookieLine.h"
#include "core/FileReply.h"
#include "core/HostProfile.h"
#include "core/ListText.h"
#include "core/Outcome.h"
#include "core/PartialFile.h"
#include "platform/HostProfileFiles.h"
#include "platform/HttpClient.h"
#include "platform/LazyBrowser.h"
#include "platform/QtText.h"

#include <QApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace vardelo {
namespace {

// Lines carry what pages and hosts wrote: their control characters could
// set the terminal's title or clear it.
void say(const std::string& line) {
    std::printf("%s\n", controlsReplaced(line).c_str());
    std::fflush(stdout);
}

// The cycle's window for one link: nothing is shown, nothing is recorded.
class ProbeWindow final : public CycleWindow {
  public:
    explicit ProbeWindow(std::string link) : link_(std::move(link)) {}

    std::optional<OutcomeKind> outcome;

    bool queueIsEmpty() const override { return false; }
    std::string headUrl() const override { return link_; }
    std::string targetFolder() const override { return {}; }
    void showEmptyQueueMessage() override {}
    void showStatus(const QString&) override {}
    void setGaugeMaximum(int) override {}
    void setGaugeValue(int) override {}
    void showBytes(std::int64_t, std::int64_t) override {}
    void showTransferred(std::int64_t, std::int64_t, std::int64_t) override {}
    void clearTransferred() override {}
    void clearTransferRate() override {}
    void showRunControls(RunControls) override {}
    OutcomePlan recordOutcome(const AttemptResult& result, std::int64_t) override {
        outcome = result.outcome;
        QCoreApplication::exit(1);
        return OutcomePlan{}; // idle
    }
    void noteHostWait(const std::string&, std::int64_t) override { QCoreApplication::exit(1); }
    // Neither a download nor a failure: the user would have to act.
    void askForCaptcha() override { QCoreApplication::exit(2); }
    void captchaOver() override {}
    CaptchaChoice captchaChoice() const override { return CaptchaChoice::Wait; }
    std::chrono::minutes captchaTime() const override { return std::chrono::minutes(5); }
    int passOverHead() override { return 1; }
    bool stopsAfterThisLink() const override { return false; }
    std::optional<std::int64_t> passOverWaitingLinks() override { return std::nullopt; }
    void showBrowserFailure(const QString& reason) override {
        say("Failed at: the browser cannot start: " + toStd(reason));
        QCoreApplication::exit(1);
    }
    void runGuarded(const std::function<void()>& step) override {
        try {
            step();
        } catch (const std::exception& error) {
            say(std::string("Failed: ") + error.what());
            QCoreApplication::exit(1);
        }
    }

  private:
    std::string link_;
};

// The HEAD the transfer would begin with: the answer decides. A profile's
// file is asked for in the browser's session, as the transfer asks for it.
void headOf(const std::string& address, const std::optional<HttpSession>& session,
            const std::string& pageName, QNetworkAccessManager& network) {
    const bool profiled = session.has_value();
    const QUrl url(toQt(address));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      session ? toQt(session->userAgent)
                              : QStringLiteral("Mozilla/3.0 (compatible; Indy Library)"));
    if (session) {
        const std::string cookies =
            cookieHeaderFor(session->cookies, toStd(url.host()),
                            toStd(url.path(QUrl::FullyEncoded)), url.scheme() == u"https");
        say("The transfer would send Referer: " + session->referer);
        say("The transfer would send Cookie: " + (cookies.empty() ? "(none)" : cookies));
        request.setRawHeader("Referer", QByteArray::fromStdString(session->referer));
        if (!cookies.empty())
            request.setRawHeader("Cookie", QByteArray::fromStdString(cookies));
    }
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(15);
    request.setTransferTimeout(30000);
    QNetworkReply* reply = network.head(request);
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, address, profiled, pageName] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        // As the worker names it.
        const std::string disposition = reply->rawHeader("Content-Disposition").toStdString();
        const std::string name =
            profiled
                ? replyFileName(reply->hasRawHeader("Content-Disposition") ? &disposition : nullptr,
                                address, pageName)
                : storableName(link_kiszed(address));
        const std::string type = reply->rawHeader("Content-Type").toStdString();
        say("HEAD " + address + ": status " + std::to_string(status) + ", length " +
            (length.isValid() ? std::to_string(length.toLongLong()) : std::string("unknown")) +
            ", type " + (type.empty() ? std::string("none") : type) + ", file name " + name);
        if (reply->error() != QNetworkReply::NoError || status < 200 || status > 299) {
            say("Result: would not download (" + toStd(reply->errorString()) + ")");
            QCoreApplication::exit(1);
        } else if (replyByType(reply->hasRawHeader("Content-Type") ? &type : nullptr, name) ==
                   ReplyBody::WebPage) {
            say("Result: would not download (the host sent a web page instead of the file)");
            QCoreApplication::exit(1);
        } else if (name.empty()) {
            say("Result: would not download (the address gives no file name)");
            QCoreApplication::exit(1);
        } else {
            say("Result: would download");
            QCoreApplication::exit(0);
        }
    });
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
    }
    return {};
}

int probe(const std::string& link, bool waitOut) {
    const LoadedProfiles loaded = loadHostProfiles(hostProfileFolders());
    if (!loaded.problems.isEmpty())
        std::fprintf(stderr, "%s\n",
                     profileProblemsText(loaded.problems).toLocal8Bit().constData());
    const auto profile = loaded.profiles.forLink(link);
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
    QNetworkAccessManager network;
    ProbeWindow window(link);
    QObject owner;
    DownloadCycle cycle(window, browser, http, &owner);
    cycle.setHostProfiles(&loaded.profiles);

    cycle.setTrace([&](CycleStep step, const std::string& detail) {
        say(describe(step, detail));
        if (step == CycleStep::Wait && !waitOut) {
            say("Not waiting it out (give --wait to wait; the host may refuse an early press)");
            QTimer::singleShot(0, &owner, [&] { cycle.skipWait(); });
        }
        if (step == CycleStep::Transfer) {
            std::optional<HttpSession> session;
            if (profile) {
                session = browser.session();
                session->referer = toStd(browser.pageAddress());
            }
            headOf(detail, session, cycle.pageFileName(), network);
        }
    });
    cycle.start();
    const int status = QApplication::exec();
    cycle.stop();
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
