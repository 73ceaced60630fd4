// Links from a command line: the program's own, or handed over by a later
// start while this one keeps the record folder.
#include "app/Unit2.h"

#include <utility>

namespace vardelo {

bool TForm1::takeHandedLinks(const std::vector<std::string>& links, bool bringToFront) {
    // After the close has written the queue, a link taken would be lost.
    if (closedInOrder_)
        return false;
    if (bringToFront)
        CTIClick();
    queueWithBalloon(links);
    return true;
}

void TForm1::takeStartupLinks() {
    queueWithBalloon(std::exchange(services_.startupLinks, {}));
}

} // namespace vardelo
