#pragma once

#include "core/Outcome.h"

#include <deque>
#include <map>
#include <string>

namespace vardelo {

// Why an attempt failed. The designed log never shows it; the log row's
// tooltip shows the kind in Hungarian, the diagnostics log the English detail.
enum class FailureKind : unsigned char {
    None,
    Network,            // the transfer failed (connection, time-out, TLS, a short body)
    HttpStatus,         // the server answered with an error status
    LocalFile,          // the file could not be made or written
    NoFileName,         // the download's address names no file
    RefusedAddress,     // an address that is not http or https, or not an address at all
    PageNotLoaded,      // the link's page or the wait page did not load
    PageTimedOut,       // a page did not finish in its time
    PageUnreadable,     // a page's text could not be read
    NoFreeUserForm,     // the link's page has nothing to go on with
    NoWaitingTime,      // the wait page gives no usable waiting time
    NoDownloadAddress,  // the wait page gives no download address
    NoAfterWaitElement, // after the wait, nothing leads to the download
    FileGone,           // the page says the file is not there
    HostBusy,           // the page says the host is busy
    WebPage,            // the host sent a web page where the file was asked for
    CaptchaNotSolved,   // the user did not solve the page's captcha in time
    ChecksumMismatch,   // the file arrived, but not of the size or digest it should have
    PageCrashed,        // the page's renderer ended while the page was needed
    PageClosed,         // the page's script closed its window while it was needed
    PremiumOnly,        // the page says the file is for paying users only
    WrongPassword,      // the page after the password says it is wrong
    NoPassword,         // the user gave no password for the link (in time)
};

struct FailureReason {
    FailureKind kind = FailureKind::None;
    std::string text;   // the English detail, for the diagnostics log
    int httpStatus = 0; // of the transfer's last answer, 0 when none came
};

// How one attempt at the head link ended, and why when it failed.
struct AttemptResult {
    OutcomeKind outcome = OutcomeKind::Success;
    FailureReason reason;
    std::string checked{}; // a success's check, in Hungarian ("SHA-256 egyezik")
    std::string storedAs{}; // a success's file, where it was stored
};

// A failed transfer's reason from what the HTTP client told: a refused
// address first, then an error status (4xx, 5xx), else its error text.
FailureReason transferFailure(bool refusedAddress, int httpStatus, const std::string& error);

// A failure that another try cannot mend: the link is given up at once.
bool givesUpAtOnce(FailureKind kind);

// The kind as a short English word, for the diagnostics log.
const char* failureKindName(FailureKind kind);

// The reason as the window shows it: Hungarian only. The English detail
// stays in the diagnostics log.
std::string failureText(const FailureReason& reason);

// This run's failure reasons by link, for the log's status cell: one line
// per failed attempt, oldest first, the last few kept. A success forgets
// the link's earlier failures and keeps what its check found.
class RunFailures {
  public:
    static constexpr std::size_t kKeptPerLink = 8;

    void record(const std::string& link, const AttemptResult& result);
    // A line that is no failed try's (a host asked the link to wait).
    void recordLine(const std::string& link, std::string line);
    std::string reasonsOf(const std::string& link) const;

  private:
    std::map<std::string, std::deque<std::string>> reasons_;
};

} // namespace vardelo
