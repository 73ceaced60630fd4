// A large file from a local nginx three ways, side by side in one run:
// `curl -o` (the reference); the transfer worker in a browser's session
// (cookies, user agent, Referer); and the whole walk of a host profile's
// link as the program makes it, the real download cycle and browser engine:
// the page loads, its form is submitted, the answer redirects to the file,
// the browser's navigation is held and the transfer fetches the file. The
// server lets the file go only to requests carrying the page's cookie, and
// the page shows the file's SHA-256, which the walk checks as the bytes
// arrive.
// Alternating rounds, best of each. A program, not a test.
//   vardelo_session_bench [MiB] [rounds]      (default 1024 MiB, 5 rounds)
#include "LocalNginx.h"
#include "WorkerRound.h"

#include "core/HostProfile.h"
#include "platform/FileDigest.h"
#include "platform/HostProfileFiles.h"
#include "platform/LazyBrowser.h"
#include "platform/WebEngineBrowser.h"
#include "session/DownloadSession.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace vardelo;

namespace {

const char* const kSessionCookie = "sid=bench-session-4711";

// The file's SHA-256 in hex; empty when it could not be written.
std::string writeBigFile(const QString& path, long long bytes) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    QByteArray piece(1 << 20, '\0');
    for (int i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(i * 7 + i / 251);
    FileDigest digest(DigestKind::Sha256);
    for (long long left = bytes; left > 0; left -= piece.size()) {
        const qint64 size = std::min<long long>(left, piece.size());
        if (file.write(piece.constData(), size) != size)
            return {};
        digest.add(piece.constData(), static_cast<std::size_t>(size));
    }
    return digest.hex();
}

// The host's page and its redirect to the file; the file only for a
// request with the page's cookie, as a file host hands it.
QByteArray nginxConfig(int port) {
    const QByteArray origin = "http://127.0.0.1:" + QByteArray::number(port);
    return nginxPreamble(64) +
           "  sendfile on;\n"
           "  tcp_nopush on;\n"
           "  types { text/html html; }\n"
           "  default_type application/octet-stream;\n"
           "  server {\n"
           "    listen 127.0.0.1:" +
           QByteArray::number(port) +
           ";\n"
           "    root www;\n"
           "    location /s/ { add_header Set-Cookie \"" +
           kSessionCookie +
           "; Path=/\"; }\n"
           "    location = /s/go { return 302 " +
           origin +
           "/k/big.bin; }\n"
           "    location /k/ { if ($cookie_sid != \"" +
           QByteArray(kSessionCookie).split('=').at(1) +
           "\") { return 403; } }\n"
           "  }\n"
           "}\n";
}

QByteArray hostPage(const std::string& sha256) {
    return "<!DOCTYPE html><html><head><title>Bench host</title></head><body>\n"
           "<p>SHA-256: <span id=\"sha\">" +
           QByteArray::fromStdString(sha256) +
           "</span></p>\n"
           "<form id=\"free\" method=\"post\" action=\"/s/go\">\n"
           "<input type=\"submit\" name=\"method_free\" value=\"Free Download\">\n"
           "</form></body></html>\n";
}

const QByteArray kProfile = R"({
  "name": "Bench host",
  "links": ["^http://127\\.0\\.0\\.1:\\d+/s/"],
  "cookies": {"lang": "hu"},
  "steps": [{"hash": {"selector": "#sha"}, "submit": "#free"}]
})";

struct WalkRound {
    bool ended = false;
    double walkSeconds = 0;   // from Start to the outcome recorded
    double submitSeconds = 0; // from the form's submission to the outcome recorded
};

// A session of one link, queued again each round: nothing is shown; the
// outcome ends the round.
class Walk {
  public:
    Walk(const std::string& link, const QString& folder, const HostProfiles& profiles)
        : link_(link), browser_([](QObject* parent, QString*) -> Browser* {
              return new WebEngineBrowser(parent);
          }),
          session_(browser_, http_, &profiles, &owner_) {
        session_.settings().Mentes_helye = folder.toStdString();
        // Shown, so that the page's timers run as in the window, but never on screen.
        browser_.widget()->setAttribute(Qt::WA_DontShowOnScreen);
        browser_.widget()->show();
        // The submission's answer is timed as the cycle hears it (the cycle,
        // listening first, only asks for the next page then).
        QObject::connect(&browser_, &Browser::elementSubmitted, &owner_, [this](quint64, bool ok) {
            if (ok && !submitClock_.isValid())
                submitClock_.start();
        });
        QObject::connect(&session_, &DownloadSession::outcomeRecorded, &owner_,
                         [this](const std::string&, const AttemptResult& outcome) {
                             result_ = outcome;
                             if (round_)
                                 round_->quit();
                             if (outcome.checked.empty())
                                 std::fprintf(stderr, "the walk did not check the file's digest\n");
                         });
        const auto endRound = [this] {
            if (round_)
                round_->quit(); // no outcome: the round failed
        };
        QObject::connect(&session_, &DownloadSession::rowStatesChanged, &owner_, endRound);
        QObject::connect(
            &session_, &DownloadSession::browserFailed, &owner_, [endRound](const QString& reason) {
                std::fprintf(stderr, "the browser cannot start: %s\n", qPrintable(reason));
                endRound();
            });
        QObject::connect(&session_, &DownloadSession::stepFailed, &owner_, [](const QString& what) {
            std::fprintf(stderr, "cycle step failed: %s\n", qPrintable(what));
        });
    }

    WalkRound run(int limitMs) {
        WalkRound result;
        result_.reset();
        submitClock_.invalidate();
        if (session_.queue().isEmpty())
            session_.appendLinks({link_});
        QEventLoop loop;
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        round_ = &loop;
        QElapsedTimer clock;
        clock.start();
        session_.start();
        loop.exec();
        round_ = nullptr;
        result.walkSeconds = clock.elapsed() / 1000.0;
        result.submitSeconds = submitClock_.isValid() ? submitClock_.elapsed() / 1000.0 : 0;
        if (!result_) {
            std::fprintf(stderr, "the walk did not end in %d s\n", limitMs / 1000);
            session_.stop();
        } else if (result_->outcome != OutcomeKind::Success) {
            std::fprintf(stderr, "the walk failed: %s\n", result_->reason.text.c_str());
        }
        result.ended =
            result_ && result_->outcome == OutcomeKind::Success && !result_->checked.empty();
        return result;
    }

  private:
    std::string link_;
    QObject owner_;
    LazyBrowser browser_;
    HttpClient http_;
    DownloadSession session_;
    std::optional<AttemptResult> result_;
    QEventLoop* round_ = nullptr;
    QElapsedTimer submitClock_;
};

void report(const char* what, double bytes, double seconds, double curlRate) {
    const double rate = bytes / 1048576.0 / seconds;
    std::printf("  %-34s %8.1f MiB/s (%6.2f s)  %5.2f x curl  %s\n", what, rate, seconds,
                rate / curlRate, rate >= 0.95 * curlRate ? ">= 0.95" : "BELOW 0.95");
}

} // namespace

int main(int argc, char** argv) {
    const long long mebibytes = argc > 1 ? std::atoll(argv[1]) : 1024;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const long long bytes = mebibytes * 1024 * 1024;
    if (mebibytes <= 0 || mebibytes > 1024 * 1024) {
        std::fprintf(stderr, "usage: vardelo_session_bench [MiB (1 to 1048576)] [rounds]\n");
        return 2;
    }

    QTemporaryDir dir;
    keepRunIn(dir);
    QApplication app(argc, argv);

    const QString nginx = findNginx();
    if (nginx.isEmpty()) {
        std::fprintf(stderr, "nginx not found: apt-get install nginx-light\n");
        return 2;
    }
    const QString prefix = dir.path() + QStringLiteral("/nginx");
    const int port = freePort();
    const QString origin = QStringLiteral("http://127.0.0.1:%1").arg(port);
    QDir().mkpath(prefix + QStringLiteral("/tmp"));
    const std::string sha256 = writeBigFile(prefix + QStringLiteral("/www/k/big.bin"), bytes);
    if (sha256.empty() || !writeFile(prefix + QStringLiteral("/nginx.conf"), nginxConfig(port)) ||
        !writeFile(prefix + QStringLiteral("/www/s/page.html"), hostPage(sha256)) ||
        !writeFile(dir.path() + QStringLiteral("/profiles/bench.json"), kProfile)) {
        std::fprintf(stderr, "cannot write the server's files under %s\n", qPrintable(dir.path()));
        return 2;
    }
    QProcess server;
    if (!startNginx(server, nginx, prefix, {port}))
        return 2;

    const LoadedProfiles loaded = loadHostProfiles({dir.path() + QStringLiteral("/profiles")});
    if (!loaded.problems.isEmpty() || loaded.profiles.size() != 1) {
        std::fprintf(stderr, "%s\n", qPrintable(profileProblemsText(loaded.problems)));
        return 2;
    }

    const QString file = origin + QStringLiteral("/k/big.bin");
    const QString page = origin + QStringLiteral("/s/page.html");
    HttpSession session;
    session.userAgent = "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
                        "Chrome/118.0 Safari/537.36";
    session.referer = page.toStdString();
    const std::string cookie = kSessionCookie;
    const auto pos = cookie.find('=');
    session.cookies = {{"127.0.0.1", "/", false, 0, cookie.substr(0, pos), cookie.substr(pos + 1)},
                       {"127.0.0.1", "/", false, 0, "lang", "hu"},
                       {"127.0.0.1", "/s/", false, 0, "seen", "1"}};

    const QString curlFolder = dir.path() + QStringLiteral("/curl");
    const QString workerFolder = dir.path() + QStringLiteral("/worker");
    const QString walkFolder = dir.path() + QStringLiteral("/walk");
    for (const QString& folder : {curlFolder, workerFolder, walkFolder})
        QDir().mkpath(folder);
    Walk walk(page.toStdString(), walkFolder, loaded.profiles);
    HttpClient http;

    // Alternate the three and keep each one's best round, so the disk's
    // write-back of an earlier round does not decide the comparison.
    double curlBest = 1e9;
    double workerBest = 1e9;
    WalkRound walkBest{false, 1e9, 1e9};
    bool ended = true;
    for (int round = 0; round < rounds; ++round) {
        const auto curl = curlSeconds(file, curlFolder + QStringLiteral("/big.bin"),
                                      {QStringLiteral("-b"), QLatin1String(kSessionCookie)});
        ended = ended && curl;
        curlBest = std::min(curlBest, curl.value_or(1e9));
        QFile::remove(curlFolder + QStringLiteral("/big.bin"));

        const RoundResult worker = runWorker(http, file, workerFolder, session);
        ended = ended && worker.ended && worker.received == bytes;
        if (worker.ended) // a failed round's time says nothing
            workerBest = std::min(workerBest, worker.seconds);
        QFile::remove(workerFolder + QStringLiteral("/big.bin"));

        const WalkRound walked = walk.run(600000);
        const bool whole = QFileInfo(walkFolder + QStringLiteral("/big.bin")).size() == bytes;
        ended = ended && walked.ended && whole;
        if (walked.ended) {
            walkBest.walkSeconds = std::min(walkBest.walkSeconds, walked.walkSeconds);
            walkBest.submitSeconds = std::min(walkBest.submitSeconds, walked.submitSeconds);
        }
        QFile::remove(walkFolder + QStringLiteral("/big.bin"));
        std::printf("round %d: curl %.2f s, worker %.2f s, walk %.2f s (%.2f s from the submit)\n",
                    round + 1, curl.value_or(0), worker.seconds, walked.walkSeconds,
                    walked.submitSeconds);
        std::fflush(stdout);
    }
    server.terminate();
    server.waitForFinished();

    const double curlRate = bytes / 1048576.0 / curlBest;
    std::printf("%lld MiB from a local nginx, best of %d alternating rounds (%s)\n", mebibytes,
                rounds, ended ? "complete" : "FAILED");
    std::printf("  %-34s %8.1f MiB/s (%6.2f s)\n", "curl -o", curlRate, curlBest);
    report("worker in a browser's session", bytes, workerBest, curlRate);
    report("walk, SHA-256 checked, from submit", bytes, walkBest.submitSeconds, curlRate);
    report("walk, from Start (page included)", bytes, walkBest.walkSeconds, curlRate);
    return ended ? 0 : 1;
}
