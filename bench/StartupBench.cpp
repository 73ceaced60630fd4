// Start-up of one or more builds of the program, side by side in one run:
// the time from exec to the main window being mapped (median of 5, with an
// empty queue and with 100,000 queued links), the resident memory of the
// program and all its children 10 s after start with an empty queue, and
// their CPU use while idle after that. Needs an X display (xvfb-run -a).
// Prints figures; a program, not a test.
//
//   vardelo_startup_bench PROGRAM [PROGRAM...]
//
// Each program is copied into a folder of its own, so that its portable
// record folder, lock and settings are its own and the builds do not meet.
#include "WholeProgram.h"

#include "core/DownloadQueue.h"
#include "platform/RecordFiles.h"

#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>

using namespace vardelo;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRuns = 5;
constexpr int kQueuedLinks = 100'000;

long long cpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    long long user = 0, system = 0;
    for (int i = 3; i <= 13; ++i)
        rest >> field;
    rest >> user >> system;
    return user + system;
}

long long treeTicks(pid_t root) {
    long long ticks = 0;
    for (pid_t pid : processTree(root))
        ticks += cpuTicks(pid);
    return ticks;
}

// Watches the root window for top-level windows being mapped.
class MapWatch {
  public:
    MapWatch() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_))
            return;
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        const char* name = "_NET_WM_PID";
        auto* reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, std::strlen(name), name), nullptr);
        pidAtom_ = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        std::free(reply);
        xcb_flush(connection_);
        ok_ = true;
    }
    ~MapWatch() { xcb_disconnect(connection_); }

    bool ok() const { return ok_; }

    // Waits for a window of this process to be mapped; false at the limit.
    bool waitForWindowOf(pid_t pid, Clock::time_point limit) {
        while (Clock::now() < limit) {
            pollfd fd{xcb_get_file_descriptor(connection_), POLLIN, 0};
            ::poll(&fd, 1, 20);
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const bool mapped = (event->response_type & 0x7f) == XCB_MAP_NOTIFY;
                const xcb_window_t window =
                    mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
                std::free(event);
                if (mapped && pidOf(window) == pid)
                    return true;
            }
        }
        return false;
    }

  private:
    pid_t pidOf(xcb_window_t window) {
        auto* reply = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, window, pidAtom_, XCB_ATOM_CARDINAL, 0, 1), nullptr);
        pid_t pid = 0;
        if (reply && xcb_get_property_value_length(reply) == 4)
            pid = static_cast<pid_t>(*static_cast<uint32_t*>(xcb_get_property_value(reply)));
        std::free(reply);
        return pid;
    }

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_atom_t pidAtom_ = XCB_ATOM_NONE;
    bool ok_ = false;
};

// One build, copied twice: with an empty queue and with a long one.
struct Build {
    std::string label;
    std::string emptyProgram;
    std::string fullProgram;
    std::string home;
};

double msToMap(MapWatch& watch, const std::string& program, const std::string& home) {
    const auto begun = Clock::now();
    const pid_t pid = launch(program, home);
    if (pid <= 0)
        return -1;
    const bool mapped = watch.waitForWindowOf(pid, begun + std::chrono::seconds(60));
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begun).count();
    finish(pid);
    return mapped ? ms : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

void storeLongQueue(const QString& folder) {
    DownloadQueue queue;
    for (int i = 0; i < kQueuedLinks; ++i)
        queue.append("http://rapidshare.com/files/" + std::to_string(100000000 + i) +
                     "/archive-part" + std::to_string(i) + ".rar");
    writeRecordFile(folder + QStringLiteral("/Lista.Vdl"),
                    encodeRecords(queue.grid(), queueRecordLayout()));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [PROGRAM...]\n", argv[0]);
        return 2;
    }
    MapWatch watch;
    if (!watch.ok()) {
        std::fprintf(stderr, "no X display: run under xvfb-run -a\n");
        return 2;
    }
    QTemporaryDir dir;
    std::vector<Build> builds;
    for (int i = 1; i < argc; ++i) {
        const QString source = QFileInfo(QString::fromLocal8Bit(argv[i])).absoluteFilePath();
        const QString base = dir.path() + QStringLiteral("/build") + QString::number(i);
        Build build{argv[i], copyProgram(source, base + QStringLiteral("/empty")),
                    copyProgram(source, base + QStringLiteral("/full")),
                    (base + QStringLiteral("/home")).toStdString()};
        storeLongQueue(base + QStringLiteral("/full"));
        builds.push_back(build);
    }

    // A first start writes the settings and warms the disk cache: not counted.
    for (const Build& build : builds)
        msToMap(watch, build.emptyProgram, build.home);
    std::map<std::string, std::vector<double>> empty, full;
    for (int run = 0; run < kRuns; ++run) {
        for (const Build& build : builds) { // taken in turn, so load hits each alike
            empty[build.label].push_back(msToMap(watch, build.emptyProgram, build.home));
            full[build.label].push_back(msToMap(watch, build.fullProgram, build.home));
        }
    }

    std::printf("%-40s %12s %14s %10s %10s %6s %9s\n", "program", "map ms", "map ms 100k",
                "RSS MiB", "PSS MiB", "procs", "idle CPU");
    for (const Build& build : builds) {
        const pid_t pid = launch(build.emptyProgram, build.home);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const Usage usage = usageOf(pid);
        const long long before = treeTicks(pid);
        std::this_thread::sleep_for(std::chrono::seconds(5));
        const double cpu = 100.0 * static_cast<double>(treeTicks(pid) - before) /
                           (5.0 * static_cast<double>(::sysconf(_SC_CLK_TCK)));
        finish(pid);
        std::printf("%-40s %12.0f %14.0f %10.1f %10.1f %6d %8.1f%%\n", build.label.c_str(),
                    median(empty[build.label]), median(full[build.label]), usage.rssMiB,
                    usage.pssMiB, usage.processes, cpu);
    }
    std::printf("map ms: exec to the main window mapped, median of %d; 100k: with %d queued "
                "links.\nRSS/PSS: the program and all its children 10 s after start, empty "
                "queue; idle CPU over the 5 s after that.\n",
                kRuns, kQueuedLinks);
    return 0;
}
