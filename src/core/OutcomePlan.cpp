#include "core/OutcomePlan.h"

#include "core/SizeText.h"

namespace vardelo {

OutcomePlan planOutcome(const OutcomeFacts& facts) {
    OutcomePlan plan;
    if (facts.kind == OutcomeKind::Success) {
        plan.logEntry =
            successEntry(facts.headUrl, sizeText(facts.contentLength, facts.decimalSeparator));
        plan.downloadedFiles = 1;
        plan.downloadedBytes = facts.contentLength;
    } else {
        const int attempts = attemptsFromCell(facts.headAttemptsCell);
        if (facts.givenUpAtOnce) {
            plan.logEntry = givenUpEntry(facts.headUrl, facts.kind, attempts + 1);
            plan.skippedFiles = 1;
        } else if (shouldRequeue(facts.queueRowCount, attempts, facts.retries)) {
            plan.queueChange = QueueChange::RotateHead;
            plan.rotatedAttempts = std::to_string(attempts + 1);
        } else {
            plan.logEntry = givenUpEntry(facts.headUrl, facts.kind, facts.retries);
            plan.skippedFiles = 1;
        }
    }

    // Removing or rotating the head leaves the second row's link at the head.
    if (!facts.secondRowHasLink || facts.stopAfterChecked) {
        plan.next = NextStep::Idle;
    } else if (facts.kind == OutcomeKind::Success) {
        plan.next = NextStep::StartNow;
    } else {
        plan.next = NextStep::DeadLinkWait;
        plan.deadWaitSeconds = facts.deadWaitSeconds;
    }
    return plan;
}

} // namespace vardelo
