// A step page's reads, in the order the walk makes them: whether the
// host asks to wait or is busy, the file's name, size and digest, the
// captcha, the wait, the address before it, the countdown, then the
// captcha again and the element pressed or the address read. A reader is
// a selector the browser reads in the page, or a marker or pattern read
// in the page's text; either way its value comes to one handler, which
// tells whether the walk reads on.
#include "session/DownloadCycle.h"

#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/QtText.h"

#include <QTimer>

#include <algorithm>
#include <array>

namespace vardelo {
namespace {

// How often a reader that found nothing looks at its page again.
constexpr int kReadAgainMs = 250;

const PageReader* present(const std::optional<PageReader>& reader) {
    return reader ? &*reader : nullptr;
}

} // namespace

std::span<const DownloadCycle::ProfileRead> DownloadCycle::stepReads() {
    // clang-format off
    static constexpr std::array kReads{
        ProfileRead::RetryAfter,       // the host asks to wait
        ProfileRead::Busy,             // or is busy; past the last step, no file
        ProfileRead::FileName,
        ProfileRead::Size,
        ProfileRead::Hash,
        ProfileRead::CaptchaAtStart,   // asked while the countdown runs
        ProfileRead::Wait,
        ProfileRead::Address,          // where the step reads it before the wait
        ProfileRead::Countdown,
        ProfileRead::CaptchaAfterWait, // put in by a script once the wait is over
        ProfileRead::Submit,           // the element pressed, or the address read
    };
    // clang-format on
    return kReads;
}

void DownloadCycle::readFrom(ProfileRead read) {
    const auto reads = stepReads();
    nextRead_ =
        static_cast<std::size_t>(std::find(reads.begin(), reads.end(), read) - reads.begin());
    readNext();
}

void DownloadCycle::readNext() {
    const auto reads = stepReads();
    while (nextRead_ < reads.size()) {
        if (!startRead(reads[nextRead_++]))
            return; // its value, or the walk's next event, goes on
    }
}

// True when the step has nothing to read there.
bool DownloadCycle::startRead(ProfileRead read) {
    switch (read) {
    case ProfileRead::RetryAfter:
    case ProfileRead::FileName:
    case ProfileRead::Size:
    case ProfileRead::Hash:
        if (!readerOf(read))
            return true;
        readValue(read);
        return false;
    case ProfileRead::Busy:
        return stepChecked();
    case ProfileRead::CaptchaAtStart:
        checkCaptcha(read);
        return false;
    case ProfileRead::Wait:
        readStepWait();
        return false;
    case ProfileRead::Address: // else Submit's entry reads it after the wait
        if (!currentStep().addressBeforeWait)
            return true;
        readValue(read);
        return false;
    case ProfileRead::Countdown:
        if (!currentStep().addressBeforeWait && !currentStep().wait)
            return true; // nothing to wait for
        armCountdown(countdown);
        return false;
    case ProfileRead::CaptchaAfterWait:
        stepAfterWait();
        return false;
    case ProfileRead::Submit:
        pressOrRead();
        return false;
    default:
        return true;
    }
}

const PageReader* DownloadCycle::readerOf(ProfileRead read) const {
    const ProfileStep& step = currentStep();
    switch (read) {
    case ProfileRead::RetryAfter: {
        const auto& retry = profile_->retryAfter(step_);
        return retry ? &retry->reader : nullptr;
    }
    case ProfileRead::FileName:
        return present(step.fileName);
    case ProfileRead::Size:
        return present(step.size);
    case ProfileRead::Hash:
        return present(step.hash);
    case ProfileRead::Wait:
        return present(step.wait);
    case ProfileRead::Address:
        return present(step.address);
    case ProfileRead::CaptchaSolved:
        return present(profile_->captchaSolved(step_));
    case ProfileRead::Package:
        return present(profile_->profile().package);
    case ProfileRead::NextPage:
        return present(profile_->profile().next);
    default:
        return nullptr;
    }
}

// A marker or pattern reader's value in a text of the page.
std::optional<std::string> DownloadCycle::readInText(ProfileRead read,
                                                     std::string_view text) const {
    switch (read) {
    case ProfileRead::RetryAfter:
        return profile_->readRetryAfter(step_, text);
    case ProfileRead::FileName:
        return profile_->readFileName(step_, text);
    case ProfileRead::Size:
        return profile_->readSize(step_, text);
    case ProfileRead::Hash:
        return profile_->readHash(step_, text);
    case ProfileRead::Wait:
        return profile_->readWait(step_, text);
    case ProfileRead::Address:
        return profile_->readAddress(step_, text);
    case ProfileRead::CaptchaSolved:
        return profile_->readCaptchaSolved(step_, text);
    case ProfileRead::Package:
        return profile_->readPackage(text);
    case ProfileRead::NextPage:
        return profile_->readNextPage(text);
    default:
        return std::nullopt;
    }
}

// A selector reader's value, read in the page by the browser.
void DownloadCycle::requestValue(ProfileRead read, const PageReader& reader) {
    browser_.readElement(profileRequest(read), toQt(reader.first),
                         reader.hasAttribute ? toQt(reader.second) : QString());
}

// In the page text the step read (Memo1), or by the browser in the page.
void DownloadCycle::readValue(ProfileRead read) {
    const PageReader& reader = *readerOf(read);
    if (reader.kind == PageReader::Kind::Selector)
        requestValue(read, reader);
    else
        valueRead(read, readInText(read, Memo1));
}

// In the page as it stands now, which scripts may have changed.
void DownloadCycle::readValueAfresh(ProfileRead read) {
    const PageReader& reader = *readerOf(read);
    if (reader.kind == PageReader::Kind::Selector)
        requestValue(read, reader);
    else
        requestMarkup(read);
}

void DownloadCycle::elementRead(quint64 ticket, bool ok, const QString& text) {
    if (ticket != profileTicket_)
        return;
    const ProfileRead read = std::exchange(reading_, ProfileRead::None);
    valueRead(read, ok ? std::optional(toStd(text)) : std::nullopt);
}

void DownloadCycle::valueRead(ProfileRead read, const std::optional<std::string>& text) {
    if (readsOn(read, text))
        readNext();
}

// The value's handler; true when the step's next read follows.
bool DownloadCycle::readsOn(ProfileRead read, const std::optional<std::string>& text) {
    switch (read) {
    case ProfileRead::RetryAfter:
        return retryAfterRead(text);
    case ProfileRead::FileName:
        return fileNameRead(text);
    case ProfileRead::Size:
        return stepSizeRead(text);
    case ProfileRead::Hash:
        return stepHashRead(text);
    case ProfileRead::CaptchaAtStart:
    case ProfileRead::CaptchaAfterWait:
        return captchaChecked(read, text.has_value());
    case ProfileRead::Wait:
        return stepWaitRead(text);
    case ProfileRead::Address:
        return stepAddressRead(text);
    case ProfileRead::CaptchaSolved:
        captchaSolvedRead(text);
        return false;
    case ProfileRead::Package:
        folderPackageRead(text);
        return false;
    case ProfileRead::NextPage:
        nextFolderPageRead(text);
        return false;
    default:
        return false;
    }
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
        if (attempt != attempt_ || state != state_)
            return;
        // A captcha's poll may be reading the page just now: then a little later.
        session_.runGuarded([&] {
            if (reading_ == ProfileRead::None)
                readValueAfresh(read);
            else
                readAgainLater(read);
        });
    });
    return true;
}

} // namespace vardelo
