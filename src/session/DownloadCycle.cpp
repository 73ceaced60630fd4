#include "session/DownloadCycle.h"

#include "core/BuiltInProfile.h"
#include "core/FileReply.h"
#include "core/HostProfile.h"
#include "core/HostWaits.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"
#include "session/DownloadHoursGate.h"
#include "session/TTimer.h"
#include "session/letolto.h"

#include <QDateTime>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace vardelo {
namespace {

// A page that never finishes loading must not hold the cycle for ever.
constexpr std::chrono::milliseconds kPageTimeout{120 * 1000};

// The browser loads only absolute addresses, taken as they are.
bool isAddress(const std::string& link) {
    const QUrl address(toQt(link), QUrl::StrictMode);
    return address.isValid() && !address.isRelative();
}

// A slot for connect(): the step with the signal's arguments, run so that no
// failure reaches the event loop.
template <typename... Args>
auto guardedStep(CycleSession& session, DownloadCycle* cycle,
                 void (DownloadCycle::*step)(Args...)) {
    return [&session, cycle, step](Args... args) {
        session.runGuarded([&] { (cycle->*step)(args...); });
    };
}

} // namespace

DownloadCycle::DownloadCycle(CycleSession& session, Browser& browser, HttpClient& http,
                             QObject* parent)
    : QObject(parent), session_(session), browser_(browser), http_(http) {
    Timer3 = makeTimer("Timer3", &DownloadCycle::transferDue);
    Timer4 = makeTimer("Timer4", &DownloadCycle::countdownTick);
    elhalt_kijelzo = makeTimer("elhalt_kijelzo", &DownloadCycle::deadWaitTick);

    // The page is the cycle's own: its answers come here, not through the session.
    connect(&browser, &Browser::documentComplete, this,
            guardedStep(session_, this, &DownloadCycle::documentComplete));
    connect(&browser, &Browser::elementSubmitted, this,
            guardedStep(session_, this, &DownloadCycle::elementSubmitted));
    connect(&browser, &Browser::bodyMarkupRead, this,
            guardedStep(session_, this, &DownloadCycle::bodyMarkupRead));
    connect(&browser, &Browser::elementRead, this,
            guardedStep(session_, this, &DownloadCycle::elementRead));
    connect(&browser, &Browser::entriesRead, this,
            guardedStep(session_, this, &DownloadCycle::folderEntriesRead));
    connect(&browser, &Browser::downloadRequested, this,
            guardedStep(session_, this, &DownloadCycle::downloadRequested));
    connect(&browser, &Browser::navigationHeld, this,
            guardedStep(session_, this, &DownloadCycle::navigationHeld));
    connect(&browser, &Browser::cannotStart, this,
            guardedStep(session_, this, &DownloadCycle::browserCannotStart));
    connect(&browser, &Browser::pageLost, this,
            guardedStep(session_, this, &DownloadCycle::pageLost));

    pageWatchdog_ = new QTimer(this);
    pageWatchdog_->setSingleShot(true);
    setPageTimeout(kPageTimeout);
    connect(pageWatchdog_, &QTimer::timeout, this,
            [this] { session_.runGuarded([this] { pageTimedOut(watchdogAttempt_); }); });

    buildCaptchaTimers();
    buildPasswordTimer();
}

DownloadCycle::~DownloadCycle() = default;

TTimer* DownloadCycle::makeTimer(const char* name, void (DownloadCycle::*tick)()) {
    auto* timer = new TTimer(1000, this);
    timer->setObjectName(QLatin1String(name));
    connect(timer, &QTimer::timeout, this, guardedStep(session_, this, tick));
    return timer;
}

bool DownloadCycle::downloading() const {
    return state_ != CycleState::Idle && state_ != CycleState::DeadLinkWait;
}

void DownloadCycle::setPageTimeout(std::chrono::milliseconds timeout) {
    pageWatchdog_->setInterval(static_cast<int>(timeout.count()));
}

void DownloadCycle::beginAttempt(CycleState state) {
    ++attempt_;
    state_ = state;
    awaitingSubmit_ = false;
    completedWhileSubmitting_.reset();
    reading_ = ProfileRead::None;
    pageFailedStatus_ = false;
    step_ = 0;
    heldAddress_.clear();
    formPost_.reset();
    pageFileName_.clear();
    expectedFile_ = {};
    fileChecked_.clear();
    storedAs_.clear();
    settleClock_.invalidate();
    folder_.reset();
    passwordSent_ = false;
}

// Nothing of the attempt may act any more: its timers, its watchdog and its
// answers are disarmed or will not match.
void DownloadCycle::endAttempt() {
    if (state_ == CycleState::Password)
        endPasswordAsk();
    ++attempt_;
    state_ = CycleState::Idle;
    awaitingSubmit_ = false;
    completedWhileSubmitting_.reset();
    reading_ = ProfileRead::None;
    pageFailedStatus_ = false;
    endCaptcha();
    browser_.holdNavigation(NavigationHold::Off);
    heldAddress_.clear();
    profile_.reset();
    folder_.reset();
    pageWatchdog_->stop();
    Timer3->setEnabled(false);
    Timer4->setEnabled(false);
    worker = nullptr; // a finished worker may still send its HEAD; it is no longer heard
    Q_EMIT transferRateCleared();
}

void DownloadCycle::start() {
    if (session_.queueIsEmpty()) {
        Q_EMIT emptyQueueRefused();
        Q_EMIT statusShown(QString());
        return;
    }
    if (downloading())
        return;
    elhalt_kijelzo->setEnabled(false); // Start pressed during the dead-link wait
    if (heldBackByHours())
        return;
    Q_EMIT runControlsShown(RunControls::Running);
    beginAttempt(CycleState::FirstPage);
    Memo1.clear();
    link_ = session_.nextLink();
    const std::string& link = link_;
    profile_ = profiles_ ? profiles_->forLink(link) : nullptr;
    if (!profile_)
        profile_ = builtInProfile();
    Q_EMIT statusShown(QStringLiteral("Weblap betöltése"));
    armWatchdog();
    linkRefused_ = !isAddress(link);
    if (!linkRefused_)
        browser_.presetCookies(toQt(link), profile_->profile().cookies);
    browser_.navigate(toQt(link));
}

void DownloadCycle::setHoursGate(DownloadHoursGate* gate) {
    hours_ = gate;
    connect(gate, &DownloadHoursGate::opened, this,
            [this] { session_.runGuarded([this] { hoursOpened(); }); });
}

// The link is not begun: the cycle waits, stoppable, until the hours open.
bool DownloadCycle::heldBackByHours() {
    if (!hours_ || !hours_->holdsBack())
        return false;
    state_ = CycleState::Idle;
    Q_EMIT runControlsShown(RunControls::Running);
    Q_EMIT gaugeValueShown(0);
    Q_EMIT statusShown(hours_->waitingText());
    return true;
}

void DownloadCycle::hoursOpened() {
    if (downloading())
        return;
    // The link it waited with may have left the queue meanwhile: the next
    // one goes, or the run ends, and nobody is there to read a box.
    if (session_.queueIsEmpty()) {
        session_.cycleFree();
        return;
    }
    start();
}

void DownloadCycle::armCountdown(std::int32_t seconds) {
    tell(CycleStep::Wait, std::to_string(seconds));
    countdown = seconds;
    state_ = CycleState::Countdown;
    pageWatchdog_->stop(); // the countdown and the transfer have their own ends
    Timer3->setIntervalMs(countdown * 1000 + 1000);
    Q_EMIT gaugeMaximumShown(countdown + 1);
    Timer4->setEnabled(true);
    Timer3->setEnabled(true);
}

void DownloadCycle::pageFailed(OutcomeKind kind, FailureKind reason, std::string why) {
    tellFailure(why);
    naplozas({kind, {reason, std::move(why)}});
}

void DownloadCycle::armWatchdog() {
    watchdogAttempt_ = attempt_;
    pageWatchdog_->start();
}

void DownloadCycle::pageTimedOut(quint64 attempt) {
    if (attempt != attempt_ || (state_ != CycleState::FirstPage && state_ != CycleState::WaitPage &&
                                state_ != CycleState::AfterWait && state_ != CycleState::Submitted))
        return;
    const OutcomeKind kind =
        firstPageFailure() ? OutcomeKind::DeadLink : OutcomeKind::WaitPageUnreadable;
    browser_.abandonPage(); // a hung page would hold every later link of its host
    pageFailed(kind, FailureKind::PageTimedOut,
               "the page did not finish within " +
                   std::to_string(pageWatchdog_->interval() / 1000) + " s");
}

// A page step needs its page: one that is gone ends the try at once, where
// the watchdog or the user's time for a captcha would only end it later.
void DownloadCycle::pageLost(bool crashed) {
    const bool pageStep = state_ == CycleState::FirstPage || state_ == CycleState::WaitPage ||
                          state_ == CycleState::AfterWait || state_ == CycleState::Submitted ||
                          state_ == CycleState::Captcha || state_ == CycleState::Password;
    // A walk's countdown still has its page to read or press after the wait.
    const bool walkCountdown = state_ == CycleState::Countdown &&
                               (captcha_ == CaptchaState::Asked || download_url.empty());
    if (!pageStep && !walkCountdown)
        return;
    const OutcomeKind kind =
        firstPageFailure() ? OutcomeKind::DeadLink : OutcomeKind::WaitPageUnreadable;
    if (crashed)
        pageFailed(kind, FailureKind::PageCrashed, "the page's renderer ended");
    else
        pageFailed(kind, FailureKind::PageClosed, "the page closed its window");
}

void DownloadCycle::tell(CycleStep step, const std::string& detail) const {
    if (trace_)
        trace_(step, detail);
}

void DownloadCycle::tellPage(CycleStep step) const {
    if (trace_)
        trace_(step, toStd(browser_.pageAddress()));
}

void DownloadCycle::tellFailure(const std::string& why) const {
    if (trace_)
        trace_(CycleStep::Failed, stepName() + ": " + why);
}

void DownloadCycle::countdownTick() {
    if (captcha_ != CaptchaState::Asked) // the captcha's request stays in view
        Q_EMIT statusShown(QString::number(countdown - 1) +
                           QStringLiteral(" mp múlva indul a letöltés"));
    --countdown;
    Q_EMIT gaugeValueShown(std::max(countdown, 0));
    if (state_ != CycleState::Countdown) {
        Q_EMIT statusShown(QStringLiteral("Letöltés megállítva!"));
        Timer4->setEnabled(false);
        Q_EMIT gaugeValueShown(0);
    }
}

void DownloadCycle::transferDue() {
    if (state_ != CycleState::Countdown) {
        Timer3->setEnabled(false);
        return;
    }
    if (captcha_ == CaptchaState::Asked) {
        // The wait is over; the captcha's answer is still awaited.
        Timer3->setEnabled(false);
        Timer4->setEnabled(false);
        pageWatchdog_->stop();
        state_ = CycleState::Captcha;
        return;
    }
    Q_EMIT statusShown(QStringLiteral("Letöltés"));
    Q_EMIT runControlsShown(RunControls::Transfer);
    Timer3->setEnabled(false);
    Timer4->setEnabled(false);
    if (!currentStep().addressBeforeWait) {
        readFrom(ProfileRead::CaptchaAfterWait);
        return;
    }
    startTransfer();
}

void DownloadCycle::startTransfer() {
    if (trace_) {
        const std::string address = download_url;
        endAttempt();
        tell(CycleStep::Transfer, address);
        return;
    }
    state_ = CycleState::Transfer;
    reading_ = ProfileRead::None; // an answer of the page still on its way is not heard
    const quint64 attempt = attempt_;
    auto* thread = new TTesztThread(http_, link_, download_url, session_.targetFolderFor(link_),
                                    profileSession(), this);
    // Only the transfer of the running attempt is heard.
    const auto ofThisAttempt = [this, attempt](auto step) {
        return [this, attempt, step](auto... args) {
            if (isCurrentTransfer(attempt))
                session_.runGuarded([&] { (this->*step)(args...); });
        };
    };
    connect(thread, &TTesztThread::workBegin, this, ofThisAttempt(&DownloadCycle::transferBegun));
    connect(thread, &TTesztThread::work, this, ofThisAttempt(&DownloadCycle::transferProgress));
    connect(thread, &TTesztThread::fileChecked, this,
            ofThisAttempt(&DownloadCycle::transferChecked));
    connect(thread, &TTesztThread::stored, this, ofThisAttempt(&DownloadCycle::transferStored));
    connect(thread, &TTesztThread::workEnd, this, ofThisAttempt(&DownloadCycle::transferEnded));
    connect(thread, &TTesztThread::failed, this, ofThisAttempt(&DownloadCycle::transferFailed));
    connect(thread, &TTesztThread::pageInsteadOfFile, this,
            ofThisAttempt(&DownloadCycle::transferSentPage));
    if (!profile_->profile().designedTransfer)
        thread->nameFileByReply(pageFileName_);
    if (formPost_)
        thread->postForm(*formPost_);
    thread->expectFile(expectedFile_);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    worker = thread;
    thread->start();
}

bool DownloadCycle::isCurrentTransfer(quint64 attempt) const {
    return attempt == attempt_ && state_ == CycleState::Transfer;
}

void DownloadCycle::transferBegun(qint64 expected, qint64 announcedLength) {
    if (state_ != CycleState::Transfer)
        return;
    gaugeBytes_ = expected;
    Q_EMIT transferRateCleared(); // a body started again counts afresh
    Q_EMIT bytesShown(0, expected);
    if (announcedLength >= 0)
        content_length = announcedLength;
}

void DownloadCycle::transferProgress(qint64 received) {
    if (state_ != CycleState::Transfer)
        return;
    Q_EMIT transferShown(received, gaugeBytes_, content_length);
}

void DownloadCycle::transferChecked(const QString& note) {
    if (state_ == CycleState::Transfer)
        fileChecked_ = toStd(note);
}

void DownloadCycle::transferStored(const QString& path) {
    if (state_ == CycleState::Transfer)
        storedAs_ = toStd(path);
}

void DownloadCycle::transferEnded(qint64 received) {
    if (state_ != CycleState::Transfer)
        return;
    Q_EMIT gaugeValueShown(0);
    content_length = received; // what arrived, also when no length was announced
    naplozas({OutcomeKind::Success, {}, fileChecked_, storedAs_});
}

void DownloadCycle::transferFailed(const FailureReason& reason) {
    if (state_ != CycleState::Transfer)
        return;
    Q_EMIT gaugeValueShown(0);
    naplozas({OutcomeKind::TransferFailed, reason});
}

void DownloadCycle::transferSentPage(const QByteArray& page, const QString& contentType) {
    if (state_ != CycleState::Transfer)
        return;
    Q_EMIT gaugeValueShown(0);
    // The page may say the file is gone or the host busy: the outcome is
    // then the one its first page would have given.
    const std::string_view text(page.constData(), static_cast<std::size_t>(page.size()));
    if (!profile_->isDead(text) && !profile_->isPremiumOnly(text)) {
        for (std::size_t i = 0; i < profile_->stepCount(); ++i) {
            const auto asked = profile_->readRetryAfter(i, text);
            const auto seconds =
                asked ? retryAfterSeconds(*asked, profile_->retryAfter(i)->unit) : std::nullopt;
            if (seconds) {
                hostAsksToWait(*seconds);
                return;
            }
        }
        if (profile_->isTempOffline(text)) {
            hostTemporarilyOffline(profile_->stepCount(), std::string(text)); // past the last step
            return;
        }
        if (refusesPassword(std::string(text))) // the last step's form answered
            return;
    }
    const AttemptResult verdict = pageForFileResult(profile_.get(), text, toStd(contentType));
    if (verdict.reason.kind == FailureKind::WebPage && walkOnFromPage())
        return;
    concludeAttempt(verdict);
}

void DownloadCycle::naplozas(const AttemptResult& result) {
    const OutcomeKind kind = result.outcome;
    const bool fromTransfer = state_ == CycleState::Transfer;
    const bool transferKind = kind == OutcomeKind::Success || kind == OutcomeKind::TransferFailed;
    if (!downloading() || fromTransfer != transferKind)
        return; // no attempt of that kind is running
    concludeAttempt(result);
}

void DownloadCycle::concludeAttempt(const AttemptResult& result) {
    endAttempt();
    captchaSkips_ = 0;
    logResult(result);
    const OutcomePlan plan = session_.recordOutcome(link_, result, content_length);
    switch (plan.next) {
    case NextStep::Idle:
        elhalt_kijelzo->setEnabled(false);
        Q_EMIT runControlsShown(RunControls::Idle);
        return;
    case NextStep::StartNow:
        Q_EMIT transferredCleared();
        session_.cycleFree();
        return;
    case NextStep::DeadLinkWait:
        Q_EMIT transferredCleared();
        Q_EMIT gaugeMaximumShown(plan.deadWaitSeconds);
        dead_wait_left = static_cast<unsigned char>(plan.deadWaitSeconds);
        state_ = CycleState::DeadLinkWait;
        elhalt_kijelzo->setEnabled(true);
        return;
    }
}

void DownloadCycle::logResult(const AttemptResult& result) const {
    const QString link = toQt(link_);
    if (result.outcome == OutcomeKind::Success) {
        qCInfo(lcCycle).noquote() << "downloaded" << link << content_length << "bytes";
        return;
    }
    const bool transfer = result.outcome == OutcomeKind::TransferFailed;
    qCWarning(transfer ? lcTransfer : lcCycle).noquote()
        << "attempt failed:" << link << "-" << failureKindName(result.reason.kind) << "-"
        << toQt(result.reason.text);
}

void DownloadCycle::deadWaitTick() {
    if (state_ != CycleState::DeadLinkWait) {
        elhalt_kijelzo->setEnabled(false);
        return;
    }
    Q_EMIT statusShown(QStringLiteral("Elhalt link utáni várakozás, még ") +
                       QString::number(dead_wait_left) + QStringLiteral(" másodperc"));
    Q_EMIT gaugeValueShown(dead_wait_left);
    if (dead_wait_left == 0) {
        elhalt_kijelzo->setEnabled(false);
        state_ = CycleState::Idle;
        session_.cycleFree();
    } else {
        --dead_wait_left;
    }
}

// A browser that cannot start is this computer's fault, not the link's: the
// run stops as Stop stops it, and the queue stays as it was.
void DownloadCycle::browserCannotStart(const QString& reason) {
    stop();
    Q_EMIT browserFailed(reason);
}

void DownloadCycle::skipWait() {
    if (state_ == CycleState::Countdown)
        transferDue();
}

void DownloadCycle::endDeadLinkWait() {
    if (state_ != CycleState::DeadLinkWait)
        return;
    elhalt_kijelzo->setEnabled(false);
    state_ = CycleState::Idle;
}

void DownloadCycle::stop() {
    if (hours_)
        hours_->release();
    if (worker)
        worker->abandon(); // nothing of it reaches the session; its file keeps what arrived
    endAttempt();
    elhalt_kijelzo->setEnabled(false);
    Q_EMIT gaugeValueShown(0);
    Q_EMIT statusShown(QString());
    Q_EMIT runControlsShown(RunControls::Idle);
}

} // namespace vardelo
