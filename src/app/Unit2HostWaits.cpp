// Hosts that asked their links to wait: the window keeps their ends beside
// the queue and passes their links over until then.
#include "app/Unit2.h"
#include "platform/QtText.h"
#include "session/HostWaitsStore.h"

#include <QDateTime>

#include <algorithm>

namespace vardelo {
namespace {

std::int64_t now() {
    return QDateTime::currentSecsSinceEpoch();
}

QString timeOfDay(std::int64_t secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toString(QStringLiteral("HH:mm"));
}

} // namespace

std::string TForm1::hostOf(const std::string& link) const {
    const auto profile = services_.profiles ? services_.profiles->forLink(link) : nullptr;
    return profile ? profile->profile().name : std::string();
}

void TForm1::noteHostWait(const std::string& host, std::int64_t seconds) {
    const QueueRewrite rewrite(list_idle);
    // The clock counts whole seconds: one more, so the wait never ends
    // before the host's own.
    hostWaits_.note(host, seconds + 1, now());
    saveHostWaits(services_.recordFolder, hostWaits_, now());
    const std::string link = queue_.url(1);
    runFailures_.recordLine(link, toStd(hostWaitText(link)));
    queue_.rotateHead(queue_.attempts(1)); // not a try: its count stays
    showRowStates();
}

std::optional<std::int64_t> TForm1::passOverWaitingLinks() {
    const std::int64_t at = now();
    hostWaits_.dropExpired(at);
    if (hostWaits_.ends().empty())
        return std::nullopt;
    const QueueRewrite rewrite(list_idle);
    std::optional<std::int64_t> soonest;
    for (int left = queue_.rowCount() - 1; left > 0; --left) {
        const auto until = hostWaits_.until(hostOf(queue_.url(1)), at);
        if (!until)
            return std::nullopt;
        soonest = std::min(soonest.value_or(*until), *until);
        queue_.rotateHead(queue_.attempts(1));
    }
    return soonest;
}

// "HH:MM" of the end of the wait the link's host asked for; empty when none.
QString TForm1::hostWaitUntil(const std::string& link) const {
    const auto until = hostWaits_.until(hostOf(link), now());
    return until ? timeOfDay(*until) : QString();
}

// The queue row's tooltip: until when its host asked to wait.
QString TForm1::hostWaitText(const std::string& link) const {
    const QString until = hostWaitUntil(link);
    if (until.isEmpty())
        return QString();
    return QStringLiteral("A tárhely várakozást kért, következő próba: ") + until;
}

} // namespace vardelo
