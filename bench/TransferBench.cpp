// A large file from a local server through the transfer worker and the HTTP
// client, then through `curl -o` from the same server. Prints both
// throughputs, their ratio, the peak memory and the progress updates that
// reached the window's thread per second. A program, not a test.
//   vardelo_transfer_bench [MiB]      (default 1024)
#include "WorkerRound.h"

#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace vardelo;

namespace {

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

        const auto seconds = vardelo::curlSeconds(url, dir.path() + QStringLiteral("/curl.bin"));
        ended = ended && seconds;
        curlSeconds = std::min(curlSeconds, seconds.value_or(1e9));
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
