#include "session/DownloadSession.h"

#include "platform/QtText.h"
#include "session/HostWaitsStore.h"
#include "session/RecordStore.h"

#include <QDateTime>
#include <QLocale>

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

DownloadSession::DownloadSession(Browser& browser, HttpClient& http, const HostProfiles* profiles,
                                 QObject* parent)
    : QObject(parent), profiles_(profiles) {
    cycle_ = new DownloadCycle(*this, browser, http, this);
    cycle_->setHostProfiles(profiles);
    connectCycle(*cycle_);
}

DownloadSession::~DownloadSession() = default;

void DownloadSession::connectCycle(DownloadCycle& cycle) {
    connect(&cycle, &DownloadCycle::statusShown, this, &DownloadSession::statusShown);
    connect(&cycle, &DownloadCycle::gaugeMaximumShown, this, &DownloadSession::gaugeMaximumShown);
    connect(&cycle, &DownloadCycle::gaugeValueShown, this, &DownloadSession::gaugeValueShown);
    connect(&cycle, &DownloadCycle::bytesShown, this, &DownloadSession::bytesShown);
    connect(&cycle, &DownloadCycle::transferShown, this, &DownloadSession::transferShown);
    connect(&cycle, &DownloadCycle::transferredCleared, this, &DownloadSession::transferredCleared);
    connect(&cycle, &DownloadCycle::transferRateCleared, this,
            &DownloadSession::transferRateCleared);
    connect(&cycle, &DownloadCycle::runControlsShown, this, &DownloadSession::runControlsShown);
    connect(&cycle, &DownloadCycle::emptyQueueRefused, this, &DownloadSession::emptyQueueRefused);
    connect(&cycle, &DownloadCycle::captchaAsked, this,
            [this, &cycle] { Q_EMIT captchaAsked(cycle.link()); });
    connect(&cycle, &DownloadCycle::captchaEnded, this, &DownloadSession::captchaEnded);
    connect(&cycle, &DownloadCycle::browserFailed, this, &DownloadSession::browserFailed);
}

bool DownloadSession::downloading() const {
    return cycle_->downloading();
}

void DownloadSession::runGuarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        Q_EMIT stepFailed(toQt(error.what()));
    }
}

void DownloadSession::start() {
    runGuarded([this] { cycle_->start(); });
}

void DownloadSession::stop() {
    runGuarded([this] { cycle_->stop(); });
}

void DownloadSession::setHoursGate(DownloadHoursGate* gate) {
    cycle_->setHoursGate(gate);
}

// --- the stored files --------------------------------------------------------

void DownloadSession::keepRecordsIn(const QString& folder) {
    recordFolder_ = folder;
    records_ = std::make_unique<RecordStore>(folder, queue_.grid(), log_.grid());
}

void DownloadSession::loadRecords() {
    if (!records_)
        return;
    records_->load();
    hostWaits_ = loadHostWaits(recordFolder_, now());
}

void DownloadSession::scheduleRecordSave() {
    if (records_)
        records_->scheduleSave();
}

void DownloadSession::saveRecordsAtClosing() {
    if (records_)
        records_->saveAtClosing();
}

// --- outcomes ----------------------------------------------------------------

// What an attempt's outcome changes in the queue, the log and the
// statistics; the cycle decides how it goes on (see planOutcome).
OutcomePlan DownloadSession::recordOutcome(const std::string& link, const AttemptResult& result,
                                           std::int64_t contentLength) {
    const QueueRewrite rewrite(list_idle);
    OutcomeFacts facts;
    facts.kind = result.outcome;
    facts.headUrl = link;
    runFailures_.record(facts.headUrl, result);
    facts.headAttemptsCell = queue_.attempts(1);
    facts.queueRowCount = queue_.rowCount();
    facts.secondRowHasLink = queue_.rowCount() > 2 && !queue_.url(2).empty();
    facts.retries = settings_.ujra;
    facts.deadWaitSeconds = settings_.elhalt;
    facts.stopAfterChecked = settings_.letoltes_utan_stop;
    facts.contentLength = contentLength;
    facts.decimalSeparator = toStd(QLocale().decimalPoint());
    const OutcomePlan plan = planOutcome(facts);

    if (plan.queueChange == QueueChange::RotateHead)
        queue_.rotateHead(plan.rotatedAttempts);
    else
        queue_.removeHead();
    if (plan.logEntry)
        log_.append(*plan.logEntry);
    statistics_.count(plan);
    Q_EMIT outcomeRecorded(link, result);
    return plan;
}

// --- host waits --------------------------------------------------------------

std::string DownloadSession::hostOf(const std::string& link) const {
    const auto profile = profiles_ ? profiles_->forLink(link) : nullptr;
    return profile ? profile->profile().name : std::string();
}

void DownloadSession::noteHostWait(const std::string& link, const std::string& host,
                                   std::int64_t seconds) {
    const QueueRewrite rewrite(list_idle);
    // The clock counts whole seconds: one more, so the wait never ends
    // before the host's own.
    hostWaits_.note(host, seconds + 1, now());
    if (records_)
        saveHostWaits(recordFolder_, hostWaits_, now());
    runFailures_.recordLine(link, toStd(hostWaitText(link)));
    queue_.rotateHead(queue_.attempts(1)); // not a try: its count stays
    Q_EMIT rowStatesChanged();
}

std::optional<std::int64_t> DownloadSession::passOverWaitingLinks() {
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

QString DownloadSession::hostWaitUntil(const std::string& link) const {
    const auto until = hostWaits_.until(hostOf(link), now());
    return until ? timeOfDay(*until) : QString();
}

// The queue row's tooltip: until when its host asked to wait.
QString DownloadSession::hostWaitText(const std::string& link) const {
    const QString until = hostWaitUntil(link);
    if (until.isEmpty())
        return QString();
    return QStringLiteral("A tárhely várakozást kért, következő próba: ") + until;
}

int DownloadSession::passOver(const std::string&) {
    const QueueRewrite rewrite(list_idle);
    queue_.rotateHead(queue_.attempts(1)); // untried: its count stays
    return queue_.rowCount() - 1;
}

// --- the queue's and the log's commands -----------------------------------------

// A link a host profile claims joins the queue in its canonical form, once.
LinksToQueue DownloadSession::sortLinks(const std::vector<std::string>& links) const {
    std::vector<std::string> queued;
    if (profiles_ && profiles_->size() > 0) {
        for (int row = 1; row < queue_.rowCount(); ++row)
            queued.push_back(queue_.url(row));
    }
    return linksToQueue(links, queued, profiles_);
}

void DownloadSession::appendLinks(const std::vector<std::string>& links) {
    const TextGrid::Batch batch(queue_.grid());
    for (const std::string& link : links)
        queue_.append(link);
}

bool DownloadSession::deleteRow(int row) {
    return queue_.deleteRow(row, queueGuards());
}

bool DownloadSession::moveToTop(int row) {
    return queue_.moveToTop(row, queueGuards());
}

bool DownloadSession::moveToEnd(int row) {
    return queue_.moveToEnd(row, queueGuards());
}

QueueDrag::Press DownloadSession::pressRow(int row, int column) {
    return drag_.press(queue_, row, column, queueGuards());
}

QueueDrag::Release DownloadSession::releaseRow(int row, int column) {
    return drag_.release(queue_, row, column, queueGuards());
}

std::vector<QueuedLink>
DownloadSession::removeAsDead(const std::function<bool(const std::string&)>& pick) {
    std::vector<QueuedLink> taken = queue_.takeLinks(pick, queueGuards());
    if (taken.empty())
        return taken;
    const TextGrid::Batch batch(log_.grid());
    for (const QueuedLink& link : taken)
        log_.append(givenUpEntry(link.url, OutcomeKind::DeadLink, settings_.ujra));
    return taken;
}

void DownloadSession::clearLog() {
    log_.clear();
}

void DownloadSession::requeueFailedLinks() {
    const std::vector<std::string> urls = log_.takeFailed();
    if (urls.empty())
        return;
    appendLinks(urls);
}

} // namespace vardelo
