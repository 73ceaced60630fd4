// Memory given back at rest: the whole program runs a queue of links
// through its browser against the local test host, and the resident memory
// of it and all its children (RSS, and PSS, which counts shared pages once)
// is read before the run, right after it and once its pages have rested,
// each process on a line of its own; then a link is handed over and Start
// pressed again. Needs an X display and xdotool (xvfb-run -a). Prints
// figures; a program, not a test.
//
//   vardelo_rest_bench PROGRAM [links] [at once]
//
// The program starts with the queue stored and no auto-start; 10 s later
// F5 is pressed as a user presses it (xdotool). A Start's time runs from
// the key to the host's first request for its link's page. The run is over
// when every file has arrived and the stored queue is empty (an outcome is
// stored at once).
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
#include <functional>
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

// The sum, then each process on a line of its own.
void print(const char* when, pid_t program) {
    const Usage usage = usageOf(program);
    std::printf("%-34s %10.1f %10.1f %6d\n", when, usage.rssMiB, usage.pssMiB, usage.processes);
    for (pid_t pid : processTree(program))
        std::printf("  %-32s %10.1f %10.1f\n", processKind(pid, program).c_str(),
                    statusKiB(pid, "status", "VmRSS:") / 1024.0,
                    statusKiB(pid, "smaps_rollup", "Pss:") / 1024.0);
}

// F5 in the program's window, through the X server.
void pressStart(pid_t program) {
    const std::string window = "$(xdotool search --onlyvisible --pid " + std::to_string(program) +
                               " --name '^Vardelo$' | head -1)";
    if (std::system(("xdotool windowfocus --sync " + window + " key F5").c_str()) != 0)
        std::fprintf(stderr, "xdotool could not press F5 in the window\n");
}

bool pageAsked(const TestHost& host, const std::string& link) {
    const std::string path = link.substr(host.base().size());
    for (const RecordedRequest& request : host.requests())
        if (request.path == path)
            return true;
    return false;
}

// Start pressed: the milliseconds until the host is asked for the link's
// page; negative when it is not asked within a minute.
double startTime(pid_t program, const TestHost& host, const std::string& link) {
    const auto pressed = Clock::now();
    pressStart(program);
    while (!pageAsked(host, link)) {
        if (Clock::now() > pressed + std::chrono::minutes(1))
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return std::chrono::duration<double, std::milli>(Clock::now() - pressed).count();
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
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
    const auto hostFile = [&host](const std::string& name, char fill) {
        HostedFile file;
        file.body = std::string(kFileBytes, fill);
        host.addFile(name, file);
        return host.linkFor(name);
    };
    DownloadQueue queue;
    for (int i = 0; i < links; ++i)
        queue.append(
            hostFile("file" + std::to_string(i) + ".bin", static_cast<char>('a' + i % 26)));
    const std::string handedLink = hostFile("next.bin", 'n');

    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/program");
    const QString home = dir.path() + QStringLiteral("/home");
    const QString target = dir.path() + QStringLiteral("/Letoltesek");
    QDir().mkpath(target);
    const std::string program = copyProgram(QString::fromLocal8Bit(argv[1]), folder);
    writeRecordFile(folder + QStringLiteral("/Lista.Vdl"),
                    encodeRecords(queue.grid(), queueRecordLayout()));
    writeSettings(home, target, atOnce, false);

    std::printf("%d links of %zu KiB through the browser, %d at once\n", links, kFileBytes / 1024,
                atOnce);
    std::printf("%-34s %10s %10s %6s\n", "", "RSS MiB", "PSS MiB", "procs");
    const pid_t pid = launch(program, home.toStdString());
    std::this_thread::sleep_for(std::chrono::seconds(10));
    print("before the run (10 s after start)", pid);

    const auto files = [&target] { return QDir(target).entryList(QDir::Files).size(); };
    const auto begun = Clock::now();
    const double firstStart = startTime(pid, host, queue.url(1));
    if (!waitUntil([&] { return files() == links && queueIsEmpty(folder); },
                   std::chrono::minutes(10))) {
        std::fprintf(stderr, "the run did not end: %lld of %d files\n",
                     static_cast<long long>(files()), links);
        finish(pid);
        return 1;
    }
    const auto ended = Clock::now();
    std::printf("run: %.1f s\n", std::chrono::duration<double>(ended - begun).count());
    print("right after the run", pid);
    std::this_thread::sleep_for(ended + std::chrono::seconds(60) - Clock::now());
    print("60 s after the run", pid);
    // The pages close at 60 s; their processes take a moment to end.
    std::this_thread::sleep_for(ended + std::chrono::seconds(70) - Clock::now());
    print("70 s after the run", pid);

    // A second start of the program hands the link over in a list file
    // (a bare local address is no link it knows) and ends.
    const QString list = dir.path() + QStringLiteral("/next.txt");
    QFile listFile(list);
    if (listFile.open(QIODevice::WriteOnly))
        listFile.write(QByteArray::fromStdString(handedLink + '\n'));
    listFile.close();
    const pid_t handing = launch(program, home.toStdString(), {list.toStdString()});
    int status = 0;
    ::waitpid(handing, &status, 0);
    const double nextStart = startTime(pid, host, handedLink);
    const bool nextArrived =
        waitUntil([&] { return files() == links + 1; }, std::chrono::minutes(1));
    std::printf("Start to its first page request: first %.0f ms, next (after the rest) %.0f ms%s\n",
                firstStart, nextStart, nextArrived ? "" : "; the next file did not arrive");
    finish(pid);
    return nextArrived ? 0 : 1;
}
