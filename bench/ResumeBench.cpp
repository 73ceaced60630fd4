// A large file interrupted at half and fetched again through the transfer
// worker, once from a server that honours Range and once from one that
// refuses it. Prints the bytes the server sent again, the time of each
// second attempt and whether the result is byte-identical. A program, not
// a test.
//   vardelo_resume_bench [MiB]      (default 1024)
#include "TestHost.h"
#include "core/PartialFile.h"
#include "platform/HttpClient.h"
#include "session/letolto.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace vardelo;

namespace {

struct Attempt {
    bool ended = false;
    double seconds = 0;
    qint64 partialAtStart = 0;
};

// One worker; `stopAt` > 0 abandons it once that many bytes of the file are in.
Attempt runWorker(HttpClient& http, const std::string& url, const QString& folder, qint64 stopAt) {
    Attempt attempt;
    const PartialNames names =
        partialNamesFor(url, (folder + QStringLiteral("/big.bin")).toStdString());
    attempt.partialAtStart =
        QFile(qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/Vardelo/partials/") +
              QString::fromStdString(names.partial))
            .size();
    TTesztThread worker(http, url, url, folder.toStdString()); // the address as its link
    QObject::connect(&worker, &TTesztThread::work, &worker, [&](qint64 amount) {
        if (stopAt > 0 && amount >= stopAt)
            worker.abandon();
    });
    QObject::connect(&worker, &TTesztThread::workEnd, &worker,
                     [&](qint64) { attempt.ended = true; });
    QObject::connect(&worker, &TTesztThread::failed, &worker, [](const FailureReason& why) {
        std::fprintf(stderr, "transfer failed: %s\n", why.text.c_str());
    });
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    worker.start();
    loop.exec();
    QCoreApplication::processEvents();
    attempt.seconds = clock.elapsed() / 1000.0;
    return attempt;
}

bool sameAs(const QString& path, const std::string& body) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() != static_cast<qint64>(body.size()))
        return false;
    std::size_t at = 0;
    while (!file.atEnd()) {
        const QByteArray piece = file.read(8 << 20);
        if (std::memcmp(piece.constData(), body.data() + at, piece.size()) != 0)
            return false;
        at += static_cast<std::size_t>(piece.size());
    }
    return true;
}

std::string sampleBody(std::size_t size) {
    std::string body(size, '\0');
    unsigned state = 4;
    for (char& c : body) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return body;
}

bool round(HostedFile::Mode mode, const char* title, const std::string& body) {
    TestHost host;
    HostedFile hosted;
    hosted.body = body;
    hosted.mode = mode;
    hosted.pieceBytes = 256 * 1024;
    host.addFile("big.bin", std::move(hosted));
    const std::string url = host.base() + "/files/big.bin";
    QTemporaryDir dir;
    qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path() + QStringLiteral("/state")));
    HttpClient http;
    const qint64 total = static_cast<qint64>(body.size());

    const Attempt first = runWorker(http, url, dir.path(), total / 2);
    const std::uint64_t sentBefore = host.rangedBytesSent();
    const Attempt second = runWorker(http, url, dir.path(), 0);
    const std::uint64_t sentAgain = host.rangedBytesSent() - sentBefore;
    const bool exact = second.ended && sameAs(dir.path() + QStringLiteral("/big.bin"), body);
    const qint64 kept = second.partialAtStart;

    std::printf("%s\n", title);
    std::printf("  interrupted after:      %12lld bytes (%.2f s)\n", kept, first.seconds);
    std::printf("  second attempt fetched: %12llu bytes (%.2f s)\n",
                static_cast<unsigned long long>(sentAgain), second.seconds);
    std::printf("  fetched again:          %12lld bytes\n",
                static_cast<long long>(sentAgain) - (total - kept));
    std::printf("  result:                 %s\n", exact ? "byte-identical" : "DIFFERENT");
    return exact;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const long long mebibytes = argc > 1 ? std::atoll(argv[1]) : 1024;
    const std::string body = sampleBody(static_cast<std::size_t>(mebibytes) * 1024 * 1024);
    std::printf("%lld MiB from a local server, interrupted at half\n", mebibytes);
    const bool honoured = round(HostedFile::Mode::Ranged, "server honours Range:", body);
    const bool refused = round(HostedFile::Mode::RangeRefused, "server refuses Range (200):", body);
    return honoured && refused ? 0 : 1;
}
