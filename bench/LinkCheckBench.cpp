// The link check against three local hosts (three nginx servers on three
// ports, one process), with the real browser engine and HTTP client:
//  1. The window itself with 100,000 queued links: "Linkek ellenőrzése"
//     pressed, the event loop's longest pause measured by a 1 ms timer for
//     some seconds, then Stop and the time until the check has ended. Once
//     with links a profile claims, once with links none claims.
//  2. 300 queued links, 100 a host, checked by the check's runner, against
//     fetching those 300 first pages with `curl` in three parallel streams
//     (one curl a host, its 100 addresses in a row); the same for links no
//     profile claims, which are asked with a HEAD. Alternating rounds, best
//     of each.
// A program, not a test.
//   vardelo_link_check_bench [rounds] [seconds] [both|window|links]
//                                       (default 3 rounds, 10 s, both parts)
#include "BenchWindow.h"
#include "LocalNginx.h"

#include "session/LinkCheckRunner.h"
#include "app/Unit2.h"
#include "core/DownloadQueue.h"
#include "core/HostProfile.h"
#include "core/RecordFile.h"
#include "platform/Dialogs.h"
#include "platform/HostProfileFiles.h"
#include "platform/HttpClient.h"
#include "platform/LazyBrowser.h"
#include "platform/QtSettingsStore.h"
#include "platform/RecordFiles.h"
#include "platform/SkinEngine.h"
#include "platform/WebEngineBrowser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace vardelo;

namespace {

constexpr int kHosts = 3;
constexpr int kLinksPerHost = 100;
constexpr int kQueuedLinks = 100'000;

// Each host answers every /x/ address with its file page, a tenth of them
// (/x/gone...) with its "file removed" page, and every /f/ address with a
// small file: the addresses differ, the answers are one file each.
QByteArray nginxConfig(const std::vector<int>& ports) {
    QByteArray config = nginxPreamble(256) + "  keepalive_requests 1000000;\n"
                                             "  types { text/html html; }\n"
                                             "  default_type application/octet-stream;\n";
    for (std::size_t host = 0; host < ports.size(); ++host) {
        const QByteArray root = "www" + QByteArray::number(host);
        config += "  server {\n"
                  "    listen 127.0.0.1:" +
                  QByteArray::number(ports[host]) +
                  ";\n"
                  "    root " +
                  root +
                  ";\n"
                  "    location /x/gone { default_type text/html; try_files /gone.html =404; }\n"
                  "    location /x/ { default_type text/html; try_files /page.html =404; }\n"
                  "    location /f/ { try_files /file.bin =404; }\n"
                  "  }\n";
    }
    return config + "}\n";
}

// The first page of an XFileSharing host: the file's name in the form's
// field, its size beside it, its digest in a cell, the "Free Download"
// button.
QByteArray filePage(int host) {
    const QByteArray name = "bench-file-" + QByteArray::number(host) + ".zip";
    QByteArray padding;
    for (int i = 0; i < 40; ++i)
        padding += "<p class=\"ad\">Premium download: no waiting, no captcha, full speed.</p>\n";
    return "<!DOCTYPE html><html><head><title>Download " + name +
           "</title></head><body>\n"
           "<div class=\"file\"><h2>Download File " +
           name +
           "</h2>\n"
           "<span class=\"size\">(345,2 MB)</span>\n"
           "<table><tr><td>SHA-256</td><td id=\"sha256\">"
           "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08</td></tr></table>\n"
           "<form method=\"POST\" action=\"\">\n"
           "<input type=\"hidden\" name=\"op\" value=\"download1\">\n"
           "<input type=\"hidden\" name=\"fname\" value=\"" +
           name +
           "\">\n"
           "<input type=\"submit\" name=\"method_free\" value=\"Free Download\">\n"
           "</form></div>\n" +
           padding + "</body></html>\n";
}

QByteArray gonePage() {
    return "<!DOCTYPE html><html><head><title>File Not Found</title></head><body>\n"
           "<h2>File Not Found</h2><p>The file was removed by the administrator.</p>\n"
           "</body></html>\n";
}

// A host's profile: its own port's links, as each file host has its own
// (the check loads one page of a profile at a time). Its readers are
// patterns, as pyLoad's and plowshare's rules read such pages; with
// `selectors`, the name and the digest are read by CSS selectors, which the
// check reads in the page's text as sent (the browser only where that
// lacks them).
QByteArray profileOf(int host, int port, bool selectors) {
    const QByteArray name =
        selectors ? R"json({"selector": "input[name=fname]", "attribute": "value"})json"
                  : R"json({"pattern": "name=\"fname\" value=\"([^\"]*)\""})json";
    const QByteArray hash = selectors ? R"json({"selector": "#sha256", "hash_type": "sha256"})json"
                                      : R"json({"pattern": "id=\"sha256\">([0-9a-f]{64})<"})json";
    return R"json({
  "name": "Bench XFS host )json" +
           QByteArray::number(host) + R"json(",
  "links": ["^http://127\\.0\\.0\\.1:)json" +
           QByteArray::number(port) + R"json(/x/"],
  "dead": "File Not Found|file was removed",
  "steps": [{"submit": "input[name=method_free]",
             "name": )json" +
           name + R"json(,
             "size": {"pattern": "<span class=\"size\">\\(([^)]*)\\)"},
             "hash": )json" +
           hash + R"json(}]
})json";
}

// The links of the hosts in turn, as a queue lists links of several hosts:
// `perHost` of each, every tenth of a host's file pages a removed one.
std::vector<std::string> linksOf(const std::vector<int>& ports, int perHost, bool claimed) {
    std::vector<std::string> links;
    links.reserve(ports.size() * static_cast<std::size_t>(perHost));
    for (int i = 0; i < perHost; ++i)
        for (const int port : ports) {
            const std::string origin = "http://127.0.0.1:" + std::to_string(port);
            const std::string id = std::to_string(100000000000 + i);
            if (!claimed)
                links.push_back(origin + "/f/" + id + "/bench-" + std::to_string(i) + ".bin");
            else if (i % 10 == 9)
                links.push_back(origin + "/x/gone" + id);
            else
                links.push_back(origin + "/x/" + id + "/bench-" + std::to_string(i) + ".zip.html");
        }
    return links;
}

// Three curl processes at once, each fetching its host's links in a row
// over one connection: the wall time, or a negative one when one failed.
double curlStreams(const std::vector<std::string>& links, const std::vector<int>& ports,
                   bool headOnly) {
    std::vector<QStringList> arguments(ports.size(), QStringList{QStringLiteral("-s")});
    std::vector<std::string> origins;
    for (const int port : ports)
        origins.push_back(std::string("http://127.0.0.1:").append(std::to_string(port)) + '/');
    for (const std::string& link : links)
        for (std::size_t host = 0; host < ports.size(); ++host)
            if (link.starts_with(origins[host])) {
                if (headOnly)
                    arguments[host] << QStringLiteral("-I");
                arguments[host] << QStringLiteral("-o") << QStringLiteral("/dev/null")
                                << QString::fromStdString(link);
            }
    std::vector<std::unique_ptr<QProcess>> streams;
    QElapsedTimer clock;
    clock.start();
    for (const QStringList& stream : arguments) {
        streams.push_back(std::make_unique<QProcess>());
        streams.back()->start(QStringLiteral("curl"), stream);
    }
    bool ok = true;
    for (auto& stream : streams)
        ok = stream->waitForFinished(600000) && stream->exitCode() == 0 && ok;
    const double seconds = clock.elapsed() / 1000.0;
    return ok ? seconds : -seconds;
}

struct CheckRound {
    double seconds = 0;
    std::size_t done = 0;
    std::size_t online = 0;
    std::size_t offline = 0;
};

CheckRound checkRound(Browser& browser, HttpClient& http, const HostProfiles& profiles,
                      const std::vector<std::string>& links) {
    LinkCheckRunner runner(browser, http, &profiles);
    QEventLoop loop;
    QObject::connect(&runner, &LinkCheckRunner::ended, &loop, &QEventLoop::quit);
    QTimer::singleShot(600000, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    runner.start(links);
    loop.exec();
    CheckRound round;
    round.seconds = clock.elapsed() / 1000.0;
    round.done = runner.done();
    for (const auto& [link, facts] : runner.results().all()) {
        round.online += facts.availability == Availability::Online ? 1 : 0;
        round.offline += facts.availability == Availability::Offline ? 1 : 0;
    }
    return round;
}

// Where a page's time goes: one hidden page loads these links in a row,
// reading each one's markup and its two selector readers as the check does.
void pageSteps(Browser& browser, const std::vector<std::string>& links) {
    std::unique_ptr<Browser> page(browser.makeHiddenPage(nullptr));
    if (!page)
        return;
    QEventLoop loop;
    QObject::connect(page.get(), &Browser::documentComplete, &loop, &QEventLoop::quit);
    QObject::connect(page.get(), &Browser::bodyMarkupRead, &loop, &QEventLoop::quit);
    QObject::connect(page.get(), &Browser::elementRead, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    double load = 0, markup = 0, elements = 0;
    quint64 ticket = 0;
    for (const std::string& link : links) {
        clock.start();
        page->navigate(QString::fromStdString(link));
        loop.exec();
        load += clock.nsecsElapsed() / 1e6;
        clock.start();
        page->readBodyMarkup(++ticket);
        loop.exec();
        markup += clock.nsecsElapsed() / 1e6;
        clock.start();
        page->readElement(++ticket, QStringLiteral("input[name=fname]"), QStringLiteral("value"));
        loop.exec();
        page->readElement(++ticket, QStringLiteral("#sha256"), QString());
        loop.exec();
        elements += clock.nsecsElapsed() / 1e6;
    }
    const double count = static_cast<double>(links.size());
    std::printf("  one hidden page, %zu pages in a row, a page's mean: load %.1f ms, markup %.1f "
                "ms, two selector readers %.1f ms\n",
                links.size(), load / count, markup / count, elements / count);
}

void compare(const char* what, double check, double curl) {
    std::printf("  %-28s check %6.2f s, curl %6.2f s: %5.2f x curl  %s\n", what, check, curl,
                check / curl, check <= 1.2 * curl ? "<= 1.2" : "ABOVE 1.2");
}

// The window with this queue, the check started as the user starts it, the
// event loop watched by a 1 ms timer, then stopped.
void windowRound(const char* what, const QString& folder, const HostProfiles& profiles,
                 const std::vector<std::string>& links, int seconds) {
    BenchWindow window(folder, links, &profiles);
    TForm1* form = window.form.get();
    auto* runner = form->findChild<LinkCheckRunner*>(QStringLiteral("linkCheck"));
    auto* check = form->findChild<QAbstractButton*>(QStringLiteral("checkLinks"));
    auto* stop = form->findChild<QAbstractButton*>(QStringLiteral("Stop"));
    if (!runner || !check || !stop || form->queue().rowCount() < kQueuedLinks) {
        std::fprintf(stderr, "%s: the window lacks its check or its queue\n", what);
        return;
    }

    std::vector<qint64> gaps;
    gaps.reserve(static_cast<std::size_t>(seconds) * 2000);
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    qint64 last = 0;
    qint64 longest = 0;
    qint64 longestAt = 0;  // when the longest pause began
    qint64 longestCpu = 0; // how much of it the thread itself ran, not waited for a core
    qint64 lastCpu = threadCpuNanoseconds();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNanoseconds();
        if (now - last > longest) {
            longest = now - last;
            longestAt = last;
            longestCpu = cpu - lastCpu;
        }
        gaps.push_back(now - last);
        last = now;
        lastCpu = cpu;
    });
    clock.start();
    tick.start();
    check->click();
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
    const std::size_t done = runner->done();
    const double ran = clock.elapsed() / 1000.0;
    const bool wasRunning = runner->running();

    // Stop as the user stops it: the Stop button where it takes a click,
    // else the check's own button, which says "Ellenőrzés leállítása" then.
    QElapsedTimer stopClock;
    bool ended = !runner->running();
    QObject::connect(runner, &LinkCheckRunner::ended, &loop, [&] {
        ended = true;
        loop.quit();
    });
    const bool byStop = stop->isEnabled();
    stopClock.start();
    if (!ended) {
        (byStop ? stop : check)->click();
        if (!ended) {
            QTimer::singleShot(60000, &loop, &QEventLoop::quit);
            loop.exec();
        }
    }
    const double stopMs = stopClock.nsecsElapsed() / 1e6;
    tick.stop();

    std::sort(gaps.begin(), gaps.end());
    const double p99 = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100] / 1e6;
    std::printf("%s, %d queued links, %.1f s of the check:\n", what, form->queue().rowCount(), ran);
    std::printf("  longest pause of the window's thread %7.1f ms  %s (%.2f s after the click, "
                "%.1f ms of it running)\n",
                longest / 1e6, longest <= 50'000'000 ? "<= 50 ms" : "ABOVE 50 ms", longestAt / 1e9,
                longestCpu / 1e6);
    std::printf("  99th percentile pause                %7.1f ms (%zu ticks)\n", p99, gaps.size());
    std::printf("  links checked                        %7zu (%.1f a second)%s\n", done, done / ran,
                wasRunning ? "" : ", all of them");
    std::printf("  from %s to the check's end      %7.1f ms%s\n",
                byStop ? "Stop        " : "the button  ", stopMs, ended ? "" : " (DID NOT END)");
    std::fflush(stdout);
    window.form.reset();
    QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const std::string parts = argc > 3 ? argv[3] : "both";
    if (parts != "both" && parts != "window" && parts != "links") {
        std::fprintf(stderr, "usage: vardelo_link_check_bench [rounds] [seconds] "
                             "[both|window|links]\n");
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
    std::vector<int> ports;
    while (static_cast<int>(ports.size()) < kHosts) {
        const int port = freePort();
        if (std::find(ports.begin(), ports.end(), port) == ports.end())
            ports.push_back(port);
    }
    QDir().mkpath(prefix + QStringLiteral("/tmp"));
    bool written = writeFile(prefix + QStringLiteral("/nginx.conf"), nginxConfig(ports));
    for (int host = 0; host < kHosts; ++host) {
        const QString root = prefix + QStringLiteral("/www%1/").arg(host);
        const int port = ports[static_cast<std::size_t>(host)];
        written = written &&
                  writeFile(dir.path() + QStringLiteral("/profiles/bench%1.json").arg(host),
                            profileOf(host, port, false)) &&
                  writeFile(dir.path() + QStringLiteral("/selectors/bench%1.json").arg(host),
                            profileOf(host, port, true)) &&
                  writeFile(root + QStringLiteral("page.html"), filePage(host)) &&
                  writeFile(root + QStringLiteral("gone.html"), gonePage()) &&
                  writeFile(root + QStringLiteral("file.bin"), QByteArray(4096, 'v'));
    }
    if (!written) {
        std::fprintf(stderr, "cannot write the server's files under %s\n", qPrintable(dir.path()));
        return 2;
    }
    QProcess server;
    if (!startNginx(server, nginx, prefix, ports))
        return 2;
    const LoadedProfiles loaded = loadHostProfiles({dir.path() + QStringLiteral("/profiles")});
    const LoadedProfiles bySelectors =
        loadHostProfiles({dir.path() + QStringLiteral("/selectors")});
    for (const LoadedProfiles* set : {&loaded, &bySelectors}) {
        if (!set->problems.isEmpty() || set->profiles.size() != static_cast<std::size_t>(kHosts)) {
            std::fprintf(stderr, "%s\n", qPrintable(profileProblemsText(set->problems)));
            return 2;
        }
    }

    // 1. The window with 100,000 queued links. The run's first check starts
    // the browser engine, as the program's first need of a page does; the
    // second finds it started.
    if (parts != "links") {
        const std::vector<std::string> queuedPages =
            linksOf(ports, kQueuedLinks / kHosts + 1, true);
        windowRound("window, links a profile claims, the engine's first start",
                    dir.path() + QStringLiteral("/window-cold"), loaded.profiles, queuedPages,
                    seconds);
        windowRound("window, links a profile claims, the engine started",
                    dir.path() + QStringLiteral("/window-pages"), loaded.profiles, queuedPages,
                    seconds);
        windowRound("window, links no profile claims (HEAD)",
                    dir.path() + QStringLiteral("/window-heads"), loaded.profiles,
                    linksOf(ports, kQueuedLinks / kHosts + 1, false), seconds);
    }

    // 2. 300 links: the check against curl.
    bool complete = true;
    if (parts != "window") {
        const std::vector<std::string> pages = linksOf(ports, kLinksPerHost, true);
        const std::vector<std::string> files = linksOf(ports, kLinksPerHost, false);
        LazyBrowser browser(makeEngine);
        HttpClient http;
        double curlPages = 1e9, curlHeads = 1e9, checkPages = 1e9, checkHeads = 1e9,
               checkSelectors = 1e9;
        double firstCheck = 0;
        for (int round = 0; round < rounds; ++round) {
            const double curlPage = curlStreams(pages, ports, false);
            const CheckRound page = checkRound(browser, http, loaded.profiles, pages);
            const CheckRound selected = checkRound(browser, http, bySelectors.profiles, pages);
            const double curlHead = curlStreams(files, ports, true);
            const CheckRound head = checkRound(browser, http, loaded.profiles, files);
            complete = complete && curlPage > 0 && curlHead > 0 && page.done == pages.size() &&
                       page.offline == pages.size() / 10 && selected.done == pages.size() &&
                       selected.offline == page.offline && head.done == files.size() &&
                       head.online == files.size();
            if (round == 0)
                firstCheck = page.seconds;
            curlPages = std::min(curlPages, std::abs(curlPage));
            curlHeads = std::min(curlHeads, std::abs(curlHead));
            checkPages = std::min(checkPages, page.seconds);
            checkSelectors = std::min(checkSelectors, selected.seconds);
            checkHeads = std::min(checkHeads, head.seconds);
            std::printf("round %d: pages: curl %.2f s, check %.2f s (%zu done, %zu online, %zu "
                        "offline), by selectors %.2f s; heads: curl %.2f s, check %.2f s (%zu "
                        "done, %zu online)\n",
                        round + 1, curlPage, page.seconds, page.done, page.online, page.offline,
                        selected.seconds, curlHead, head.seconds, head.done, head.online);
            std::fflush(stdout);
        }
        std::printf("%d links over %d local hosts, best of %d alternating rounds (%s)\n",
                    kHosts * kLinksPerHost, kHosts, rounds, complete ? "complete" : "FAILED");
        compare("first pages (patterns)", checkPages, curlPages);
        compare("first pages (selectors)", checkSelectors, curlPages);
        compare("headers (no profile, HEAD)", checkHeads, curlHeads);
        std::printf("  the first round's page check: %.2f s\n", firstCheck);
        pageSteps(browser, std::vector<std::string>(pages.begin(), pages.begin() + 30));
        std::fflush(stdout);
    }

    server.terminate();
    server.waitForFinished();
    return complete ? 0 : 1;
}
