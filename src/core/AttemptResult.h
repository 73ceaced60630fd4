#pragma once

#include "core/Outcome.h"

#include <deque>
#include <map>
#include <string>

namespace vardelo {

// Why an attempt failed. The designed log never shows it; the diagnostics
// log and the log row's tooltip do.
enum class FailureKind : unsigned char {
    None,
    Network,        // the transfer's own error text (connection, time-out, TLS)
    HttpStatus,     // the server answered with a status that carries no file
    LocalFile,      // the file could not be made or written (the system's message)
    RefusedAddress, // an address that is not http or https, or not an address at all
    PageStep,       // a step of the link's pages failed
    WebPage,        // the host sent a web page where the file was asked for
};

struct FailureReason {
    FailureKind kind = FailureKind::None;
    std::string text;
};

// How one attempt at the head link ended, and why when it failed.
struct AttemptResult {
    OutcomeKind outcome = OutcomeKind::Success;
    FailureReason reason;
};

// A failed transfer's reason from what the HTTP client told: a refused
// address first, then an error status (4xx, 5xx), else its error text.
FailureReason transferFailure(bool refusedAddress, int httpStatus, const std::string& error);

// The kind as a short English word, for the diagnostics log.
const char* failureKindName(FailureKind kind);

// The reason as the user reads it (Hungarian lead, the detail as given).
std::string failureText(const FailureReason& reason);

// This run's failure reasons by link, for the log's status cell: one line
// per failed attempt, oldest first, the last few kept. A success forgets
// the link's earlier failures.
class RunFailures {
  public:
    static constexpr std::size_t kKeptPerLink = 8;

    void record(const std::string& link, const AttemptResult& result);
    std::string reasonsOf(const std::string& link) const;

  private:
    std::map<std::string, std::deque<std::string>> reasons_;
};

} // namespace vardelo
