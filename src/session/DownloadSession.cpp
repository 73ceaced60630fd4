#include "session/DownloadSession.h"

#include "core/RunSlots.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"
#include "session/HostWaitsStore.h"
#include "session/LinkCheckRunner.h"
#include "session/PackageRun.h"
#include "session/PackageStore.h"
#include "session/PageRest.h"
#include "session/PasswordStore.h"
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

// One cycle and its page: it works the link the session hands it, and its
// outcome goes to that link's row.
class DownloadSession::Slot final : public CycleSession {
  public:
    Slot(DownloadSession& owner, Browser& itsPage) : session_(owner), page(itsPage) {}

    // The link handed over may have left the queue while the download
    // hours held it back.
    bool queueIsEmpty() const override { return handed.empty() || !session_.queue_.rowOf(handed); }
    std::string nextLink() override { return std::exchange(handed, std::string()); }
    void cycleFree() override {
        handed.clear();
        session_.fillSlots();
    }
    const RunSettings& runSettings() const override { return session_.settings_; }
    std::string targetFolderFor(const std::string& link) override {
        return session_.packages_->targetFolderFor(link);
    }
    OutcomePlan recordOutcome(const std::string& link, const AttemptResult& result,
                              std::int64_t contentLength) override {
        return session_.recordOutcome(link, result, contentLength);
    }
    void noteHostWait(const std::string& link, const std::string& host,
                      std::int64_t seconds) override {
        session_.noteHostWait(link, host, seconds);
    }
    int passOver(const std::string& link) override { return session_.passOver(link); }
    void expandFolder(const std::string& link, const FolderWalk& walk) override {
        session_.expandFolder(link, walk);
    }
    std::optional<std::string> passwordOf(const std::string& link) const override {
        const std::string* password = session_.passwords_.find(link);
        return password ? std::optional(*password) : std::nullopt;
    }
    void forgetPassword(const std::string& link) override {
        session_.passwords_.erase(link);
        session_.savePasswordsNow();
    }
    void runGuarded(const std::function<void()>& step) override { session_.runGuarded(step); }

    // A cycle in its dead-link wait takes its next link when the wait is over.
    bool busy() const {
        return cycle->downloading() || cycle->state() == CycleState::DeadLinkWait ||
               !handed.empty();
    }

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
    for (const GridFeed* feed : {&queueFeed_, &logFeed_})
        connect(feed, &GridFeed::changed, this, [this] {
            if (records_)
                records_->scheduleSave();
        });
    packages_ = new PackageRun(
        queue_, settings_, [this](const std::string& link) { return folders_.packageOf(link); },
        [this](const std::string& link) {
            const LinkFacts* facts = linkFactsOf(link);
            return facts ? facts->name : std::string();
        },
        this);
    // A download's own texts come first.
    connect(packages_, &PackageRun::unpackingShown, this, [this](const QString& text) {
        if (!downloading())
            Q_EMIT statusShown(text);
    });
    connect(packages_, &PackageRun::logEntryReady, this, [this](const LogEntry& entry) {
        log_.append(entry);
        if (records_)
            records_->saveInBackground();
    });
    connect(packages_, &PackageRun::statesChanged, this, &DownloadSession::rowStatesChanged);
    connect(packages_, &PackageRun::packageReady, this, &DownloadSession::packageReady);
    connect(packages_, &PackageRun::passwordWanted, this, &DownloadSession::packagePasswordWanted);
    buildLinkCheck();
    connect(&queueFeed_, &GridFeed::changed, this, [this] {
        forgetLeftLinks();
        packages_->linksChanged();
    });
    connect(this, &DownloadSession::linkCheckProgressed, packages_, &PackageRun::linksChanged);
    addSlot(browser);
    hostsWait_ = new QTimer(this);
    hostsWait_->setSingleShot(true);
    connect(hostsWait_, &QTimer::timeout, this, [this] { runGuarded([this] { fillSlots(); }); });
    deadLinkWaitTick_ = new QTimer(this);
    deadLinkWaitTick_->setInterval(1000);
    connect(deadLinkWaitTick_, &QTimer::timeout, this, [this] {
        deadLinkWaits_.dropExpired(now());
        if (deadLinkWaits_.ends().empty())
            deadLinkWaitTick_->stop();
        Q_EMIT rowStatesChanged();
    });
    // At rest the pages go, so the engine gives their memory back. A
    // captcha's page is its running link's; a link check needs pages too.
    pageRest_ = new PageRest([this] { return downloading() || linkCheck_->running(); },
                             [this] {
                                 for (const auto& slot : slots_)
                                     slot->page.releasePage();
                             },
                             this);
    connect(this, &DownloadSession::runControlsShown, pageRest_, &PageRest::reconsider);
    connect(this, &DownloadSession::rowStatesChanged, pageRest_, &PageRest::reconsider);
    connect(this, &DownloadSession::outcomeRecorded, pageRest_, &PageRest::reconsider);
    connect(this, &DownloadSession::linkCheckEnded, pageRest_, &PageRest::reconsider);
}

// The cycles go first: their workers end before the queue they report to.
DownloadSession::~DownloadSession() {
    delete linkCheck_; // its workers end while what they report to is whole
    for (const auto& slot : slots_)
        delete slot->cycle;
}

DownloadSession::Slot& DownloadSession::addSlot(Browser& page) {
    auto& slot = *slots_.emplace_back(std::make_unique<Slot>(*this, page));
    slot.cycle = new DownloadCycle(slot, page, http_, this);
    slot.cycle->setHostProfiles(profiles_);
    slot.cycle->setTrace(trace_);
    if (hours_)
        slot.cycle->setHoursGate(hours_);
    connectSlot(slot);
    return slot;
}

// With one link at once the cycle's displays are the session's; with
// several, those of the first running row's cycle.
void DownloadSession::connectSlot(Slot& slot) {
    DownloadCycle& cycle = *slot.cycle;
    const auto shown = [this, &slot](auto signal) {
        return [this, &slot, signal](auto... args) {
            if (oneAtOnce() || isShown(slot))
                Q_EMIT(this->*signal)(args...);
        };
    };
    // While no row runs (the download hours hold every cycle back), the
    // status line still says why.
    connect(&cycle, &DownloadCycle::statusShown, this, [this, &slot](const QString& text) {
        if (oneAtOnce() || isShown(slot) || !anyRowRunning())
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
                Q_EMIT rowStatesChanged();
            });
    // With one link at once Start, Stop and the stop-after switch follow its
    // cycle; with several they stay as the run began until it ends, and Stop
    // stops every cycle. A cycle that goes idle has ended the run or frees
    // its slot.
    connect(&cycle, &DownloadCycle::runControlsShown, this, [this](RunControls controls) {
        if (oneAtOnce()) {
            if (controls == RunControls::Idle)
                atOnce_ = 0;
            Q_EMIT runControlsShown(controls);
        } else if (controls == RunControls::Idle) {
            scheduleFill();
        }
        Q_EMIT rowStatesChanged();
    });
    // The cycle was handed no link (it left the queue while held back).
    connect(&cycle, &DownloadCycle::emptyQueueRefused, this, &DownloadSession::scheduleFill);
    connect(&cycle, &DownloadCycle::captchaAsked, this,
            [this, &cycle] { Q_EMIT captchaAsked(cycle.link()); });
    connect(&cycle, &DownloadCycle::captchaEnded, this, &DownloadSession::captchaEnded);
    connect(&cycle, &DownloadCycle::passwordAsked, this,
            [this, &cycle] { Q_EMIT passwordAsked(cycle.link()); });
    connect(&cycle, &DownloadCycle::passwordAskEnded, this,
            [this, &cycle] { Q_EMIT passwordAskEnded(cycle.link()); });
    connect(&cycle, &DownloadCycle::browserFailed, this, [this](const QString& reason) {
        if (!oneAtOnce())
            stop(); // the other cycles' pages come from the same engine
        Q_EMIT browserFailed(reason);
    });
}

void DownloadSession::setTrace(CycleTrace trace) {
    trace_ = std::move(trace);
    for (const auto& slot : slots_)
        slot->cycle->setTrace(trace_);
}

void DownloadSession::skipWaits() {
    for (const auto& slot : slots_)
        slot->cycle->skipWait();
}

DownloadSession::FileAsk DownloadSession::fileAskOf(const std::string& link) const {
    for (const auto& slot : slots_)
        if (slot->cycle->link() == link)
            return {slot->cycle->formPost(), slot->cycle->pageFileName()};
    return {};
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

RowState DownloadSession::rowState(int row) const {
    RowState state;
    const std::string& link = queue_.url(row);
    // A queued copy of a running link is only queued.
    const bool running = isRunning(link) && queue_.rowOf(link) == row;
    for (const auto& slot : slots_) {
        const DownloadCycle& cycle = *slot->cycle;
        if (!running || !cycle.downloading() || cycle.link() != link)
            continue;
        if (cycle.asksForCaptcha())
            state.kind = RowState::Kind::Captcha;
        else if (cycle.state() == CycleState::Countdown)
            state.kind = RowState::Kind::Countdown;
        else if (cycle.state() == CycleState::Transfer)
            state.kind = RowState::Kind::Transfer;
        else
            state.kind = RowState::Kind::Page;
        state.secondsLeft = cycle.secondsToTransfer();
        state.received = std::max<std::int64_t>(slot->received, 0);
        state.expected = slot->expected;
        state.bytesPerSecond = slot->rate.bytesPerSecond();
        return state;
    }
    if (link.empty())
        return state;
    const std::int64_t at = now();
    if (const auto until = hostWaits_.until(hostOf(link), at)) {
        state.kind = RowState::Kind::HostWait;
        state.until = toStd(timeOfDay(*until));
    } else if (const auto deadUntil = deadLinkWaits_.until(runHostOf(link), at)) {
        state.kind = RowState::Kind::DeadLinkWait;
        state.secondsLeft = *deadUntil - at;
    }
    return state;
}

std::optional<double> DownloadSession::transferSpeed() {
    std::optional<double> total;
    const std::int64_t at = nowMs();
    for (const auto& slot : slots_) {
        if (slot->cycle->state() != CycleState::Transfer)
            continue;
        slot->rate.sample(at, slot->received);
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

// One scheduler for any number of links at once: Start takes as many
// cycles as "Egyszerre" says for the whole run, and the free ones take the
// next links the queue offers.
void DownloadSession::start() {
    runGuarded([this] {
        if (queue_.isEmpty()) {
            Q_EMIT emptyQueueRefused();
            Q_EMIT statusShown(QString());
            return;
        }
        if (downloading())
            return;
        if (atOnce_ == 0) {
            atOnce_ = std::clamp(settings_.Egyszerre, 1, kMostAtOnce);
            if (!oneAtOnce())
                Q_EMIT runControlsShown(RunControls::Running);
        }
        // A Start asks at once: the waits after failed links are over.
        deadLinkWaits_ = {};
        for (const auto& slot : slots_)
            slot->cycle->endDeadLinkWait();
        fillSlots();
    });
}

// Every cycle stops as Stop stops one: its transfer is abandoned, and its
// partial file kept for the next attempt.
void DownloadSession::stop() {
    runGuarded([this] {
        const bool several = !oneAtOnce();
        stopping_ = true;
        hostsWait_->stop();
        for (const auto& slot : slots_) {
            slot->handed.clear();
            slot->cycle->stop();
        }
        stopping_ = false;
        if (several)
            runEnded();
        atOnce_ = 0;
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
    if (atOnce_ == 0 || stopping_)
        return;
    while (static_cast<int>(slots_.size()) < atOnce_) {
        Browser* page = browser_.makeHiddenPage(this);
        if (!page)
            break; // no engine: the first cycle's page tells why
        addSlot(*page);
    }
    const int wanted = std::min(atOnce_, static_cast<int>(slots_.size()));
    hostsWait_->stop();
    const std::int64_t at = now();
    hostWaits_.dropExpired(at);
    deadLinkWaits_.dropExpired(at);
    std::optional<std::int64_t> soonestWait;
    while (!settings_.letoltes_utan_stop) {
        const auto free = std::find_if(slots_.begin(), slots_.begin() + wanted,
                                       [](const auto& slot) { return !slot->busy(); });
        if (free == slots_.begin() + wanted)
            break;
        std::vector<QueuedRun> queued;
        for (int row = 1; row < queue_.rowCount(); ++row) {
            const std::string& link = queue_.url(row);
            const auto profile = profiles_ ? profiles_->forLink(link) : nullptr;
            const auto until = heldUntil(link, at);
            if (until)
                soonestWait = std::min(soonestWait.value_or(*until), *until);
            queued.push_back({link, runHostOf(link), profile ? profile->profile().perHost : 1,
                              until.has_value() || link.empty()});
        }
        std::vector<RunningLink> running;
        for (const auto& slot : slots_) {
            if (!slot->busy() || slot->cycle->state() == CycleState::DeadLinkWait)
                continue;
            const std::string& link = slot->handed.empty() ? slot->cycle->link() : slot->handed;
            running.push_back({link, runHostOf(link)});
        }
        const auto next = nextLinkToStart(queued, running, wanted);
        if (!next)
            break;
        (*free)->handed = queue_.url(static_cast<int>(passOverWaitingBefore(*next + 1, at)));
        (*free)->cycle->start();
    }
    const bool anyBusy =
        std::any_of(slots_.begin(), slots_.end(), [](const auto& slot) { return slot->busy(); });
    if (soonestWait && !settings_.letoltes_utan_stop) {
        // A host's wait ends: its links may then take a free cycle; a second
        // late, so the host's time is surely over.
        const qint64 left = std::max<qint64>((*soonestWait - at) * 1000, 0);
        hostsWait_->start(
            static_cast<int>(std::min<qint64>(left, kLongestHostWaitSeconds * 1000) + 1000));
        if (!anyBusy) {
            Q_EMIT runControlsShown(RunControls::Running);
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
    atOnce_ = 0;
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
    packages_->keepIn(recordFolder_);
    bool unread = false;
    folders_ = loadPackages(recordFolder_, &unread);
    packagesKept_ = !unread; // a file that did not read stays as it is
    loadLinkResults();
    forgetLeftLinks();
    packages_->resumeArrived();
}

void DownloadSession::waitForRecordSaves() {
    if (records_)
        records_->waitForBackgroundSave();
}

void DownloadSession::saveRecordsAtClosing() {
    saveLinkResultsAtClosing();
    if (records_)
        records_->saveAtClosing();
}

// --- outcomes ----------------------------------------------------------------

// What an attempt's outcome changes in the queue, the log and the
// statistics; the cycle decides how it goes on (see planOutcome).
OutcomePlan DownloadSession::recordOutcome(const std::string& link, const AttemptResult& result,
                                           std::int64_t contentLength) {
    const QueueRewrite rewrite(list_idle);
    const int row = queue_.rowOf(link).value_or(1);
    // What the link brings to its package goes with it from the queue.
    const std::string givenPackage = packages_->givenPackageOf(link);
    std::optional<std::string> password;
    if (const std::string* own = passwords_.find(link))
        password = *own;
    OutcomeFacts facts;
    facts.kind = result.outcome;
    facts.headUrl = link;
    runFailures_.record(facts.headUrl, result);
    facts.headAttemptsCell = queue_.attempts(row);
    facts.queueRowCount = queue_.rowCount();
    facts.secondRowHasLink = queue_.rowCount() > 2 && !queue_.url(2).empty();
    facts.retries = settings_.ujra;
    facts.givenUpAtOnce = givesUpAtOnce(result.reason.kind);
    facts.deadWaitSeconds = settings_.elhalt;
    facts.stopAfterChecked = settings_.letoltes_utan_stop;
    facts.contentLength = contentLength;
    facts.decimalSeparator = toStd(QLocale().decimalPoint());
    OutcomePlan plan = planOutcome(facts);

    if (plan.queueChange == QueueChange::RotateHead) {
        queue_.rotateRow(row, plan.rotatedAttempts);
    } else {
        if (result.outcome != OutcomeKind::Success)
            packages_->partGivenUp(link);
        queue_.removeRow(row);
        folders_.forget(link);
    }
    if (plan.logEntry)
        log_.append(*plan.logEntry);
    statistics_.count(plan);
    if (result.outcome == OutcomeKind::Success && !result.storedAs.empty())
        packages_->partArrived(link, result.storedAs, givenPackage,
                               password ? &*password : nullptr);
    // What became of a link is not left to the next background save: the
    // desktop may end the program in the seconds before it.
    if (records_)
        records_->saveInBackground();
    Q_EMIT outcomeRecorded(link, result);
    // The wait after a failure keeps many dead links in a row from getting
    // the user's address blocked by their host. With one link at once the
    // cycle waits it out itself, as designed; with several, the failed
    // link's host waits it while the others go on.
    if (plan.next == NextStep::DeadLinkWait && !oneAtOnce()) {
        deadLinkWaits_.note(runHostOf(link), plan.deadWaitSeconds, now());
        if (plan.deadWaitSeconds > 0)
            deadLinkWaitTick_->start();
        plan.next = NextStep::StartNow;
    }
    return plan;
}

// --- host waits --------------------------------------------------------------

std::string DownloadSession::packageOf(const std::string& link) const {
    return packages_->packageOf(link);
}

QString DownloadSession::packageStateOf(const std::string& link) const {
    const std::string package = packages_->packageOf(link);
    return package.empty() ? QString() : packages_->stateOf(package);
}

QString DownloadSession::packagePartsOf(const std::string& link) const {
    const std::string package = packages_->packageOf(link);
    return package.empty() ? QString() : packages_->partsOf(package);
}

void DownloadSession::placeInPackage(const std::vector<std::string>& links,
                                     const std::string& package) {
    packages_->place(links, package);
    Q_EMIT rowStatesChanged();
}

void DownloadSession::renamePackage(const std::string& from, const std::string& to) {
    packages_->rename(from, to);
}

void DownloadSession::givePackagePassword(const std::string& package, const std::string& password) {
    packages_->givePassword(package, password);
}

void DownloadSession::setArchivePasswords(std::vector<std::string> passwords) {
    packages_->setPasswordList(std::move(passwords));
}

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
    const int row = queue_.rowOf(link).value_or(1);
    queue_.rotateRow(row, queue_.attempts(row)); // not a try: its count stays
    Q_EMIT hostAskedToWait(link);
    Q_EMIT rowStatesChanged();
}

std::string DownloadSession::runHostOf(const std::string& link) const {
    return profiles_ ? profiles_->hostKey(link) : addressHostPort(link);
}

std::optional<std::int64_t> DownloadSession::heldUntil(const std::string& link,
                                                       std::int64_t at) const {
    const auto asked = hostWaits_.until(hostOf(link), at);
    const auto dead = deadLinkWaits_.until(runHostOf(link), at);
    if (asked && dead)
        return std::max(*asked, *dead);
    return asked ? asked : dead;
}

// As a host's waiting links go to the queue's end when one is passed over,
// the rows the next link is taken past follow them there; running rows
// keep their places.
std::size_t DownloadSession::passOverWaitingBefore(std::size_t row, std::int64_t at) {
    const QueueRewrite rewrite(list_idle);
    const TextGrid::Batch batch(queue_.grid());
    int at_row = static_cast<int>(row);
    for (int before = 1; before < at_row;) {
        const std::string& link = queue_.url(before);
        if (link.empty() || isRunning(link) || !heldUntil(link, at)) {
            ++before;
            continue;
        }
        queue_.rotateRow(before, queue_.attempts(before));
        --at_row;
    }
    return static_cast<std::size_t>(at_row);
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

// The folder's row gives its place to its files, as one change of the queue.
void DownloadSession::expandFolder(const std::string& link, const FolderWalk& walk) {
    const QueueRewrite rewrite(list_idle);
    const std::optional<int> row = queue_.rowOf(link);
    if (!row)
        return; // it left the queue while its pages were read
    std::vector<std::string> queued;
    for (int other = 1; other < queue_.rowCount(); ++other)
        if (other != *row)
            queued.push_back(queue_.url(other));
    const FolderToQueue placed = folders_.expand(link, walk, queued, profiles_);
    for (const std::string& folder : placed.leftOut)
        qCInfo(lcCycle).noquote() << "folder not opened (too deep, or opened before):"
                                  << toQt(folder);
    std::vector<std::string> links;
    links.reserve(placed.added.size());
    for (const FolderEntry& entry : placed.added)
        links.push_back(entry.address);
    // A package's password is its files'; it goes with the folder's row.
    const std::string* kept = passwords_.find(link);
    const std::string password = kept ? *kept : std::string();
    queue_.replaceRow(*row, links);
    if (!password.empty())
        setPassword(links, password);
    if (packagesKept_)
        savePackages(recordFolder_, folders_);
    if (records_)
        records_->saveInBackground();
    noteFolderFacts(placed);
    Q_EMIT folderExpanded(link, placed);
    Q_EMIT rowStatesChanged();
}

// --- passwords ----------------------------------------------------------------

void DownloadSession::keepPasswordsIn(const QString& folder) {
    bool unread = false;
    passwords_ = loadPasswords(folder, &unread);
    // A file that did not read is left as it is, with its passwords.
    passwordFolder_ = unread ? QString() : folder;
    forgetLeftLinks();
}

void DownloadSession::setPassword(const std::vector<std::string>& links,
                                  const std::string& password) {
    if (!isUsablePassword(password))
        return;
    for (const std::string& link : links)
        passwords_.set(link, password);
    savePasswordsNow();
}

void DownloadSession::answerPassword(const std::string& link,
                                     const std::optional<std::string>& password) {
    if (password)
        setPassword({link}, *password);
    const bool usable = password && isUsablePassword(*password);
    for (const auto& slot : slots_)
        if (slot->cycle->link() == link)
            slot->cycle->passwordAnswered(usable ? password : std::nullopt);
}

void DownloadSession::savePasswordsNow() {
    if (!passwordFolder_.isEmpty())
        savePasswords(passwordFolder_, passwords_);
}

// A link that left the queue takes its password and its package with it.
void DownloadSession::forgetLeftLinks() {
    std::vector<std::string> queued;
    queued.reserve(static_cast<std::size_t>(queue_.rowCount()));
    for (int row = 1; row < queue_.rowCount(); ++row)
        queued.push_back(queue_.url(row));
    forgetLeftLinkFacts(queued);
    if (passwords_.keepOnly(queued))
        savePasswordsNow();
    if (folders_.keepOnly(queued) && packagesKept_)
        savePackages(recordFolder_, folders_);
}

int DownloadSession::passOver(const std::string& link) {
    const QueueRewrite rewrite(list_idle);
    const int row = queue_.rowOf(link).value_or(1);
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

int DownloadSession::deletePackage(const std::string& package) {
    if (package.empty())
        return 0;
    const TextGrid::Batch batch(queue_.grid());
    int removed = 0;
    bool kept = false;
    for (int row = queue_.rowCount() - 1; row >= 1; --row) {
        if (packages_->packageOf(queue_.url(row)) != package)
            continue;
        if (deleteRow(row))
            ++removed;
        else
            kept = true;
    }
    if (!kept)
        packages_->drop(package);
    return removed;
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

void DownloadSession::rewriteQueue(const std::function<void()>& rewrite) {
    const QueueRewrite during(list_idle);
    rewrite();
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
