// The download cycle's steps for a link that a host profile claims. Every
// outcome is one the built-in steps give: a first page that is dead or has
// no element to submit is a dead link; anything unreadable after it is an
// unreadable wait page. The page watchdog bounds every step.
#include "app/DownloadCycle.h"

#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/QtText.h"

#include <QTimer>
#include <QUrl>

namespace vardelo {
namespace {

// Profile requests carry tickets of their own, apart from the attempts'
// numbers, so that no late answer of another step can pass for theirs.
constexpr quint64 kProfileTicket = quint64(1) << 63;

// How often a reader that found nothing looks at its page again.
constexpr int kReadAgainMs = 250;

} // namespace

quint64 DownloadCycle::profileRequest(ProfileRead read) {
    reading_ = read;
    profileTicket_ = kProfileTicket | ++profileRequests_;
    return profileTicket_;
}

void DownloadCycle::requestMarkup(ProfileRead read) {
    browser_.readBodyMarkup(profileRequest(read));
}

// A selector reader's value, read in the page by the browser.
void DownloadCycle::requestValue(ProfileRead read) {
    const HostProfile& profile = profile_->profile();
    const PageReader& reader = read == ProfileRead::Wait ? *profile.wait : *profile.address;
    browser_.readElement(profileRequest(read), toQt(reader.first),
                         reader.hasAttribute ? toQt(reader.second) : QString());
}

void DownloadCycle::profileMarkupRead(quint64, bool ok, const std::string& markup) {
    const ProfileRead read = std::exchange(reading_, ProfileRead::None);
    if (!ok) {
        pageFailed(state_ == CycleState::FirstPage ? OutcomeKind::DeadLink
                                                   : OutcomeKind::WaitPageUnreadable,
                   firstPageFailed_ ? FailureKind::PageNotLoaded : FailureKind::PageUnreadable,
                   firstPageFailed_ ? "the link's page did not load"
                                    : "the page's text could not be read");
        return;
    }
    switch (read) {
    case ProfileRead::FirstPage:
        readProfileFirstPage(markup);
        return;
    case ProfileRead::WaitPage:
        readProfileWaitPage(markup);
        return;
    case ProfileRead::LateAddress:
        profileAddressRead(profile_->readAddress(markup));
        return;
    default:
        return;
    }
}

void DownloadCycle::elementRead(quint64 ticket, bool ok, const QString& text) {
    if (!profile_ || ticket != profileTicket_)
        return;
    const ProfileRead read = std::exchange(reading_, ProfileRead::None);
    const std::optional<std::string> value = ok ? std::optional(toStd(text)) : std::nullopt;
    if (read == ProfileRead::Wait)
        profileWaitRead(value);
    else if (read == ProfileRead::Address || read == ProfileRead::LateAddress)
        profileAddressRead(value);
}

void DownloadCycle::readProfileFirstPage(const std::string& markup) {
    if (profile_->isDead(markup)) {
        pageFailed(OutcomeKind::DeadLink, FailureKind::FileGone,
                   "the profile's dead pattern matches the page");
        return;
    }
    if (firstPageFailed_) {
        pageFailed(OutcomeKind::DeadLink, FailureKind::PageNotLoaded,
                   "the link's page did not load");
        return;
    }
    if (profile_->profile().form.empty()) {
        enterWaitPage(); // this page already is the wait page
        readProfileWaitPage(markup);
        return;
    }
    awaitingSubmit_ = true;
    browser_.activateElement(attempt_, toQt(profile_->profile().form));
}

void DownloadCycle::readProfileWaitPage(const std::string& markup) {
    Memo1 = markup;
    download_url.clear();
    if (profile_->isBusy(markup)) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::HostBusy,
                   "the profile's busy pattern matches the page");
        return;
    }
    const auto& wait = profile_->profile().wait;
    if (wait && wait->kind == PageReader::Kind::Selector) {
        requestValue(ProfileRead::Wait);
        return;
    }
    profileWaitRead(wait ? profile_->readWait(markup) : std::optional<std::string>("0"));
}

void DownloadCycle::profileWaitRead(const std::optional<std::string>& text) {
    if (!text && readAgainLater(ProfileRead::Wait))
        return;
    const std::optional<std::int32_t> seconds = text ? parseWaitSeconds(*text) : std::nullopt;
    if (!seconds) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoWaitingTime,
                   text ? "the waiting time read is no whole number of seconds: \"" + *text + "\""
                        : std::string("the profile's wait reader finds nothing"));
        return;
    }
    countdown = *seconds;
    settleClock_.invalidate();
    if (profileStepsAfterWait()) {
        armCountdown(*seconds);
        return;
    }
    if (profile_->profile().address->kind == PageReader::Kind::Selector) {
        requestValue(ProfileRead::Address);
        return;
    }
    profileAddressRead(profile_->readAddress(Memo1));
}

void DownloadCycle::profileAddressRead(const std::optional<std::string>& text) {
    const ProfileRead read =
        state_ == CycleState::AfterWait ? ProfileRead::LateAddress : ProfileRead::Address;
    if (!text && readAgainLater(read))
        return;
    const std::optional<std::string> address = text ? fetchableAddress(*text) : std::nullopt;
    if (!address) {
        pageFailed(OutcomeKind::WaitPageUnreadable,
                   text ? FailureKind::RefusedAddress : FailureKind::NoDownloadAddress,
                   text ? "the address read is no http or https address: \"" + *text + "\""
                        : std::string("the profile's address reader finds nothing"));
        return;
    }
    download_url = *address;
    tell(CycleStep::Address, download_url);
    if (state_ == CycleState::AfterWait) {
        pageWatchdog_->stop();
        startTransfer();
        return;
    }
    armCountdown(countdown);
}

// A reader that finds nothing looks again while its page may still be
// filled in by script or XHR, for the profile's settle time at most; the
// page's own time limit keeps running meanwhile.
bool DownloadCycle::readAgainLater(ProfileRead read) {
    if (!settleClock_.isValid())
        settleClock_.start();
    if (settleClock_.elapsed() >= std::int64_t{profile_->profile().settleSeconds} * 1000)
        return false;
    const quint64 attempt = attempt_;
    const CycleState state = state_;
    QTimer::singleShot(kReadAgainMs, this, [this, attempt, state, read] {
        if (attempt == attempt_ && state == state_ && reading_ == ProfileRead::None)
            window_.runGuarded([&] { readAgain(read); });
    });
    return true;
}

void DownloadCycle::readAgain(ProfileRead read) {
    const HostProfile& profile = profile_->profile();
    const PageReader& reader = read == ProfileRead::Wait ? *profile.wait : *profile.address;
    if (reader.kind == PageReader::Kind::Selector)
        requestValue(read);
    else
        requestMarkup(read == ProfileRead::LateAddress ? read : ProfileRead::WaitPage);
}

bool DownloadCycle::profileStepsAfterWait() const {
    return profile_ && (profile_->addressFromDownload() || profile_->profile().addressAfterWait);
}

// The wait is over: the page gives the address now, or leads to the download.
void DownloadCycle::profileAfterWait() {
    state_ = CycleState::AfterWait;
    settleClock_.invalidate();
    armWatchdog(); // a page that leads nowhere ends as an unreadable one
    if (profile_->addressFromDownload()) {
        browser_.activateElement(profileRequest(ProfileRead::Download),
                                 toQt(profile_->profile().afterWait));
        return;
    }
    if (profile_->profile().address->kind == PageReader::Kind::Selector)
        requestValue(ProfileRead::LateAddress);
    else
        requestMarkup(ProfileRead::LateAddress);
}

void DownloadCycle::afterWaitActivated(quint64, bool activated) {
    // Activated: the download it leads to is awaited, within the watchdog's time.
    if (!activated && state_ == CycleState::AfterWait)
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoAfterWaitElement,
                   "nothing matches the after_wait selector " + profile_->profile().afterWait);
}

void DownloadCycle::downloadRequested(const QString& url) {
    if (state_ != CycleState::AfterWait || !profile_ || reading_ != ProfileRead::Download)
        return;
    reading_ = ProfileRead::None;
    const std::string address = toStd(url);
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

// A file a profile's pages led to is asked for in the browser's session,
// from the page that led to it; the built-in steps keep the designed request.
std::optional<HttpSession> DownloadCycle::profileSession() const {
    if (!profile_)
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
