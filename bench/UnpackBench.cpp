// Unpacking on the package worker against bsdtar (libarchive's own tool, so
// the reference reads the same bytes with the same library): a store-mode
// zip and an LZMA2 7z of random data, each in volumes, best of the rounds of
// each, alternating; the longest pause of the event loop's thread meanwhile
// (a 1 ms timer watching it); then 100 wrong passwords and the right one on
// an AES zip in volumes. A program, not a test.
//   vardelo_unpack_bench [MiB] [volumes] [rounds]   (default 1024, 10, 3)
#include "session/UnpackQueue.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace vardelo;
namespace fs = std::filesystem;

namespace {

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void writeRandom(const fs::path& path, std::int64_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 generator(42);
    std::vector<std::uint64_t> block(1 << 17);
    for (std::int64_t done = 0; done < bytes;) {
        for (auto& word : block)
            word = generator();
        const auto size = static_cast<std::int64_t>(
            std::min<std::size_t>(block.size() * 8, static_cast<std::size_t>(bytes - done)));
        out.write(reinterpret_cast<const char*>(block.data()), size);
        done += size;
    }
}

std::vector<std::string> volumesOf(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().starts_with(prefix))
            names.push_back(entry.path().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Round {
    double seconds = 0;
    double longestPauseMs = 0;
    bool unpacked = false;
};

// One package through the worker while a 1 ms timer watches the loop.
Round throughTheWorker(const UnpackJob& job) {
    Round round;
    UnpackQueue queue;
    QEventLoop loop;
    QElapsedTimer clock, sinceTick;
    QTimer ticks;
    ticks.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks, &QTimer::timeout, &loop, [&] {
        round.longestPauseMs = std::max(round.longestPauseMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    QObject::connect(&queue, &UnpackQueue::finished, &loop,
                     [&](const QString&, const UnpackResult& result) {
                         round.unpacked = result.kind == UnpackResult::Kind::Unpacked;
                         loop.quit();
                     });
    clock.start();
    sinceTick.start();
    ticks.start(1);
    queue.enqueue(QStringLiteral("bench"), job);
    loop.exec();
    round.seconds = clock.elapsed() / 1000.0;
    return round;
}

double throughBsdtar(const fs::path& whole, const fs::path& out) {
    fs::create_directories(out);
    QElapsedTimer clock;
    clock.start();
    run("bsdtar -xf '" + whole.string() + "' -C '" + out.string() + "'");
    return clock.elapsed() / 1000.0;
}

void compare(const char* what, const fs::path& work, const std::vector<std::string>& volumes,
             int rounds, double mebibytes) {
    const fs::path whole = work / "whole";
    run("cat" +
        [&] {
            std::string names;
            for (const auto& v : volumes)
                names += " '" + v + "'";
            return names;
        }() +
        " > '" + whole.string() + "'");
    double bestWorker = 1e9, bestBsdtar = 1e9, longestPause = 0;
    for (int r = 0; r < rounds; ++r) {
        fs::remove_all(work / "out");
        bestBsdtar = std::min(bestBsdtar, throughBsdtar(whole, work / "out"));
        fs::remove_all(work / "out");
        const Round round = throughTheWorker({volumes, (work / "out").string(), {}, bombFloor});
        if (!round.unpacked)
            std::printf("  the worker failed in round %d\n", r + 1);
        bestWorker = std::min(bestWorker, round.seconds);
        longestPause = std::max(longestPause, round.longestPauseMs);
    }
    fs::remove_all(work / "out");
    fs::remove(whole);
    std::printf("%s: worker %.2f s (%.0f MiB/s), bsdtar %.2f s (%.0f MiB/s): %.2f x bsdtar; "
                "longest pause of the loop %.1f ms\n",
                what, bestWorker, mebibytes / bestWorker, bestBsdtar, mebibytes / bestBsdtar,
                bestBsdtar / bestWorker, longestPause);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int mebibytes = argc > 1 ? std::atoi(argv[1]) : 1024;
    const int volumes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    char name[] = "/tmp/vardelo-unpack-bench-XXXXXX";
    if (!::mkdtemp(name))
        return 1;
    const fs::path work = name;
    const std::int64_t bytes = std::int64_t{mebibytes} << 20;
    const std::string volumeSize = std::to_string(bytes / volumes / 1024 + 1) + "k";
    std::printf("%d MiB of random data, %d volumes, %d rounds\n", mebibytes, volumes, rounds);
    std::fflush(stdout);
    writeRandom(work / "data.bin", bytes);
    const std::string in = "cd '" + work.string() + "' && ";

    run(in + "7z a -tzip -mx=0 -v" + volumeSize + " store.zip data.bin >/dev/null");
    compare("zip, store", work, volumesOf(work, "store.zip."), rounds, mebibytes);
    for (const auto& v : volumesOf(work, "store.zip."))
        fs::remove(v);

    run(in + "7z a -t7z -m0=lzma2 -mx=1 -v" + volumeSize + " set.7z data.bin >/dev/null");
    compare("7z, LZMA2", work, volumesOf(work, "set.7z."), rounds, mebibytes);
    for (const auto& v : volumesOf(work, "set.7z."))
        fs::remove(v);

    run(in + "7z a -tzip -mem=AES256 -pjelszo -v" + volumeSize + " aes.zip data.bin >/dev/null");
    std::vector<std::string> passwords;
    for (int n = 0; n < 100; ++n)
        passwords.push_back("rossz-" + std::to_string(n));
    passwords.push_back("jelszo");
    UnpackJob job{volumesOf(work, "aes.zip."), (work / "out").string(), passwords, bombFloor};
    const Round found = throughTheWorker(job);
    fs::remove_all(work / "out");
    job.passwords = {"jelszo"};
    const Round right = throughTheWorker(job);
    std::printf("zip AES, 100 wrong passwords then the right one: %.2f s (%s); the right one "
                "alone %.2f s: the wrong ones cost %.2f s\n",
                found.seconds, found.unpacked ? "unpacked" : "failed", right.seconds,
                found.seconds - right.seconds);
    fs::remove_all(work);
    return 0;
}
