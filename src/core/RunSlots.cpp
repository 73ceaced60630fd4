#include "core/RunSlots.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace vardelo {

std::optional<std::size_t> nextLinkToStart(std::span<const QueuedRun> queued,
                                           std::span<const RunningLink> running, int slots) {
    if (slots <= 0 || running.size() >= static_cast<std::size_t>(slots))
        return std::nullopt;
    std::unordered_set<std::string_view> runningUrls;
    std::unordered_map<std::string_view, int> runningByHost;
    for (const RunningLink& link : running) {
        runningUrls.insert(link.url);
        ++runningByHost[link.host];
    }
    for (std::size_t i = 0; i < queued.size(); ++i) {
        const QueuedRun& link = queued[i];
        if (link.hostWaiting || runningUrls.contains(link.url))
            continue;
        const auto host = runningByHost.find(link.host);
        if (host != runningByHost.end() && host->second >= link.perHost)
            continue;
        return i;
    }
    return std::nullopt;
}

} // namespace vardelo
