// A file from the local test host through the HTTP client under the speed
// limit, a few rounds: prints the time each round took beside the time the
// limit asks for. A program, not a test.
//   vardelo_limit_bench [MiB] [KiB/s] [rounds]      (default 4 MiB at 1024 KiB/s, 3 rounds)
#include "TestHost.h"
#include "platform/HttpClient.h"

#include <QElapsedTimer>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace vardelo;

int main(int argc, char** argv) {
    const long mebibytes = argc > 1 ? std::atol(argv[1]) : 4;
    const long kibPerSecond = argc > 2 ? std::atol(argv[2]) : 1024;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    if (mebibytes <= 0 || kibPerSecond <= 0 || rounds <= 0) {
        std::fprintf(stderr, "usage: vardelo_limit_bench [MiB] [KiB/s] [rounds]\n");
        return 2;
    }
    TestHost host;
    HostedFile file;
    file.body.assign(static_cast<std::size_t>(mebibytes) * 1024 * 1024, 'x');
    host.addFile("limited.bin", file);

    HttpClient http;
    http.setReceiveLimit(kibPerSecond * 1024);
    const double asked = static_cast<double>(mebibytes) * 1024 / static_cast<double>(kibPerSecond);
    std::printf("%ld MiB at %ld KiB/s: the limit asks for %.2f s\n", mebibytes, kibPerSecond,
                asked);
    for (int round = 1; round <= rounds; ++round) {
        std::atomic<bool> abort{false};
        HttpBody body;
        body.write = [](const char*, std::size_t) { return true; };
        QElapsedTimer clock;
        clock.start();
        const HttpResult result = http.get(host.base() + "/files/limited.bin", body, abort);
        const double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        if (result.status != HttpResult::Status::Ok) {
            std::fprintf(stderr, "round %d failed: %s\n", round, result.error.c_str());
            return 1;
        }
        std::printf("round %d: %.2f s (%+.1f %%), %.0f KiB/s\n", round, seconds,
                    (seconds - asked) / asked * 100.0,
                    static_cast<double>(result.received) / 1024.0 / seconds);
    }
    return 0;
}
