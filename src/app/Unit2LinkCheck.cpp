// The link check: which queued links are there, what their files are called
// and how big they are, without starting any download. Its results show in
// the queue's own columns and are kept beside the queue.
#include "app/GridModel.h"
#include "app/LinkCheckRunner.h"
#include "app/LinkCheckStore.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "core/Outcome.h"
#include "platform/QtText.h"
#include "session/BackgroundSave.h"

#include <QAction>
#include <QDateTime>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>

#include <algorithm>
#include <unordered_set>

namespace vardelo {
namespace {

// The view's columns after the queue's own three.
constexpr int kNameColumn = 3;
constexpr int kAvailableColumn = 5;

const QString kCheckText = QStringLiteral("Linkek ellenőrzése");
// The button keeps its Alt letter, Ő, whichever it says.
const QString kCheckButtonText = QStringLiteral("Linkek ellen&őrzése");
const QString kStopCheckText = QStringLiteral("Ellen&őrzés leállítása");

QString checkedAtText(std::int64_t secondsSinceEpoch) {
    return QStringLiteral("Ellenőrizve: ") + QDateTime::fromSecsSinceEpoch(secondsSinceEpoch)
                                                 .toString(QStringLiteral("yyyy.MM.dd. HH:mm:ss"));
}

} // namespace

void TForm1::buildLinkCheck() {
    linkCheck_ = new LinkCheckRunner(services_.browser, services_.http, services_.profiles, this);
    linkCheck_->setObjectName(QStringLiteral("linkCheck"));
    // A link a download works on is the cycle's: its page is not loaded twice.
    linkCheck_->setLeftAlone([this](const std::string& link) { return session_->isRunning(link); });
    // The session's pages rest only once the check is over too; a rest that
    // ends while it runs finds that out itself.
    session_->needPagesWhile([this] { return linkCheck_->running(); });
    connect(linkCheck_, &LinkCheckRunner::ended, session_, &DownloadSession::pageNeedChanged);
    linkResultsSaver_ = std::make_unique<BackgroundSave>();
    bool unread = false;
    linkCheck_->results() = loadLinkResults(services_.recordFolder, &unread);
    if (unread) // written anew, without what could not be read
        saveLinkResultsInBackground();

    PMSG->addSeparator();
    checkLinksItem = PMSG->addAction(QStringLiteral("&Linkek ellenőrzése"));
    checkLinksItem->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    removeOfflineItem = PMSG->addAction(QStringLiteral("&Elérhetetlen linkek törlése"));
    checkLinksItem->setObjectName(QStringLiteral("checkLinksItem"));
    removeOfflineItem->setObjectName(QStringLiteral("removeOfflineItem"));
    addAction(checkLinksItem); // Ctrl+L in the whole window, not only in the open menu

    connect(checkLinks, &QPushButton::clicked, this, guard(&TForm1::checkLinksClick));
    connect(checkLinksItem, &QAction::triggered, this, guard(&TForm1::checkLinksClick));
    connect(removeOfflineItem, &QAction::triggered, this, guard(&TForm1::removeOfflineLinksClick));
    // Stop ends a check as it ends a download.
    connect(Stop, &QPushButton::clicked, this, guard(&TForm1::stopLinkCheck));
    connect(PM_megallit, &QAction::triggered, this, guard(&TForm1::stopLinkCheck));
    connect(linkCheck_, &LinkCheckRunner::progressed, this, guard(&TForm1::linkCheckProgressed));
    connect(linkCheck_, &LinkCheckRunner::ended, this, guard(&TForm1::linkCheckEnded));
    addLinkCheckColumns();
}

// The queue's grid and Lista.Vdl keep their three columns; these are the
// view's own, made from the results by row.
void TForm1::addLinkCheckColumns() {
    const auto column = [this](const char* title, std::function<QString(const LinkFacts&)> text) {
        linkekModel->addViewColumn({QString::fromUtf8(title), [this, text](int row) {
                                        const LinkFacts* facts = linkFactsOf(row);
                                        return facts ? text(*facts) : QString();
                                    }});
    };
    column("Név", [](const LinkFacts& facts) { return toQt(facts.name); });
    // By 1024 and named so, as the rest of the window counts; a page's
    // rounded size as well as it reads.
    column("Méret", [](const LinkFacts& facts) {
        return facts.size
                   ? QLocale().formattedDataSize(facts.size->bytes, 1, QLocale::DataSizeIecFormat)
                   : QString();
    });
    column("Elérhető", [](const LinkFacts& facts) {
        return QString::fromUtf8(availabilityText(facts.availability));
    });
    linkekModel->setGreyedRows([this](int row) {
        const LinkFacts* facts = linkFactsOf(row);
        return facts && facts->availability == Availability::Offline;
    });
}

// "Elérhető" tells its word whole (the column may be narrower) and when it
// was checked; "Név" the digest the page showed.
QString TForm1::linkCheckTip(int row, int column) const {
    const LinkFacts* facts = linkFactsOf(row);
    if (!facts)
        return QString();
    if (column == kAvailableColumn)
        return QString::fromUtf8(availabilityText(facts->availability)) + u'\n' +
               checkedAtText(facts->checkedAt);
    if (column == kNameColumn && facts->digest)
        return QString::fromUtf8(digestKindLabel(facts->digest->kind)) + QStringLiteral(": ") +
               toQt(facts->digest->hex);
    return QString();
}

const LinkFacts* TForm1::linkFactsOf(int row) const {
    const std::string& link = queue().url(row);
    return link.empty() ? nullptr : linkCheck_->results().find(link);
}

void TForm1::checkLinksClick() {
    if (linkCheck_->running()) {
        stopLinkCheck();
        return;
    }
    std::vector<std::string> links;
    links.reserve(static_cast<std::size_t>(queue().rowCount()));
    for (int row = 1; row < queue().rowCount(); ++row)
        if (const std::string& link = queue().url(row); !link.empty() && !session_->isRunning(link))
            links.push_back(link);
    checkLinks->setText(kStopCheckText);
    checkLinksItem->setText(QStringLiteral("Ellenőrzés &leállítása")); // E is the removal's
    linkCheck_->start(std::move(links));
}

void TForm1::stopLinkCheck() {
    linkCheck_->stop();
}

void TForm1::linkCheckProgressed() {
    linkekModel->viewColumnsChanged();
    // A download's own texts come first.
    if (!downloading() && linkCheck_->running())
        showStatus(kCheckText +
                   QStringLiteral(": %1/%2").arg(linkCheck_->done()).arg(linkCheck_->total()));
}

void TForm1::linkCheckEnded(bool stopped) {
    checkLinks->setText(kCheckButtonText);
    checkLinksItem->setText(QStringLiteral("&Linkek ellenőrzése"));
    if (!downloading())
        showStatus(kCheckText +
                   (stopped ? QStringLiteral(" leállítva: %1/%2") : QStringLiteral(" kész: %1/%2"))
                       .arg(linkCheck_->done())
                       .arg(linkCheck_->total()));
    saveLinkResultsInBackground();
}

// The offline rows go to the log as the cycle logs a dead link it gives up
// (the retries setting as its tries), so that none is lost; the running
// head stays.
void TForm1::removeOfflineLinksClick() {
    const LinkResults& results = linkCheck_->results();
    const std::vector<QueuedLink> taken =
        session_->removeAsDead([&results](const std::string& link) {
            const LinkFacts* facts = results.find(link);
            return facts && facts->availability == Availability::Offline;
        });
    if (taken.empty())
        return;
    saveLinkResultsInBackground();
}

// A link that left the queue left what was found of it: queued anew, it
// shows nothing until it is checked again. A twin still queued keeps it.
void TForm1::forgetLinkFacts(const std::vector<std::string>& links) {
    LinkResults& results = linkCheck_->results();
    if (std::none_of(links.begin(), links.end(),
                     [&results](const std::string& link) { return results.find(link); }))
        return;
    std::unordered_set<std::string> queued;
    for (int row = 1; row < queue().rowCount(); ++row)
        queued.insert(queue().url(row));
    for (const std::string& link : links)
        if (!queued.count(link))
            results.erase(link);
}

// What the folder showed of a file stands for a check of it: the file is
// there, with that name and size.
void TForm1::showFolderFiles(const std::string& folder, const FolderToQueue& placed) {
    LinkResults& results = linkCheck_->results();
    results.erase(folder);
    const std::int64_t now = QDateTime::currentSecsSinceEpoch();
    for (const FolderEntry& entry : placed.added) {
        LinkFacts facts;
        facts.availability = Availability::Online;
        facts.name = entry.name;
        facts.size = readSizeText(entry.size);
        facts.checkedAt = now;
        results.set(entry.address, std::move(facts));
    }
    linkekModel->viewColumnsChanged();
    saveLinkResultsInBackground();
    if (!placed.alreadyQueued.empty())
        showQueuedBalloon({{}, placed.alreadyQueued});
}

void TForm1::saveLinkResultsInBackground() {
    linkResultsSaver_->submit(
        [folder = services_.recordFolder, results = linkCheck_->results(), queue = queue().grid()] {
            saveLinkResults(folder, results, queue);
        });
}

void TForm1::endLinkCheck() {
    linkCheck_->stop();
    linkResultsSaver_->waitIdle();
    saveLinkResults(services_.recordFolder, linkCheck_->results(), queue().grid());
}

} // namespace vardelo
