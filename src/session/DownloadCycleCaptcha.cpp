// A step's captcha: the user solves it in the shown page while the step's
// countdown runs; the step goes on once its solved reader reads something,
// or, without one, once the page moves on. The user's time is the setting's;
// a page that asks for one when the user chose to skip them sends its link
// to the queue's end untried.
#include "session/DownloadCycle.h"

#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"

#include <QTimer>

namespace vardelo {
namespace {

// How often a solved reader looks at the page.
constexpr int kSolvedPollMs = 500;

QString captchaStatus() {
    return QStringLiteral("Captcha: oldd meg a Weblap lapon!");
}

} // namespace

void DownloadCycle::buildCaptchaTimers() {
    captchaLimit_ = new QTimer(this);
    captchaLimit_->setSingleShot(true);
    connect(captchaLimit_, &QTimer::timeout, this,
            [this] { session_.runGuarded([this] { captchaTimedOut(); }); });
    captchaPoll_ = new QTimer(this);
    captchaPoll_->setInterval(kSolvedPollMs);
    connect(captchaPoll_, &QTimer::timeout, this,
            [this] { session_.runGuarded([this] { pollCaptcha(); }); });
}

// At a step's start, and again when its wait is over (a captcha a script
// puts in only then).
void DownloadCycle::checkCaptcha(ProfileRead at) {
    const std::string& selector = profile_->captcha(step_);
    if (selector.empty() || captcha_ != CaptchaState::None) {
        valueRead(at, std::nullopt);
        return;
    }
    requestValue(at, PageReader{PageReader::Kind::Selector, selector, {}, false});
}

// A captcha still asked when the wait is over holds the step until solved.
bool DownloadCycle::captchaChecked(ProfileRead at, bool present) {
    if (present && captcha_ == CaptchaState::None)
        return askCaptcha(at);
    if (folder_) {
        readFolderEntries();
        return false;
    }
    if (at == ProfileRead::CaptchaAfterWait && captcha_ == CaptchaState::Asked) {
        pageWatchdog_->stop(); // the user's time bounds it now
        state_ = CycleState::Captcha;
        return false;
    }
    return true;
}

bool DownloadCycle::askCaptcha(ProfileRead at) {
    tell(CycleStep::Captcha, stepName());
    if (passOverUnattended("captcha"))
        return false;
    captcha_ = CaptchaState::Asked;
    Q_EMIT captchaAsked();
    Q_EMIT statusShown(captchaStatus());
    captchaLimit_->start(
        captchaTimeout_.value_or(std::chrono::milliseconds(session_.runSettings().captchaTime)));
    if (profile_->captchaSolved(step_))
        captchaPoll_->start();
    if (folder_) {
        folder_->captchaAsked = true; // a folder's later pages are not asked again
        pageWatchdog_->stop();
        state_ = CycleState::Captcha;
        return false;
    }
    // At the step's start its countdown runs meanwhile.
    if (at == ProfileRead::CaptchaAtStart)
        return true;
    pageWatchdog_->stop(); // the user's time bounds it now
    state_ = CycleState::Captcha;
    return false;
}

void DownloadCycle::pollCaptcha() {
    if (captcha_ != CaptchaState::Asked || reading_ != ProfileRead::None)
        return; // another read of the step is awaited; the next tick looks
    readValueAfresh(ProfileRead::CaptchaSolved);
}

void DownloadCycle::captchaSolvedRead(const std::optional<std::string>& text) {
    // Blanks, written as they are or as references, are no token.
    if (captcha_ == CaptchaState::Asked && text &&
        !toQt(decodeCharacterReferences(*text)).trimmed().isEmpty())
        captchaSolved();
}

void DownloadCycle::captchaSolved() {
    endCaptcha();
    captcha_ = CaptchaState::Solved;
    if (folder_) { // the page, as it stands now, lists the folder
        state_ = CycleState::FirstPage;
        armWatchdog();
        requestMarkup(ProfileRead::Page);
        return;
    }
    Q_EMIT statusShown(state_ == CycleState::Countdown
                           ? QString::number(countdown) +
                                 QStringLiteral(" mp múlva indul a letöltés")
                           : QStringLiteral("Weblap betöltése"));
    if (state_ == CycleState::Captcha) { // its wait was over already
        state_ = CycleState::Countdown;
        transferDue();
    }
}

// Untried: the next link goes, and a queue of links waiting for the user
// only ends.
bool DownloadCycle::passOverUnattended(const char* what) {
    if (session_.runSettings().captchaChoice != CaptchaChoice::Skip || trace_)
        return false;
    qCInfo(lcCycle).noquote() << what << "skipped:" << toQt(link_);
    endAttempt();
    const int queued = session_.passOver(link_);
    if (++captchaSkips_ >= queued || session_.runSettings().letoltes_utan_stop) {
        captchaSkips_ = 0;
        Q_EMIT statusShown(QString());
        Q_EMIT runControlsShown(RunControls::Idle);
        return true;
    }
    session_.cycleFree();
    return true;
}

// Without a solved reader, the page moving on is the user's answer: the
// walk goes on with the next step there. With one, only the reader
// answers: the page that loads (another host's, say) is what it polls.
bool DownloadCycle::captchaTakesPage(bool ok) {
    const bool onItsPage = state_ == CycleState::FirstPage || state_ == CycleState::WaitPage ||
                           state_ == CycleState::Countdown || state_ == CycleState::Captcha;
    if (!onItsPage || captcha_ != CaptchaState::Asked)
        return false;
    if (profile_->captchaSolved(step_))
        return true;
    endCaptcha();
    captcha_ = CaptchaState::None;
    if (!folder_) // a folder has one page, read again wherever the captcha led
        ++step_;
    beginStep(ok);
    return true;
}

void DownloadCycle::captchaTimedOut() {
    if (captcha_ != CaptchaState::Asked)
        return;
    Q_EMIT statusShown(QString()); // nobody is asked any more
    pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::CaptchaNotSolved,
               "the captcha was not solved in time");
}

// Its timers stop and the user's earlier page comes back.
void DownloadCycle::endCaptcha() {
    captchaLimit_->stop();
    captchaPoll_->stop();
    if (std::exchange(captcha_, CaptchaState::None) == CaptchaState::Asked)
        Q_EMIT captchaEnded();
}

} // namespace vardelo
