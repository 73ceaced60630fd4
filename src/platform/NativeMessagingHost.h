#pragma once

#include "platform/CommandLine.h"

#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace vardelo {

// The web browser extension's native messaging host: reads the browser's
// framed JSON messages, {"links": ["http..."]}, and hands the links to the
// running Vardelo as a later start hands its arguments over. Each message
// gets its answer: {"ok": true, "queued": N, "alreadyQueued": ["http..."]}
// (N links added; the canonical forms of those that were in the queue
// already) or {"ok": false, "error": "..."}.
class NativeMessagingHost {
  public:
    // What became of a message's links: the running program's answer (which
    // were queued already), or the text that says why nobody took them.
    using Handed = std::variant<HandedAnswer, std::string>;
    using HandOver = std::function<Handed(const std::vector<std::string>& links)>;

    explicit NativeMessagingHost(HandOver handOver) : handOver_(std::move(handOver)) {}

    // Serves the messages of `inFd`, answering on `outFd`, until the browser
    // closes its end (status 0) or a frame breaks (answered, status 1). A
    // message begun must arrive whole within `patienceMs`.
    int serve(int inFd, int outFd, int patienceMs = 10'000);

  private:
    std::string answer(const std::string& message);

    HandOver handOver_;
};

// The program's `--native-messaging` branch, on standard input and output.
// With no Vardelo running for the record folder it starts one, detached, and
// hands the links to it once it listens.
int runNativeMessagingHost(int argc, char** argv);

} // namespace vardelo
