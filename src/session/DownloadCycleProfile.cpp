// The download cycle's walk of a link's host profile, a profile file's or
// the built-in one: each step's page is checked (dead, asked to wait,
// busy), its wait counted down, then an element pressed or the file's
// address read. Every outcome is one the built-in steps give: the first
// page dead or without its element is a dead link; anything unreadable
// after it is an unreadable wait page. The page watchdog bounds every page.
#include "session/DownloadCycle.h"

#include "core/Duration.h"
#include "core/HostProfile.h"
#include "core/HostWaits.h"
#include "core/WaitPage.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"
#include "session/TTimer.h"

#include <QTimer>

namespace vardelo {
namespace {

// Profile requests carry tickets of their own, apart from the attempts'
// numbers, so that no late answer of another step can pass for theirs.
constexpr quint64 kProfileTicket = quint64(1) << 63;

// A host down for now, saying not for how long, is asked again after this.
constexpr std::int64_t kTempOfflineSeconds = 10 * 60;

} // namespace

std::string DownloadCycle::failureText(const std::string& own, std::string general) {
    return own.empty() ? std::move(general) : own;
}

const ProfileStep& DownloadCycle::currentStep() const {
    return profile_->step(step_);
}

std::string DownloadCycle::stepName() const {
    if (profile_ && !currentStep().name.empty())
        return currentStep().name;
    return "step " + std::to_string(step_ + 1);
}

// A named step's page lines are as its design has them, without its name.
std::string DownloadCycle::stepLine(const std::string& detail) const {
    if (!currentStep().name.empty())
        return detail;
    return stepName() + ": " + detail;
}

quint64 DownloadCycle::profileRequest(ProfileRead read) {
    reading_ = read;
    profileTicket_ = kProfileTicket | ++profileRequests_;
    return profileTicket_;
}

void DownloadCycle::requestMarkup(ProfileRead read) {
    browser_.readBodyMarkup(profileRequest(read));
}

// A page has loaded for the walk: the first one, the next step's, or the
// current step's again (a reload during the wait reads it afresh).
void DownloadCycle::documentComplete(bool ok) {
    if (awaitingSubmit_) {
        // The next page came before the answer to the form's submission.
        completedWhileSubmitting_ = ok;
        return;
    }
    if (state_ != CycleState::Submitted && captchaTakesPage(ok))
        return;
    switch (state_) {
    case CycleState::FirstPage:
        if (!ok && linkRefused_) {
            naplozas(
                {OutcomeKind::DeadLink, {FailureKind::RefusedAddress, "not an address: " + link_}});
            return;
        }
        beginStep(ok);
        return;
    case CycleState::Submitted:
        browser_.holdNavigation(NavigationHold::Off);
        ++step_;
        beginStep(ok);
        return;
    case CycleState::WaitPage:
    case CycleState::Countdown:
    case CycleState::Captcha:
        beginStep(ok);
        return;
    case CycleState::AfterWait: // its address is being read
    case CycleState::Password:  // the page waits for the user's answer
    case CycleState::Idle:
    case CycleState::Transfer:
    case CycleState::DeadLinkWait:
        return;
    }
}

// A page that came with an error status (or not at all) is still read:
// an offline page is often sent with 404 or 410, and its dead marker
// counts before anything else.
void DownloadCycle::beginStep(bool pageLoaded) {
    if (!readsAgainDuringWait()) {
        state_ = step_ == 0 ? CycleState::FirstPage : CycleState::WaitPage;
        endCaptcha();
        Timer3->setEnabled(false);
        Timer4->setEnabled(false);
        armWatchdog(); // each page gets a time of its own
    }
    pageFailedStatus_ = !pageLoaded;
    settleClock_.invalidate();
    if (!pageLoaded && !profile_->hasDeadPattern(step_)) {
        pageNotLoaded(); // nothing on it could tell more
        return;
    }
    if (pageLoaded && step_ == 0)
        tellPage(CycleStep::FirstPage);
    else if (pageLoaded)
        tell(CycleStep::WaitPage, stepLine(toStd(browser_.pageAddress())));
    if (pageLoaded && currentStep().submitForm) {
        submitForm();
        return;
    }
    requestMarkup(ProfileRead::Page);
}

void DownloadCycle::pageNotLoaded() {
    // A folder's later page that fails says nothing of the folder.
    pageFailed(step_ == 0 && !beyondFirstFolderPage() ? OutcomeKind::DeadLink
                                                      : OutcomeKind::WaitPageUnreadable,
               FailureKind::PageNotLoaded,
               failureText(currentStep().texts.notLoaded, "the page did not load"));
}

void DownloadCycle::bodyMarkupRead(quint64 ticket, bool ok, const QString& markup) {
    if (ticket != profileTicket_)
        return; // an earlier step's
    // A page the walk has left is not heard; a wait page that is read again
    // while it waits takes every reading of it.
    if (reading_ == ProfileRead::None) {
        if (!readsAgainDuringWait())
            return;
        reading_ = ProfileRead::Page;
    }
    profileMarkupRead(ok, toStd(markup));
}

// The step's page is up, waited on, and read afresh as often as it comes.
bool DownloadCycle::readsAgainDuringWait() const {
    return (state_ == CycleState::WaitPage || state_ == CycleState::Countdown) &&
           currentStep().readsAgainDuringWait;
}

void DownloadCycle::profileMarkupRead(bool ok, const std::string& markup) {
    const ProfileRead read = std::exchange(reading_, ProfileRead::None);
    if (!ok && read == ProfileRead::CaptchaSolved)
        return; // the next tick reads again
    if (!ok && pageFailedStatus_) {
        pageNotLoaded();
        return;
    }
    if (!ok) {
        pageFailed(
            firstPageFailure() ? OutcomeKind::DeadLink : OutcomeKind::WaitPageUnreadable,
            FailureKind::PageUnreadable,
            failureText(currentStep().texts.unreadable, "the page's text could not be read"));
        return;
    }
    if (read == ProfileRead::Page)
        checkStepPage(markup);
    else
        valueRead(read, readInText(read, markup));
}

void DownloadCycle::checkStepPage(const std::string& markup) {
    Memo1 = markup;
    download_url.clear();
    if (profile_->isDead(step_, markup)) {
        pageFailed(OutcomeKind::DeadLink, FailureKind::FileGone,
                   "the profile's dead pattern matches the page");
        return;
    }
    if (profile_->isPremiumOnly(step_, markup)) {
        pageFailed(OutcomeKind::DeadLink, FailureKind::PremiumOnly,
                   "the profile's premium_only pattern matches the page");
        return;
    }
    if (profile_->isTempOffline(step_, markup)) {
        hostTemporarilyOffline(step_, markup);
        return;
    }
    if (refusesPassword(markup))
        return;
    if (pageFailedStatus_) {
        pageNotLoaded();
        return;
    }
    if (profile_->isFolder()) {
        readFolderPage();
        return;
    }
    readFrom(ProfileRead::RetryAfter);
}

// A host that says how long to wait is asked again after that time; one
// that says it without a number is busy.
bool DownloadCycle::retryAfterRead(const std::optional<std::string>& text) {
    if (!text)
        return true;
    const std::optional<std::int64_t> seconds =
        retryAfterSeconds(*text, profile_->retryAfter(step_)->unit);
    if (!seconds) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::HostBusy,
                   "the host asks to wait, but its time reads as no number: \"" + *text + "\"");
        return false;
    }
    hostAsksToWait(*seconds);
    return false;
}

// As a host that asks to wait: for the time its retry_after reads, else
// for the time a host down for now is given.
void DownloadCycle::hostTemporarilyOffline(std::size_t step, const std::string& markup) {
    const auto& retry = profile_->retryAfter(step);
    const auto text = retry ? profile_->readRetryAfter(step, markup) : std::nullopt;
    const auto seconds = text ? retryAfterSeconds(*text, retry->unit) : std::nullopt;
    tellFailure("the profile's temp_offline pattern matches the page");
    hostAsksToWait(seconds.value_or(kTempOfflineSeconds));
}

// Not a failed try: the link keeps its place among the tries, and the
// cycle goes on with a link whose host is not waiting.
void DownloadCycle::hostAsksToWait(std::int64_t seconds) {
    const std::string why = "the host asks to wait " + std::to_string(seconds) + " s";
    tellFailure(why);
    qCInfo(lcCycle).noquote() << "host waits:" << toQt(link_) << "-" << toQt(why);
    const std::string host = profile_->profile().name;
    const bool probing = static_cast<bool>(trace_);
    endAttempt();
    session_.noteHostWait(link_, host, seconds);
    if (probing)
        return;
    session_.cycleFree(); // with "Letöltés után megáll" the session ends the run there
}

// A busy page, or one past the walk's last step, is read no further.
bool DownloadCycle::stepChecked() {
    if (profile_->isBusy(step_, Memo1)) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::HostBusy,
                   "the profile's busy pattern matches the page");
        return false;
    }
    if (currentStep().afterLast) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::WebPage,
                   "the last step led to a page, not to the file");
        return false;
    }
    return true;
}

// A name the page shows is the file's unless the reply names it; a page
// that shows none leaves the name to the address.
bool DownloadCycle::fileNameRead(const std::optional<std::string>& text) {
    if (text) {
        pageFileName_ = toStd(toQt(decodeCharacterReferences(*text)).trimmed());
        tell(CycleStep::FileName, stepName() + ": " + pageFileName_);
    }
    return true;
}

void DownloadCycle::readStepWait() {
    const auto& wait = currentStep().wait;
    if (wait && wait->kind == PageReader::Kind::Designed) {
        readDesignedWaitPage();
        return;
    }
    if (!wait) {
        valueRead(ProfileRead::Wait, std::string("0"));
        return;
    }
    readValue(ProfileRead::Wait);
}

// A text without a number is no wait yet: it is read again as nothing is.
bool DownloadCycle::stepWaitRead(const std::optional<std::string>& text) {
    const std::optional<std::int64_t> seconds =
        text ? durationSeconds(*text, unitSeconds(currentStep().waitUnit)) : std::nullopt;
    if (!seconds && readAgainLater(ProfileRead::Wait))
        return false;
    if (!seconds) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoWaitingTime,
                   text ? "the waiting time read holds no number: \"" + *text + "\""
                        : std::string("the profile's wait reader finds nothing"));
        return false;
    }
    countdown = static_cast<std::int32_t>(*seconds);
    settleClock_.invalidate();
    return true;
}

// The designed readers: the file's address first, as it stands, then the
// wait; the countdown is armed anew with every reading.
void DownloadCycle::readDesignedWaitPage() {
    const std::optional<std::string> address = profile_->readAddress(step_, Memo1);
    if (!address) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoDownloadAddress,
                   failureText(currentStep().texts.noAddress,
                               "the profile's address reader finds nothing"));
        return;
    }
    download_url = *address;
    tell(CycleStep::Address, download_url);
    const std::optional<std::string> wait = profile_->readWait(step_, Memo1);
    const std::optional<std::int32_t> seconds = wait ? designedWaitSeconds(*wait) : std::nullopt;
    if (!seconds) {
        pageFailed(
            OutcomeKind::WaitPageUnreadable, FailureKind::NoWaitingTime,
            failureText(currentStep().texts.noWait, "the profile's wait reader finds nothing"));
        return;
    }
    armCountdown(*seconds);
}

// A placeholder ("#", "javascript:void(0)") is an address a script has
// yet to write in: read again as one not there at all.
bool DownloadCycle::stepAddressRead(const std::optional<std::string>& text) {
    const bool placeholder = text && isPlaceholderAddress(decodeCharacterReferences(*text));
    if ((!text || placeholder) && readAgainLater(ProfileRead::Address))
        return false;
    const std::optional<std::string> address = text ? fetchableAddress(*text) : std::nullopt;
    if (!address) {
        pageFailed(OutcomeKind::WaitPageUnreadable,
                   text ? FailureKind::RefusedAddress : FailureKind::NoDownloadAddress,
                   text ? "the address read is no http or https address: \"" + *text + "\""
                        : std::string("the profile's address reader finds nothing"));
        return false;
    }
    download_url = *address;
    tell(CycleStep::Address, download_url);
    if (currentStep().addressBeforeWait)
        return true; // its countdown next
    pageWatchdog_->stop();
    startTransfer();
    return false;
}

} // namespace vardelo
