// Several links at once, against local hosts: three page hosts (the test
// host's built-in pages, each on its own port, so each is a host of its
// own) whose wait pages send the transfer to files a local nginx serves.
//  queue:     3 hosts x 3 links (10-s waits, 64 MiB files) through the
//             window, with "Egyszerre letöltött fájlok:" at 1 and at 3:
//             both wall times and their ratio (aimed at <= 0.40).
//  transfers: three files at once through three transfer workers sharing
//             the program's one HTTP client, against three `curl -o` at
//             once; alternating rounds, best of each (aimed at >= 0.9).
//  ticks:     three links of large files through the window at 3 at once,
//             no wait, the event loop watched by a 1 ms timer: the longest
//             pause of the window's thread while the transfers run (aimed
//             at <= 50 ms).
// A program, not a test.
//   vardelo_at_once_bench [all|queue|transfers|ticks] [MiB] [rounds]
//                             (default all, 1024 MiB for transfers and ticks, 3 rounds)
#include "BenchWindow.h"
#include "LocalNginx.h"
#include "TestHost.h"
#include "WorkerRound.h"

#include "app/Unit2.h"
#include "core/DownloadQueue.h"
#include "core/EventLog.h"
#include "core/RecordFile.h"
#include "platform/Dialogs.h"
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
#include <QProgressBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace vardelo;

namespace {

constexpr int kHosts = 3;
constexpr int kLinksPerHost = 3;
constexpr int kQueueWaitSeconds = 10;
constexpr long long kQueueFileBytes = 64LL * 1024 * 1024;

// /q/ANY is the queue's 64 MiB file, /f/ANY the large one: each link its
// own address and name, one file on disk.
QByteArray nginxConfig(int port) {
    return nginxPreamble(64) +
           "  sendfile on;\n"
           "  tcp_nopush on;\n"
           "  default_type application/octet-stream;\n"
           "  server {\n"
           "    listen 127.0.0.1:" +
           QByteArray::number(port) +
           ";\n"
           "    root www;\n"
           "    location /q/ { try_files /q.bin =404; }\n"
           "    location /f/ { try_files /big.bin =404; }\n"
           "  }\n"
           "}\n";
}

bool writeBigFile(const QString& path, long long bytes) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray piece(1 << 20, '\0');
    for (int i = 0; i < piece.size(); ++i)
        piece[i] = static_cast<char>(i * 7 + i / 251);
    for (long long left = bytes; left > 0; left -= piece.size()) {
        const qint64 size = std::min<long long>(left, piece.size());
        if (file.write(piece.constData(), size) != size)
            return false;
    }
    return true;
}

// The links of the hosts in turn, as a queue lists links of several hosts;
// each host's wait page sends its transfer to `file` + a name of its own.
std::vector<std::string> linksOf(const std::vector<std::unique_ptr<TestHost>>& hosts, int perHost,
                                 const std::string& file) {
    std::vector<std::string> links;
    for (int i = 0; i < perHost; ++i)
        for (std::size_t host = 0; host < hosts.size(); ++host)
            links.push_back(hosts[host]->linkFor("raw:" + file + "h" + std::to_string(host) + "-" +
                                                 std::to_string(i) + ".bin"));
    return links;
}

struct WindowRun {
    bool ended = false;
    double seconds = 0;
    int succeeded = 0;
    // The event loop's pauses, while transfers ran and in all.
    double longestPauseMs = 0;
    double longestTransferPauseMs = 0;
    double pauseP99Ms = 0;
    double longestPauseCpuMs = 0; // of the longest, the thread itself ran
    std::size_t ticks = 0;
};

// The whole program's window with this queue, "Egyszerre letöltött fájlok:"
// set on its settings page, Start clicked, until the queue is done. The
// browser engine is started first (a look at "Weblap"), so its start is not
// counted. `fileBytes`: the gauge's maximum while a transfer runs.
WindowRun windowRun(const QString& folder, const std::vector<std::string>& links, int atOnce,
                    long long fileBytes, int limitSeconds) {
    WindowRun run;
    BenchWindow window(folder, links, nullptr);
    TForm1* form = window.form.get();
    LazyBrowser& browser = window.browser;
    auto* start = form->findChild<QAbstractButton*>(QStringLiteral("inditas"));
    auto* atOnceBox = form->findChild<QSpinBox*>(QStringLiteral("Egyszerre"));
    auto* deadWait = form->findChild<QSpinBox*>(QStringLiteral("elhalt"));
    auto* pages = form->findChild<QTabWidget*>(QStringLiteral("Lapok"));
    auto* webPage = form->findChild<QWidget*>(QStringLiteral("Weblap"));
    auto* gauge = form->findChild<QProgressBar*>(QStringLiteral("gauge1"));
    if (!start || !atOnceBox || !deadWait || !pages || !webPage || !gauge ||
        form->queue().rowCount() != static_cast<int>(links.size()) + 1) {
        std::fprintf(stderr, "the window lacks its controls or its queue\n");
        return run;
    }
    atOnceBox->setValue(atOnce);
    deadWait->setValue(0);
    pages->setCurrentWidget(webPage);
    QElapsedTimer engineStart;
    engineStart.start();
    while (!browser.started() && engineStart.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    pages->setCurrentIndex(0);
    QCoreApplication::processEvents();
    QEventLoop loop;

    std::vector<qint64> gaps;
    QElapsedTimer clock;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    qint64 last = 0;
    qint64 lastCpu = threadCpuNanoseconds();
    qint64 longest = 0, longestCpu = 0, longestInTransfer = 0;
    bool transferSeen = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        const qint64 cpu = threadCpuNanoseconds();
        const qint64 gap = now - last;
        if (gap > longest) {
            longest = gap;
            longestCpu = cpu - lastCpu;
        }
        // While the gauge shows a transfer's bytes, transfers run.
        const bool transferring = gauge->maximum() == fileBytes;
        transferSeen = transferSeen || (transferring && gauge->value() > 0);
        if (transferSeen)
            longestInTransfer = std::max(longestInTransfer, gap);
        gaps.push_back(gap);
        last = now;
        lastCpu = cpu;
    });
    const auto done = [&] { return !form->downloading() && form->queue().isEmpty(); };
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    clock.start();
    tick.start();
    poll.start();
    QTimer::singleShot(limitSeconds * 1000, &loop, &QEventLoop::quit);
    start->click();
    loop.exec();
    run.seconds = clock.elapsed() / 1000.0;
    run.ended = done();
    tick.stop();
    poll.stop();

    const EventLog& log = form->log();
    for (int row = 1; row < log.grid().rowCount(); ++row)
        run.succeeded += log.grid().cell(row, LogStatus) == "Sikeres letöltés" ? 1 : 0;
    std::sort(gaps.begin(), gaps.end());
    run.ticks = gaps.size();
    run.pauseP99Ms = gaps.empty() ? 0 : gaps[gaps.size() * 99 / 100] / 1e6;
    run.longestPauseMs = longest / 1e6;
    run.longestPauseCpuMs = longestCpu / 1e6;
    run.longestTransferPauseMs = longestInTransfer / 1e6;
    window.form.reset();
    QCoreApplication::processEvents();
    QDir(folder).removeRecursively();
    return run;
}

bool queuePart(const QString& folder, const std::vector<std::unique_ptr<TestHost>>& hosts,
               const std::string& nginxOrigin) {
    for (const auto& host : hosts)
        host->setWaitSeconds(kQueueWaitSeconds);
    const std::vector<std::string> links = linksOf(hosts, kLinksPerHost, nginxOrigin + "/q/");
    const int limit = 60 * 30;
    const WindowRun one =
        windowRun(folder + QStringLiteral("/queue-1"), links, 1, kQueueFileBytes, limit);
    std::printf("queue, one at a time:   %7.1f s (%d of %zu downloaded)\n", one.seconds,
                one.succeeded, links.size());
    std::fflush(stdout);
    const WindowRun three =
        windowRun(folder + QStringLiteral("/queue-3"), links, 3, kQueueFileBytes, limit);
    std::printf("queue, three at once:   %7.1f s (%d of %zu downloaded)\n", three.seconds,
                three.succeeded, links.size());
    const bool complete = one.ended && three.ended &&
                          one.succeeded == static_cast<int>(links.size()) &&
                          three.succeeded == static_cast<int>(links.size());
    const double ratio = three.seconds / one.seconds;
    std::printf("%d hosts x %d links, %d-s waits, %lld MiB files (%s): three at once take "
                "%.2f x the time  %s\n",
                kHosts, kLinksPerHost, kQueueWaitSeconds, kQueueFileBytes >> 20,
                complete ? "complete" : "FAILED", ratio, ratio <= 0.40 ? "<= 0.40" : "ABOVE 0.40");
    std::fflush(stdout);
    return complete;
}

// Three workers at once through one client, as the program runs them: the
// wall time until the last has ended; negative when one failed.
double workersAtOnce(HttpClient& http, const std::vector<QString>& urls,
                     const std::vector<QString>& folders, long long bytes) {
    std::vector<std::unique_ptr<TTesztThread>> workers;
    int finished = 0;
    bool whole = true;
    QEventLoop loop;
    QElapsedTimer clock;
    for (std::size_t i = 0; i < urls.size(); ++i) {
        workers.push_back(std::make_unique<TTesztThread>(
            http, urls[i].toStdString(), urls[i].toStdString(), folders[i].toStdString()));
        TTesztThread* worker = workers.back().get();
        QObject::connect(worker, &TTesztThread::workEnd, worker,
                         [&whole, bytes](qint64 size) { whole = whole && size == bytes; });
        QObject::connect(worker, &TTesztThread::failed, worker, [&whole](const FailureReason& why) {
            whole = false;
            std::fprintf(stderr, "transfer failed: %s\n", why.text.c_str());
        });
        QObject::connect(worker, &QThread::finished, &loop, [&] {
            if (++finished == static_cast<int>(urls.size()))
                loop.quit();
        });
    }
    clock.start();
    for (auto& worker : workers)
        worker->start();
    loop.exec();
    const double seconds = clock.elapsed() / 1000.0;
    QCoreApplication::processEvents(); // what the workers sent last
    return whole ? seconds : -seconds;
}

// Three `curl -o` at once: the wall time; negative when one failed.
double curlsAtOnce(const std::vector<QString>& urls, const std::vector<QString>& targets) {
    std::vector<std::unique_ptr<QProcess>> curls;
    QElapsedTimer clock;
    clock.start();
    for (std::size_t i = 0; i < urls.size(); ++i) {
        curls.push_back(std::make_unique<QProcess>());
        curls.back()->start(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-f"),
                                                     QStringLiteral("-o"), targets[i], urls[i]});
    }
    bool ok = true;
    for (auto& curl : curls)
        ok = curl->waitForFinished(-1) && curl->exitCode() == 0 && ok;
    const double seconds = clock.elapsed() / 1000.0;
    return ok ? seconds : -seconds;
}

bool transfersPart(const QString& folder, const std::string& nginxOrigin, long long bytes,
                   int rounds) {
    HttpClient http;
    std::vector<QString> urls, workerFolders, curlTargets;
    for (int i = 0; i < kHosts; ++i) {
        urls.push_back(QString::fromStdString(nginxOrigin) + QStringLiteral("/f/t%1.bin").arg(i));
        workerFolders.push_back(folder + QStringLiteral("/workers/%1").arg(i));
        curlTargets.push_back(folder + QStringLiteral("/curl/t%1.bin").arg(i));
        QDir().mkpath(workerFolders.back());
    }
    QDir().mkpath(folder + QStringLiteral("/curl"));
    double workersBest = 1e9, curlBest = 1e9;
    bool complete = true;
    for (int round = 0; round < rounds; ++round) {
        const double curl = curlsAtOnce(urls, curlTargets);
        for (const QString& target : curlTargets)
            QFile::remove(target);
        const double workers = workersAtOnce(http, urls, workerFolders, bytes);
        for (const QString& workerFolder : workerFolders) {
            QDir(workerFolder).removeRecursively();
            QDir().mkpath(workerFolder);
        }
        complete = complete && curl > 0 && workers > 0;
        if (curl > 0)
            curlBest = std::min(curlBest, curl);
        if (workers > 0)
            workersBest = std::min(workersBest, workers);
        std::printf("round %d: three curl -o %.2f s, three workers %.2f s\n", round + 1, curl,
                    workers);
        std::fflush(stdout);
    }
    const double mib = 3.0 * static_cast<double>(bytes) / 1048576.0;
    const double curlRate = mib / curlBest, workersRate = mib / workersBest;
    std::printf("three files of %lld MiB at once from a local nginx, best of %d alternating "
                "rounds (%s)\n",
                bytes >> 20, rounds, complete ? "complete" : "FAILED");
    std::printf("  three curl -o          %8.1f MiB/s together (%6.2f s)\n", curlRate, curlBest);
    std::printf("  three transfer workers %8.1f MiB/s together (%6.2f s)  %5.2f x curl  %s\n",
                workersRate, workersBest, workersRate / curlRate,
                workersRate >= 0.9 * curlRate ? ">= 0.9" : "BELOW 0.9");
    std::fflush(stdout);
    return complete;
}

bool ticksPart(const QString& folder, const std::vector<std::unique_ptr<TestHost>>& hosts,
               const std::string& nginxOrigin, long long bytes) {
    for (const auto& host : hosts)
        host->setWaitSeconds(0);
    const std::vector<std::string> links = linksOf(hosts, 1, nginxOrigin + "/f/");
    const WindowRun run = windowRun(folder + QStringLiteral("/ticks"), links, 3, bytes, 60 * 30);
    const bool complete = run.ended && run.succeeded == static_cast<int>(links.size());
    std::printf("window, three links of %lld MiB at 3 at once, %.1f s (%s):\n", bytes >> 20,
                run.seconds, complete ? "complete" : "FAILED");
    std::printf("  longest pause while transfers ran %7.1f ms  %s\n", run.longestTransferPauseMs,
                run.longestTransferPauseMs <= 50 ? "<= 50 ms" : "ABOVE 50 ms");
    std::printf("  longest pause of the run          %7.1f ms (%.1f ms of it running)\n",
                run.longestPauseMs, run.longestPauseCpuMs);
    std::printf("  99th percentile pause             %7.1f ms (%zu ticks)\n", run.pauseP99Ms,
                run.ticks);
    std::fflush(stdout);
    return complete;
}

} // namespace

int main(int argc, char** argv) {
    const std::string part = argc > 1 ? argv[1] : "all";
    const long long mebibytes = argc > 2 ? std::atoll(argv[2]) : 1024;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    if ((part != "all" && part != "queue" && part != "transfers" && part != "ticks") ||
        mebibytes <= 0 || mebibytes > 2047) {
        std::fprintf(stderr, "usage: vardelo_at_once_bench [all|queue|transfers|ticks] "
                             "[MiB (1 to 2047)] [rounds]\n");
        return 2;
    }
    const long long bytes = mebibytes * 1024 * 1024;

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
    const std::string origin = "http://127.0.0.1:" + std::to_string(port);
    QDir().mkpath(prefix + QStringLiteral("/tmp"));
    if (!writeFile(prefix + QStringLiteral("/nginx.conf"), nginxConfig(port)) ||
        !writeBigFile(prefix + QStringLiteral("/www/q.bin"), kQueueFileBytes) ||
        !writeBigFile(prefix + QStringLiteral("/www/big.bin"), bytes)) {
        std::fprintf(stderr, "cannot write the server's files under %s\n", qPrintable(dir.path()));
        return 2;
    }
    QProcess server;
    if (!startNginx(server, nginx, prefix, {port}))
        return 2;
    std::vector<std::unique_ptr<TestHost>> hosts;
    for (int i = 0; i < kHosts; ++i)
        hosts.push_back(std::make_unique<TestHost>());

    bool complete = true;
    if (part == "all" || part == "transfers")
        complete =
            transfersPart(dir.path() + QStringLiteral("/transfers"), origin, bytes, rounds) &&
            complete;
    if (part == "all" || part == "ticks")
        complete = ticksPart(dir.path(), hosts, origin, bytes) && complete;
    if (part == "all" || part == "queue")
        complete = queuePart(dir.path(), hosts, origin) && complete;

    server.terminate();
    server.waitForFinished();
    return complete ? 0 : 1;
}
