// A step's password field: the link's password goes in before the step's
// submit. A link without one asks the user as a captcha does (the same time
// limit, the same skip when nobody is there); a page after it that says the
// password is wrong ends the try, and the next try asks again. The password
// itself is written to no log and no trace.
#include "session/DownloadCycle.h"

#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/QtText.h"

#include <QTimer>

namespace vardelo {

void DownloadCycle::buildPasswordTimer() {
    passwordLimit_ = new QTimer(this);
    passwordLimit_->setSingleShot(true);
    connect(passwordLimit_, &QTimer::timeout, this, [this] {
        session_.runGuarded([this] {
            if (state_ == CycleState::Password)
                pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoPassword,
                           "no password was given in time");
        });
    });
}

void DownloadCycle::fillPassword() {
    const std::optional<std::string> known = session_.passwordOf(link_);
    if (!known) {
        askPassword();
        return;
    }
    state_ = CycleState::AfterWait;
    browser_.fillField(profileRequest(ProfileRead::Password), toQt(currentStep().password),
                       toQt(*known));
}

void DownloadCycle::passwordFilled(bool filled) {
    if (!filled) {
        pageFailed(step_ == 0 ? OutcomeKind::DeadLink : OutcomeKind::WaitPageUnreadable,
                   FailureKind::NoFreeUserForm,
                   "nothing on the page matches the password selector " + currentStep().password);
        return;
    }
    passwordSent_ = true;
    pressOrRead();
}

void DownloadCycle::askPassword() {
    tell(CycleStep::Password, stepName());
    if (trace_) {
        endAttempt();
        return;
    }
    if (passOverUnattended("password"))
        return;
    state_ = CycleState::Password;
    pageWatchdog_->stop(); // the user's time bounds it now
    passwordLimit_->start(
        captchaTimeout_.value_or(std::chrono::milliseconds(session_.runSettings().captchaTime)));
    Q_EMIT statusShown(QStringLiteral("Jelszó: add meg a link jelszavát!"));
    Q_EMIT passwordAsked();
}

void DownloadCycle::passwordAnswered(const std::optional<std::string>& password) {
    if (state_ != CycleState::Password)
        return; // its try has ended; the password waits for the next one
    passwordLimit_->stop();
    if (!password) {
        pageFailed(OutcomeKind::WaitPageUnreadable, FailureKind::NoPassword,
                   "the user gave no password");
        return;
    }
    Q_EMIT statusShown(QStringLiteral("Weblap betöltése"));
    armWatchdog();
    fillPassword();
}

// However the ask ends unanswered (its time up, Stop, the page lost), its
// dialog goes and the status line no longer asks.
void DownloadCycle::endPasswordAsk() {
    passwordLimit_->stop();
    Q_EMIT statusShown(QString());
    Q_EMIT passwordAskEnded();
}

// The page after the password says it is wrong: not a dead link, a failed
// try, and the password is forgotten so that the next try asks.
bool DownloadCycle::refusesPassword(const std::string& markup) {
    if (!passwordSent_ || !profile_->isWrongPassword(step_, markup))
        return false;
    session_.forgetPassword(link_);
    // Concluded here whether the page came to the browser or to the transfer.
    const std::string why = "the host refuses the link's password";
    tellFailure(why);
    concludeAttempt({OutcomeKind::WaitPageUnreadable, {FailureKind::WrongPassword, why}});
    return true;
}

} // namespace vardelo
