// The link check: which queued links are there, what their files are called
// and how big they are, without starting any download. Its results show in
// the queue's own columns and are kept beside the queue.
#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "core/Outcome.h"
#include "platform/QtText.h"
#include "session/DownloadSession.h"

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
    connect(session_, &DownloadSession::linkCheckProgressed, this,
            guard(&TForm1::linkCheckProgressed));
    connect(session_, &DownloadSession::linkCheckEnded, this, guard(&TForm1::linkCheckEnded));
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

// "Elérhető" tells its word whole (the column may be narrower), why when a
// marker of the page said it, and when it was checked; "Név" the digest the
// page showed.
QString TForm1::linkCheckTip(int row, int column) const {
    const LinkFacts* facts = linkFactsOf(row);
    if (!facts)
        return QString();
    if (column == kAvailableColumn) {
        QString tip = QString::fromUtf8(availabilityText(facts->availability)) + u'\n';
        if (facts->marker != PageMarker::None)
            tip += QString::fromUtf8(pageMarkerText(facts->marker)) + u'\n';
        return tip + checkedAtText(facts->checkedAt);
    }
    if (column == kNameColumn && facts->digest)
        return QString::fromUtf8(digestKindLabel(facts->digest->kind)) + QStringLiteral(": ") +
               toQt(facts->digest->hex);
    return QString();
}

const LinkFacts* TForm1::linkFactsOf(int row) const {
    return session_->linkFactsOf(queue().url(row));
}

void TForm1::checkLinksClick() {
    if (session_->linkCheckRunning()) {
        stopLinkCheck();
        return;
    }
    checkLinks->setText(kStopCheckText);
    checkLinksItem->setText(QStringLiteral("Ellenőrzés &leállítása")); // E is the removal's
    session_->checkLinks();
}

void TForm1::stopLinkCheck() {
    session_->stopLinkCheck();
}

void TForm1::linkCheckProgressed() {
    linkekModel->viewColumnsChanged();
    // A download's own texts come first.
    if (!downloading() && session_->linkCheckRunning())
        showStatus(kCheckText + QStringLiteral(": %1/%2")
                                    .arg(session_->linkCheckDone())
                                    .arg(session_->linkCheckTotal()));
}

void TForm1::linkCheckEnded(bool stopped) {
    checkLinks->setText(kCheckButtonText);
    checkLinksItem->setText(QStringLiteral("&Linkek ellenőrzése"));
    if (!downloading())
        showStatus(kCheckText +
                   (stopped ? QStringLiteral(" leállítva: %1/%2") : QStringLiteral(" kész: %1/%2"))
                       .arg(session_->linkCheckDone())
                       .arg(session_->linkCheckTotal()));
}

// The offline rows go to the log as the cycle logs a dead link it gives up
// (the retries setting as its tries), so that none is lost; the running
// head stays.
void TForm1::removeOfflineLinksClick() {
    session_->removeOfflineLinks();
}

// A folder's files show the names and sizes it listed at once.
void TForm1::showFolderFiles(const std::string& /*folder*/, const FolderToQueue& placed) {
    linkekModel->viewColumnsChanged();
    if (!placed.alreadyQueued.empty())
        showQueuedBalloon({{}, placed.alreadyQueued});
}

} // namespace vardelo
