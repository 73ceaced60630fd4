#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace vardelo {

// A queued link as the choice of the next download sees it.
struct QueuedRun {
    std::string url;
    std::string host;         // HostProfiles::hostKey
    int perHost = 1;          // the host's links that may run at once
    bool hostWaiting = false; // the host asked its links to wait
};

struct RunningLink {
    std::string url;
    std::string host;
};

// The queued link to start next, by its index: nothing while `slots` links
// run; else the first in queue order that is not running already (two links
// of one file never run at once), whose host is not waiting and runs fewer
// than its `perHost` links (at least one).
std::optional<std::size_t> nextLinkToStart(std::span<const QueuedRun> queued,
                                           std::span<const RunningLink> running, int slots);

} // namespace vardelo
