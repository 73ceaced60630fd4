// A large file from a local server through the transfer worker and the HTTP
// client, then through `curl -o` from the same server. Prints both
// throughputs, their ratio, the peak memory and the progress updates that
// reached the window's thread per second. A program, not a test.
//   vardelo_transfer_bench [MiB]      (default 1024)
#include "app/letolto.h"
#include "platform/HttpClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace vardelo;

namespace {

struct RoundResult {
    bool ended = false;
    double seconds = 0;
    qint64 updates = 0;
    qint64 received = 0;
};

RoundResult runWorker(HttpClient& http, const QString& url, const QString& folder) {
    RoundResult result;
    TTesztThread worker(http, url.toStdString(), url.toStdString(), folder.toStdString());
    QElapsedTimer clock;
    QObject::connect(&worker, &TTesztThread::work, &worker, [&](qint64 amount) {
        ++result.updates;
        result.received = amount;
    });
    QObject::connect(&worker, &TTesztThread::workEnd, &worker, [&](qint64) {
        result.ended = true;
        result.seconds = clock.elapsed() / 1000.0;
    });
    QObject::connect(&worker, &TTesztThread::failed, &worker, [](const FailureReason& why) {
        std::fprintf(stderr, "transfer failed: %s\n", why.text.c_str());
    });
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    clock.start();
    worker.start();
    loop.exec();
    QCoreApplication::processEvents(); // what the worker sent last
    if (!result.ended)
        result.seconds = clock.elapsed() / 1000.0;
    return result;
}

long peakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long mebibytes = argc > 1 ? std::atoll(argv[1]) : 1024;
    const long long bytes = mebibytes * 1024 * 1024;
    const QString binDir = QCoreApplication::applicationDirPath();

    // The server runs as its own process, so its copy of the file does not
    // count in this program's memory.
    QTemporaryDir dir;
    QProcess host;
    host.start(binDir + QStringLiteral("/vardelo_testhost"),
               {QStringLiteral("--big"), QString::number(bytes), QStringLiteral("--links"),
                dir.path() + QStringLiteral("/links.txt")});
    host.waitForReadyRead(60000);
    const QString line = QString::fromUtf8(host.readLine()).trimmed();
    const QString base = line.section(QLatin1Char(' '), -1);
    const QString url = base + QStringLiteral("/files/big.bin");
    const long baseline = peakMemoryKiB();

    // Alternate the two clients and keep each one's best round, so the disk's
    // write-back of an earlier round does not decide the comparison.
    HttpClient http;
    double workerSeconds = 1e9;
    double curlSeconds = 1e9;
    qint64 updates = 0;
    qint64 received = 0;
    bool ended = true;
    for (int round = 0; round < 2; ++round) {
        const RoundResult result = runWorker(http, url, dir.path());
        ended = ended && result.ended;
        if (result.seconds < workerSeconds) {
            workerSeconds = result.seconds;
            updates = result.updates;
            received = result.received;
        }
        QFile::remove(dir.path() + QStringLiteral("/big.bin"));

        QElapsedTimer clock;
        clock.start();
        QProcess::execute(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-o"),
                                                   dir.path() + QStringLiteral("/curl.bin"), url});
        curlSeconds = std::min(curlSeconds, clock.elapsed() / 1000.0);
        QFile::remove(dir.path() + QStringLiteral("/curl.bin"));
    }
    host.terminate();
    host.waitForFinished();

    const double workerRate = bytes / 1048576.0 / workerSeconds;
    const double curlRate = bytes / 1048576.0 / curlSeconds;
    std::printf("%lld MiB from a local server (%s)\n", mebibytes, ended ? "complete" : "FAILED");
    std::printf("  worker and HTTP client: %8.1f MiB/s (%.2f s)\n", workerRate, workerSeconds);
    std::printf("  curl -o:                %8.1f MiB/s (%.2f s)\n", curlRate, curlSeconds);
    std::printf("  ratio:                  %8.2f\n", workerRate / curlRate);
    std::printf("  peak memory:            %8ld KiB (%ld KiB before the transfer)\n",
                peakMemoryKiB(), baseline);
    std::printf("  progress updates:       %8.1f a second (%lld in all, last %lld bytes)\n",
                updates / workerSeconds, updates, received);
    return ended ? 0 : 1;
}
