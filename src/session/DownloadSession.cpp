#include "session/DownloadSession.h"

#include "core/RunSlots.h"
#include "platform/Browser.h"
#include "platform/QtText.h"
#include "session/HostWaitsStore.h"
#include "session/PageRest.h"
#include "session/RecordStore.h"

#include <QDateTime>
#include <QLocale>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace vardelo {
namespace {

std::int64_t now() {
    return QDateTime::currentSecsSinceEpoch();
}

QString timeOfDay(std::int64_t secondsSinceEpoch) {
    return QDateTime::fromSecsSinceEpoch(secondsSinceEpoch).toString(QStringLiteral("HH:mm"));
}

std::int64_t nowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

constexpr int kMostAtOnce = 8;

} // namespace

// One cycle and its page. With one link at once it asks the session as the
// queue's head is worked; with several it works the link the session hands
// it, and its outcome goes to that link's row.
class DownloadSession::Slot final : public CycleSession {
  public:
    Slot(DownloadSession& owner, Browser& itsPage) : session_(owner), page(itsPage) {}

    bool queueIsEmpty() const override {
        return session_.several_ ? handed.empty() : session_.queue_.isEmpty();
    }
    std::string nextLink() override {
        return session_.several_ ? std::exchange(handed, std::string()) : session_.queue_.url(1);
    }
    const RunSettings& runSettings() const override { return session_.settings_; }
    OutcomePlan recordOutcome(const std::string& link, const AttemptResult& result,
                              std::int64_t contentLength) override {
        return session_.recordOutcome(link, result, contentLength);
    }
    void noteHostWait(const std::string& link, const std::string& host,
                      std::int64_t seconds) override {
        session_.noteHostWait(link, host, seconds);
    }
    std::optional<std::int64_t> passOverWaitingLinks() override {
        // Several at once, the choice of the next link passes them over.
        return session_.several_ ? std::nullopt : session_.passOverWaitingLinks();
    }
    int passOver(const std::string& link) override { return session_.passOver(link); }
    void runGuarded(const std::function<void()>& step) override { session_.runGuarded(step); }

    bool busy() const { return cycle->downloading() || !handed.empty(); }

    DownloadSession& session_;
    Browser& page;
    DownloadCycle* cycle = nullptr;
    std::string handed; // the link handed over for the next start
    // What its transfer has shown, for its row's state.
    std::int64_t received = 0;
    std::int64_t expected = 0;
    TransferRate rate;
};

DownloadSession::DownloadSession(Browser& browser, HttpClient& http, const HostProfiles* profiles,
                                 QObject* parent)
    : QObject(parent), browser_(browser), http_(http), profiles_(profiles) {
    addSlot(browser);
    hostsWait_ = new QTimer(this);
    hostsWait_->setSingleShot(true);
    connect(hostsWait_, &QTimer::timeout, this, [this] { runGuarded([this] { fillSlots(); }); });
    // At rest the pages go, so the engine gives their memory back.
    pageRest_ = new PageRest([this] { return downloading(); },
                             [this] {
                                 for (const auto& slot : slots_)
                                     slot->page.releasePage();
                             },
                             this);
    connect(this, &DownloadSession::runControlsShown, pageRest_, &PageRest::reconsider);
    connect(this, &DownloadSession::rowStatesChanged, pageRest_, &PageRest::reconsider);
    connect(this, &DownloadSession::outcomeRecorded, pageRest_, &PageRest::reconsider);
}

// The cycles go first: their workers end before the queue they report to.
DownloadSession::~DownloadSession() {
    for (const auto& slot : slots_)
        delete slot->cycle;
}

DownloadSession::Slot& DownloadSession::addSlot(Browser& page) {
    auto& slot = *slots_.emplace_back(std::make_unique<Slot>(*this, page));
    slot.cycle = new DownloadCycle(slot, page, http_, this);
    slot.cycle->setHostProfiles(profiles_);
    if (hours_)
        slot.cycle->setHoursGate(hours_);
    connectSlot(slot);
    return slot;
}

// With one link at once the cycle's displays are the session's; with
// several, those of the first running row's cycle, and a cycle that has
// nothing left to do asks for the next link.
void DownloadSession::connectSlot(Slot& slot) {
    DownloadCycle& cycle = *slot.cycle;
    const auto shown = [this, &slot](auto signal) {
        return [this, &slot, signal](auto... args) {
            if (!several_ || isShown(slot))
                Q_EMIT(this->*signal)(args...);
        };
    };
    // While no row runs (the download hours hold every cycle back), the
    // status line still says why.
    connect(&cycle, &DownloadCycle::statusShown, this, [this, &slot](const QString& text) {
        if (!several_ || isShown(slot) || !anyRowRunning())
            Q_EMIT statusShown(text);
    });
    connect(&cycle, &DownloadCycle::gaugeMaximumShown, this,
            shown(&DownloadSession::gaugeMaximumShown));
    connect(&cycle, &DownloadCycle::gaugeValueShown, this,
            shown(&DownloadSession::gaugeValueShown));
    connect(&cycle, &DownloadCycle::bytesShown, this, shown(&DownloadSession::bytesShown));
    connect(&cycle, &DownloadCycle::transferShown, this, shown(&DownloadSession::transferShown));
    connect(&cycle, &DownloadCycle::transferredCleared, this,
            shown(&DownloadSession::transferredCleared));
    connect(&cycle, &DownloadCycle::transferRateCleared, this,
            shown(&DownloadSession::transferRateCleared));
    // What each transfer has shown, for its row's state.
    connect(&cycle, &DownloadCycle::bytesShown, this,
            [&slot](std::int64_t received, std::int64_t expected) {
                slot.rate.reset();
                slot.received = received;
                slot.expected = expected;
            });
    connect(&cycle, &DownloadCycle::transferShown, this,
            [this, &slot](std::int64_t received, std::int64_t expected, std::int64_t) {
                slot.received = received;
                slot.expected = expected;
                slot.rate.sample(nowMs(), received);
                if (several_)
                    Q_EMIT rowStatesChanged();
            });
    // Several at once, Start, Stop and the stop-after switch stay as the
    // run began until it ends: Stop stops every cycle.
    connect(&cycle, &DownloadCycle::runControlsShown, this, [this](RunControls controls) {
        if (!several_) {
            Q_EMIT runControlsShown(controls);
            return;
        }
        if (controls == RunControls::Idle)
            scheduleFill();
        Q_EMIT rowStatesChanged();
    });
    connect(&cycle, &DownloadCycle::emptyQueueRefused, this, [this] {
        if (several_)
            scheduleFill(); // the cycle found no link handed to it
        else
            Q_EMIT emptyQueueRefused();
    });
    connect(&cycle, &DownloadCycle::captchaAsked, this,
            [this, &cycle] { Q_EMIT captchaAsked(cycle.link()); });
    connect(&cycle, &DownloadCycle::captchaEnded, this, &DownloadSession::captchaEnded);
    connect(&cycle, &DownloadCycle::browserFailed, this, [this](const QString& reason) {
        if (several_)
            stop(); // the other cycles' pages come from the same engine
        Q_EMIT browserFailed(reason);
    });
}

const DownloadCycle& DownloadSession::cycle() const {
    return *slots_.front()->cycle;
}

DownloadCycle& DownloadSession::cycle() {
    return *slots_.front()->cycle;
}

bool DownloadSession::downloading() const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [](const auto& slot) { return slot->cycle->downloading(); });
}

bool DownloadSession::isRunning(const std::string& link) const {
    if (link.empty())
        return false;
    return std::any_of(slots_.begin(), slots_.end(), [&link](const auto& slot) {
        return slot->cycle->downloading() && slot->cycle->link() == link;
    });
}

int DownloadSession::rowOfRunning(const Slot& slot) const {
    if (!slot.cycle->downloading())
        return 0;
    return queue_.rowOf(slot.cycle->link()).value_or(0);
}

bool DownloadSession::anyRowRunning() const {
    return std::any_of(slots_.begin(), slots_.end(),
                       [this](const auto& slot) { return rowOfRunning(*slot) != 0; });
}

// The first running row's cycle is the one the gauge and the status line show.
bool DownloadSession::isShown(const Slot& slot) const {
    const int row = rowOfRunning(slot);
    if (row == 0)
        return false;
    return std::none_of(slots_.begin(), slots_.end(), [&](const auto& other) {
        const int otherRow = rowOfRunning(*other);
        return otherRow != 0 && otherRow < row;
    });
}

std::optional<RowState> DownloadSession::runningState(const std::string& link) const {
    for (const auto& slot : slots_) {
        const DownloadCycle& cycle = *slot->cycle;
        if (!cycle.downloading() || cycle.link() != link)
            continue;
        RowState state;
        if (cycle.asksForCaptcha())
            state.kind = RowState::Kind::Captcha;
        else if (cycle.state() == CycleState::Countdown)
            state.kind = RowState::Kind::Countdown;
        else if (cycle.state() == CycleState::Transfer)
            state.kind = RowState::Kind::Transfer;
        else
            state.kind = RowState::Kind::Page;
        state.secondsLeft = cycle.secondsToTransfer();
        state.received = slot->received;
        state.expected = slot->expected;
        state.bytesPerSecond = slot->rate.bytesPerSecond();
        return state;
    }
    return std::nullopt;
}

std::optional<double> DownloadSession::totalBytesPerSecond() const {
    std::optional<double> total;
    for (const auto& slot : slots_) {
        if (slot->cycle->state() != CycleState::Transfer)
            continue;
        if (const auto speed = slot->rate.bytesPerSecond())
            total = total.value_or(0) + *speed;
    }
    return total;
}

Browser* DownloadSession::pageOf(const std::string& link) const {
    for (const auto& slot : slots_)
        if (slot->cycle->downloading() && slot->cycle->link() == link)
            return &slot->page;
    return nullptr;
}

void DownloadSession::runGuarded(const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        Q_EMIT stepFailed(toQt(error.what()));
    }
}

void DownloadSession::start() {
    runGuarded([this] {
        if (!several_)
            several_ = settings_.Egyszerre > 1;
        if (!several_) {
            cycle().start();
            return;
        }
        if (downloading())
            return;
        if (queue_.isEmpty()) {
            Q_EMIT emptyQueueRefused();
            Q_EMIT statusShown(QString());
            return;
        }
        Q_EMIT runControlsShown(RunControls::Running);
        fillSlots();
    });
}

// Every cycle stops as Stop stops one: its transfer is abandoned, and its
// partial file kept for the next attempt.
void DownloadSession::stop() {
    runGuarded([this] {
        if (!several_) {
            cycle().stop();
            return;
        }
        stopping_ = true;
        hostsWait_->stop();
        for (const auto& slot : slots_) {
            slot->handed.clear();
            slot->cycle->stop();
        }
        stopping_ = false;
        runEnded();
    });
}

void DownloadSession::setHoursGate(DownloadHoursGate* gate) {
    hours_ = gate;
    for (const auto& slot : slots_)
        slot->cycle->setHoursGate(gate);
}

void DownloadSession::setPageRestTime(std::chrono::milliseconds rest) {
    pageRest_->setRestTime(rest);
}

// A cycle that became free takes its next link once it has left the step
// that freed it.
void DownloadSession::scheduleFill() {
    if (stopping_ || fillDue_)
        return;
    fillDue_ = true;
    QTimer::singleShot(0, this, [this] {
        fillDue_ = false;
        runGuarded([this] { fillSlots(); });
    });
}

void DownloadSession::fillSlots() {
    if (!several_ || stopping_)
        return;
    int wanted = std::clamp(settings_.Egyszerre, 1, kMostAtOnce);
    while (static_cast<int>(slots_.size()) < wanted) {
        Browser* page = browser_.makeHiddenPage(this);
        if (!page)
            break; // no engine: the first cycle's page tells why
        addSlot(*page);
    }
    wanted = std::min(wanted, static_cast<int>(slots_.size()));
    hostsWait_->stop();
    const std::int64_t at = now();
    hostWaits_.dropExpired(at);
    std::optional<std::int64_t> soonestWait;
    while (!settings_.letoltes_utan_stop) {
        const auto free = std::find_if(slots_.begin(), slots_.begin() + wanted,
                                       [](const auto& slot) { return !slot->busy(); });
        if (free == slots_.begin() + wanted)
            break;
        std::vector<QueuedRun> queued;
        for (int row = 1; row < queue_.rowCount(); ++row) {
            const std::string& link = queue_.url(row);
            if (link.empty())
                continue;
            const auto profile = profiles_ ? profiles_->forLink(link) : nullptr;
            const auto until = hostWaits_.until(hostOf(link), at);
            if (until)
                soonestWait = std::min(soonestWait.value_or(*until), *until);
            queued.push_back({link, profiles_ ? profiles_->hostKey(link) : addressHostPort(link),
                              profile ? profile->profile().perHost : 1, until.has_value()});
        }
        std::vector<RunningLink> running;
        for (const auto& slot : slots_) {
            if (!slot->busy())
                continue;
            const std::string& link = slot->handed.empty() ? slot->cycle->link() : slot->handed;
            running.push_back({link, profiles_ ? profiles_->hostKey(link) : addressHostPort(link)});
        }
        const auto next = nextLinkToStart(queued, running, wanted);
        if (!next)
            break;
        (*free)->handed = queued[*next].url;
        (*free)->cycle->start();
    }
    const bool anyBusy =
        std::any_of(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->busy(); });
    if (soonestWait && !settings_.letoltes_utan_stop) {
        // A host's wait ends: its links may then take a free cycle.
        const qint64 left = std::max<qint64>((*soonestWait - at) * 1000, 0);
        hostsWait_->start(static_cast<int>(std::min<qint64>(left + 1000, 24LL * 3600 * 1000)));
        if (!anyBusy) {
            Q_EMIT gaugeValueShown(0);
            Q_EMIT statusShown(QStringLiteral("Következő próba: ") + timeOfDay(*soonestWait));
        }
    } else if (!anyBusy) {
        runEnded();
    }
    Q_EMIT rowStatesChanged();
}

void DownloadSession::runEnded() {
    hostsWait_->stop();
    Q_EMIT gaugeValueShown(0);
    Q_EMIT statusShown(QString());
    Q_EMIT runControlsShown(RunControls::Idle);
    several_ = false;
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
    // Several at once, the link may stand on any row.
    const int row = several_ ? queue_.rowOf(link).value_or(1) : 1;
    OutcomeFacts facts;
    facts.kind = result.outcome;
    facts.headUrl = link;
    runFailures_.record(facts.headUrl, result);
    facts.headAttemptsCell = queue_.attempts(row);
    facts.queueRowCount = queue_.rowCount();
    facts.secondRowHasLink = queue_.rowCount() > 2 && !queue_.url(2).empty();
    facts.retries = settings_.ujra;
    facts.deadWaitSeconds = settings_.elhalt;
    facts.stopAfterChecked = settings_.letoltes_utan_stop;
    facts.contentLength = contentLength;
    facts.decimalSeparator = toStd(QLocale().decimalPoint());
    OutcomePlan plan = planOutcome(facts);

    if (plan.queueChange == QueueChange::RotateHead)
        queue_.rotateRow(row, plan.rotatedAttempts);
    else
        queue_.removeRow(row);
    if (plan.logEntry)
        log_.append(*plan.logEntry);
    statistics_.count(plan);
    Q_EMIT outcomeRecorded(link, result);
    if (several_)
        plan.next = NextStep::Idle; // the session hands the cycle its next link
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
    const int row = several_ ? queue_.rowOf(link).value_or(1) : 1;
    queue_.rotateRow(row, queue_.attempts(row)); // not a try: its count stays
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

int DownloadSession::passOver(const std::string& link) {
    const QueueRewrite rewrite(list_idle);
    const int row = several_ ? queue_.rowOf(link).value_or(1) : 1;
    queue_.rotateRow(row, queue_.attempts(row)); // untried: its count stays
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
    if (row > 1 && isRunning(queue_.url(row)))
        return false;
    return queue_.deleteRow(row, queueGuards());
}

bool DownloadSession::moveToTop(int row) {
    return queue_.moveToTop(row, queueGuards());
}

bool DownloadSession::moveToEnd(int row) {
    if (row > 1 && isRunning(queue_.url(row)))
        return false;
    return queue_.moveToEnd(row, queueGuards());
}

QueueDrag::Press DownloadSession::pressRow(int row, int column) {
    if (row > 1 && row < queue_.rowCount() && isRunning(queue_.url(row)))
        return QueueDrag::Press::Refused;
    return drag_.press(queue_, row, column, queueGuards());
}

QueueDrag::Release DownloadSession::releaseRow(int row, int column) {
    return drag_.release(queue_, row, column, queueGuards());
}

std::vector<QueuedLink>
DownloadSession::removeAsDead(const std::function<bool(const std::string&)>& pick) {
    std::vector<QueuedLink> taken = queue_.takeLinks(
        [this, &pick](const std::string& link) { return !isRunning(link) && pick(link); },
        queueGuards());
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
