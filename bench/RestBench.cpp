// Memory given back at rest: the whole program runs a queue of links
// through its browser against the local test host, and the resident memory
// of it and all its children (RSS, and PSS, which counts shared pages once)
// is read before the run, right after it and once its pages have rested.
// Needs an X display (xvfb-run -a). Prints figures; a program, not a test.
//
//   vardelo_rest_bench PROGRAM [links] [at once]
//
// Before the run the program is started with the queue stored and no
// auto-start, and read 10 s after start; then it is started again with
// auto-start on. The run is over when every file has arrived and the stored
// queue is empty (the program writes it at most 3 s after its last change).
#include "WholeProgram.h"

#include "TestHost.h"
#include "core/DownloadQueue.h"
#include "core/RecordFile.h"
#include "platform/RecordFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace vardelo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::size_t kFileBytes = 1 << 20;

void writeSettings(const QString& home, const QString& target, int atOnce, bool autoStart) {
    QDir().mkpath(home + QStringLiteral("/config"));
    QFile file(home + QStringLiteral("/config/Vardelo.conf"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    QTextStream(&file) << "[General]\nAutomatikus_letoltes=" << (autoStart ? 1 : 0)
                       << "\nMentes_helye=" << target << "\nEgyszerre=" << atOnce << "\nElhalt=0\n";
}

bool queueIsEmpty(const QString& folder) {
    TextGrid grid(3);
    try {
        readRecordFile(folder + QStringLiteral("/Lista.Vdl"), queueRecordLayout(), grid);
    } catch (const std::exception&) {
        return false; // being written
    }
    return grid.rowCount() == 2 && grid.cell(1, 1).empty();
}

void print(const char* when, const Usage& usage) {
    std::printf("%-32s %10.1f %10.1f %6d\n", when, usage.rssMiB, usage.pssMiB, usage.processes);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [links] [at once]\n", argv[0]);
        return 2;
    }
    const int links = argc > 2 ? std::atoi(argv[2]) : 20;
    const int atOnce = argc > 3 ? std::atoi(argv[3]) : 1;

    TestHost host;
    host.setWaitSeconds(0);
    DownloadQueue queue;
    for (int i = 0; i < links; ++i) {
        const std::string name = "file" + std::to_string(i) + ".bin";
        HostedFile file;
        file.body = std::string(kFileBytes, static_cast<char>('a' + i % 26));
        host.addFile(name, file);
        queue.append(host.linkFor(name));
    }

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/program");
    const QString home = dir.path() + QStringLiteral("/home");
    const QString target = dir.path() + QStringLiteral("/Letoltesek");
    QDir().mkpath(target);
    const std::string program = copyProgram(QString::fromLocal8Bit(argv[1]), folder);
    writeRecordFile(folder + QStringLiteral("/Lista.Vdl"),
                    encodeRecords(queue.grid(), queueRecordLayout()));

    std::printf("%d links of %zu KiB through the browser, %d at once\n", links, kFileBytes / 1024,
                atOnce);
    std::printf("%-32s %10s %10s %6s\n", "", "RSS MiB", "PSS MiB", "procs");
    writeSettings(home, target, atOnce, false);
    pid_t pid = launch(program, home.toStdString());
    std::this_thread::sleep_for(std::chrono::seconds(10));
    print("before the run (10 s after start)", usageOf(pid));
    finish(pid);

    writeSettings(home, target, atOnce, true);
    const auto begun = Clock::now();
    pid = launch(program, home.toStdString());
    const auto arrived = [&] {
        return QDir(target).entryList(QDir::Files).size() == links && queueIsEmpty(folder);
    };
    while (!arrived() && Clock::now() < begun + std::chrono::minutes(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!arrived()) {
        std::fprintf(stderr, "the run did not end: %lld of %d files\n",
                     static_cast<long long>(QDir(target).entryList(QDir::Files).size()), links);
        finish(pid);
        return 1;
    }
    const auto ended = Clock::now();
    std::printf("run: %.1f s\n", std::chrono::duration<double>(ended - begun).count());
    print("right after the run", usageOf(pid));
    std::this_thread::sleep_for(ended + std::chrono::seconds(60) - Clock::now());
    print("60 s after the run", usageOf(pid));
    finish(pid);
    return 0;
}
