// Links from a command line: the program's own, or handed over by a later
// start while this one keeps the record folder.
#include "app/Unit2.h"

#include "platform/CommandLine.h"

#include <cstdio>
#include <utility>

namespace vardelo {

std::optional<std::vector<std::string>>
TForm1::takeHandedLinks(const std::vector<std::string>& links, bool bringToFront,
                        const std::vector<ListEntry>& passwords) {
    // After the close has written the queue, a link taken would be lost.
    if (closedInOrder_)
        return std::nullopt;
    if (bringToFront)
        CTIClick();
    if (links.empty())
        return std::vector<std::string>{};
    LinksToQueue sorted = queueLinks(links);
    setListPasswords(passwords);
    showQueuedBalloon(sorted);
    return std::move(sorted.alreadyQueued);
}

void TForm1::takeStartupLinks() {
    const std::vector<std::string> links = std::exchange(services_.startupLinks, {});
    if (links.empty())
        return;
    const LinksToQueue sorted = queueLinks(links);
    setListPasswords(std::exchange(services_.startupPasswords, {}));
    showQueuedBalloon(sorted);
    // The user who typed them reads the terminal, not only the balloon.
    std::fputs(alreadyQueuedReport({sorted.alreadyQueued, 0}).c_str(), stdout);
    std::fflush(stdout);
}

} // namespace vardelo
