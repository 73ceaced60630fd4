// The session's link check: which queued links are there, what their files
// are called and how big they are, without starting any download. Its
// results are kept beside the queue, in LinkCheck.Vdl.
#include "core/LinkCheck.h"
#include "core/Outcome.h"
#include "session/BackgroundSave.h"
#include "session/DownloadSession.h"
#include "session/LinkCheckRunner.h"
#include "session/LinkCheckStore.h"
#include "session/PackageRun.h"

#include <QDateTime>

namespace vardelo {

void DownloadSession::buildLinkCheck() {
    linkCheck_ = new LinkCheckRunner(browser_, http_, profiles_, this);
    linkCheck_->setObjectName(QStringLiteral("linkCheck"));
    // A link a cycle works on is the cycle's: its page is not loaded twice.
    linkCheck_->setLeftAlone([this](const std::string& link) { return isRunning(link); });
    linkResultsSaver_ = std::make_unique<BackgroundSave>();
    connect(linkCheck_, &LinkCheckRunner::progressed, this, &DownloadSession::linkCheckProgressed);
    connect(linkCheck_, &LinkCheckRunner::ended, this, [this](bool stopped) {
        saveLinkResultsInBackground();
        packages_->linksChanged();
        Q_EMIT linkCheckEnded(stopped);
    });
}

void DownloadSession::checkLinks() {
    if (linkCheck_->running())
        return;
    std::vector<std::string> links;
    links.reserve(static_cast<std::size_t>(queue_.rowCount()));
    for (int row = 1; row < queue_.rowCount(); ++row)
        if (const std::string& link = queue_.url(row); !link.empty() && !isRunning(link))
            links.push_back(link);
    linkCheck_->start(std::move(links));
}

void DownloadSession::stopLinkCheck() {
    linkCheck_->stop();
}

bool DownloadSession::linkCheckRunning() const {
    return linkCheck_->running();
}

std::size_t DownloadSession::linkCheckDone() const {
    return linkCheck_->done();
}

std::size_t DownloadSession::linkCheckTotal() const {
    return linkCheck_->total();
}

const LinkFacts* DownloadSession::linkFactsOf(const std::string& link) const {
    return link.empty() ? nullptr : linkCheck_->results().find(link);
}

std::vector<QueuedLink> DownloadSession::removeOfflineLinks() {
    const LinkResults& results = linkCheck_->results();
    std::vector<QueuedLink> taken = removeAsDead([&results](const std::string& link) {
        const LinkFacts* facts = results.find(link);
        return facts && facts->availability == Availability::Offline;
    });
    if (!taken.empty())
        saveLinkResultsInBackground();
    return taken;
}

void DownloadSession::noteFolderFacts(const FolderToQueue& placed) {
    LinkResults& results = linkCheck_->results();
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (const FolderEntry& entry : placed.added) {
        LinkFacts facts;
        facts.availability = Availability::Online;
        facts.name = entry.name;
        facts.size = readSizeText(entry.size);
        facts.checkedAt = now;
        results.set(entry.address, std::move(facts));
    }
    packages_->linksChanged();
    saveLinkResultsInBackground();
}

// A link that left the queue leaves what was found of it: queued anew, it
// shows nothing until it is checked again. A twin still queued keeps it.
void DownloadSession::forgetLeftLinkFacts(const std::vector<std::string>& queued) {
    const std::size_t before = linkCheck_->results().size();
    linkCheck_->results().keepOnly(queued);
    if (linkCheck_->results().size() != before)
        saveLinkResultsInBackground();
}

void DownloadSession::loadLinkResults() {
    bool unread = false;
    linkCheck_->results() = vardelo::loadLinkResults(recordFolder_, &unread);
    packages_->linksChanged();
    if (unread) // written anew, without what could not be read
        saveLinkResultsInBackground();
}

void DownloadSession::saveLinkResultsInBackground() {
    if (recordFolder_.isEmpty())
        return;
    linkResultsSaver_->submit([folder = recordFolder_, results = linkCheck_->results(),
                               queue = queue_.grid()] { saveLinkResults(folder, results, queue); });
}

void DownloadSession::saveLinkResultsAtClosing() {
    linkCheck_->stop();
    linkResultsSaver_->waitIdle();
    if (!recordFolder_.isEmpty())
        saveLinkResults(recordFolder_, linkCheck_->results(), queue_.grid());
}

} // namespace vardelo
