// A step's end: once its wait is over, the step presses its element (or
// submits its form) or reads the file's address; what the element leads
// to, a page, a held navigation or a download, takes the walk on.
#include "session/DownloadCycle.h"

#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/QtText.h"

#include <QTimer>
#include <QUrl>

namespace vardelo {
namespace {

// A click that has started no navigation by then started a script on the
// page instead (an XHR countdown): the next step reads the page as it is.
constexpr int kClickLeadsNowhereMs = 3000;

} // namespace

// The wait is over: the step presses its element, or reads the address
// from the page as it stands now.
void DownloadCycle::stepAfterWait() {
    settleClock_.invalidate();
    armWatchdog(); // a page that leads nowhere ends as an unreadable one
    checkCaptcha(ProfileRead::CaptchaAfterWait);
}

void DownloadCycle::pressOrRead() {
    armWatchdog();
    if (currentStep().submit.empty()) {
        state_ = CycleState::AfterWait;
        readValueAfresh(ProfileRead::Address); // the page as it stands after the wait
        return;
    }
    if (!currentStep().password.empty() && !passwordSent_) {
        fillPassword();
        return;
    }
    state_ = CycleState::Submitted;
    // Where the element leads to the file, the transfer fetches it: the
    // browser never asks for it, so an address good for one request works.
    // A form the page sends by POST is held at the last step only, where
    // its answer can only be the file: an earlier one's answer is most
    // often the next page, which only the browser can show without sending
    // the form (a captcha's token, a password) a second time.
    browser_.holdNavigation(step_ + 1 >= profile_->stepCount() ? NavigationHold::MovesAndPostForm
                                                               : NavigationHold::Moves);
    browser_.activateElement(profileRequest(ProfileRead::Submit), toQt(currentStep().submit));
}

// The form is submitted by its id as soon as its page is complete; a page
// that completes before the answer is kept for after it.
void DownloadCycle::submitForm() {
    awaitingSubmit_ = true;
    browser_.submitElement(profileRequest(ProfileRead::Submit), toQt(currentStep().submit));
}

void DownloadCycle::elementSubmitted(quint64 ticket, bool submitted) {
    if (ticket == profileTicket_ && reading_ == ProfileRead::Password) {
        reading_ = ProfileRead::None;
        passwordFilled(submitted);
        return;
    }
    if (ticket != profileTicket_ || reading_ != ProfileRead::Submit)
        return;
    reading_ = ProfileRead::None;
    awaitingSubmit_ = false;
    stepSubmitted(submitted);
}

void DownloadCycle::stepSubmitted(bool submitted) {
    const ProfileStep& step = currentStep();
    if (submitted) {
        tell(CycleStep::Submitted, stepLine(step.submitForm ? "#" + step.submit : step.submit));
        if (step.submitForm) {
            formSubmitted();
            return;
        }
        // The page, the held navigation or the download it leads to is
        // awaited; or nothing comes, the click having started a script.
        const quint64 attempt = attempt_;
        const std::size_t pressed = step_;
        QTimer::singleShot(kClickLeadsNowhereMs, this, [this, attempt, pressed] {
            session_.runGuarded([&] { clickLedNowhere(attempt, pressed); });
        });
        return;
    }
    browser_.holdNavigation(NavigationHold::Off);
    if (step_ == 0)
        pageFailed(OutcomeKind::DeadLink, FailureKind::NoFreeUserForm,
                   failureText(currentStep().texts.noElement,
                               "nothing on the link's page matches the selector " + step.submit));
    else
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoAfterWaitElement,
                   failureText(currentStep().texts.noElement,
                               "nothing on the page matches the selector " + step.submit));
}

// Nothing is loading: the next step begins on the page as it stands.
void DownloadCycle::clickLedNowhere(quint64 attempt, std::size_t pressed) {
    if (attempt != attempt_ || state_ != CycleState::Submitted || step_ != pressed ||
        browser_.isLoading())
        return;
    browser_.holdNavigation(NavigationHold::Off);
    ++step_;
    beginStep(true);
}

// A submitted form leads to the next step's page, whatever else the page
// does meanwhile; that page gets a time of its own.
void DownloadCycle::formSubmitted() {
    ++step_;
    state_ = CycleState::WaitPage;
    armWatchdog();
    if (const auto early = std::exchange(completedWhileSubmitting_, std::nullopt))
        documentComplete(*early);
}

void DownloadCycle::navigationHeld(const HeldNavigation& held) {
    if (state_ != CycleState::Submitted)
        return;
    if (held.kind == HeldNavigation::Kind::UnreadableForm) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::PageUnreadable,
                   "the form's fields cannot be sent as the page would send them");
        return;
    }
    const std::string address = toStd(held.url);
    heldAddress_ = address;
    if (held.kind == HeldNavigation::Kind::FormPost)
        formPost_ = held.form;
    fileFound(address);
}

void DownloadCycle::downloadRequested(const QString& url) {
    if (state_ != CycleState::Submitted)
        return;
    browser_.holdNavigation(NavigationHold::Off);
    heldAddress_.clear();
    fileFound(toStd(url));
}

void DownloadCycle::fileFound(const std::string& address) {
    reading_ = ProfileRead::None;
    if (!isHttpAddress(address)) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::RefusedAddress,
                   "the download's address is no http or https address: " + address);
        return;
    }
    download_url = address;
    tell(CycleStep::Address, download_url);
    pageWatchdog_->stop();
    startTransfer();
}

// The address a pressed element led to answered with a page, not the
// file: the browser goes there, and the walk goes on with its next step.
bool DownloadCycle::walkOnFromPage() {
    if (heldAddress_.empty() || step_ + 1 >= profile_->stepCount())
        return false;
    const QString address = toQt(std::exchange(heldAddress_, std::string()));
    ++attempt_; // the transfer's late signals are not this page's
    state_ = CycleState::Submitted;
    Q_EMIT transferRateCleared();
    Q_EMIT runControlsShown(RunControls::Running);
    Q_EMIT statusShown(QStringLiteral("Weblap betöltése"));
    armWatchdog();
    browser_.navigate(address);
    return true;
}

// A file a profile's pages led to is asked for in the browser's session,
// from the page that led to it; the built-in steps keep the designed request.
std::optional<HttpSession> DownloadCycle::profileSession() const {
    if (profile_->profile().designedTransfer)
        return std::nullopt;
    HttpSession session = browser_.session();
    session.referer = toStd(browser_.pageAddress());
    return session;
}

// A profile's address: references decoded, resolved against the page's
// address; only http and https are fetched.
std::optional<std::string> DownloadCycle::fetchableAddress(const std::string& text) const {
    const QString decoded = toQt(decodeCharacterReferences(text)).trimmed();
    if (decoded.isEmpty())
        return std::nullopt;
    const QUrl resolved = QUrl(browser_.pageAddress()).resolved(QUrl(decoded));
    const std::string address = toStd(resolved.toString(QUrl::FullyEncoded));
    if (!resolved.isValid() || resolved.host().isEmpty() || !isHttpAddress(address))
        return std::nullopt;
    return address;
}

} // namespace vardelo
