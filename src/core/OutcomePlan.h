#pragma once

#include "core/EventLog.h"
#include "core/Outcome.h"

#include <cstdint>
#include <optional>
#include <string>

namespace vardelo {

// What the cycle does once an outcome is recorded.
enum class NextStep { Idle, StartNow, DeadLinkWait };

enum class QueueChange { RemoveHead, RotateHead };

// Everything an outcome depends on, as plain values.
struct OutcomeFacts {
    OutcomeKind kind = OutcomeKind::Success;
    std::string headUrl;
    std::string headAttemptsCell;
    int queueRowCount = 2;         // title row included
    bool secondRowHasLink = false; // the head after the change, whichever it is
    int retries = 1;
    bool givenUpAtOnce = false; // no other try could mend it
    int deadWaitSeconds = 0;
    bool stopAfterChecked = false;
    std::int64_t contentLength = 0;
    std::string decimalSeparator = ".";
};

struct OutcomePlan {
    QueueChange queueChange = QueueChange::RemoveHead;
    std::string rotatedAttempts; // the attempts cell the rotated link takes along
    std::optional<LogEntry> logEntry;
    int downloadedFiles = 0;
    std::int64_t downloadedBytes = 0;
    int skippedFiles = 0;
    NextStep next = NextStep::Idle;
    int deadWaitSeconds = 0;
};

// What an attempt's outcome means for the queue, the log, the counters and
// the cycle.
OutcomePlan planOutcome(const OutcomeFacts& facts);

} // namespace vardelo
