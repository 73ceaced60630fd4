// What follows each outcome, as a table of transitions.
#include "core/OutcomePlan.h"
#include "core/DownloadStatistics.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>

namespace vardelo {
namespace {

struct Transition {
    const char* name;
    OutcomeFacts facts;
    QueueChange queueChange;
    const char* rotatedAttempts;
    const char* loggedAttempts; // nullptr: nothing is logged
    int downloaded;
    int skipped;
    NextStep next;
};

void PrintTo(const Transition& t, std::ostream* out) {
    *out << t.name;
}

OutcomeFacts facts(OutcomeKind kind, const char* attempts, int rows, bool second, int retries,
                   bool stopAfter = false) {
    OutcomeFacts f;
    f.kind = kind;
    f.headUrl = "http://h/head";
    f.headAttemptsCell = attempts;
    f.queueRowCount = rows;
    f.secondRowHasLink = second;
    f.retries = retries;
    f.deadWaitSeconds = 7;
    f.stopAfterChecked = stopAfter;
    f.contentLength = 3 * 1024 * 1024 / 2;
    return f;
}

OutcomeFacts givenUpAtOnce(OutcomeFacts f) {
    f.givenUpAtOnce = true;
    return f;
}

using K = OutcomeKind;
using Q = QueueChange;
using N = NextStep;

const Transition kTransitions[] = {
    {"SuccessWithMoreLinksStartsAtOnce", facts(K::Success, "2", 4, true, 5), Q::RemoveHead, "",
     "Próbálva:1", 1, 0, N::StartNow},
    {"SuccessOfTheLastLinkGoesIdle", facts(K::Success, "", 2, false, 5), Q::RemoveHead, "",
     "Próbálva:1", 1, 0, N::Idle},
    {"SuccessWithStopAfterGoesIdle", facts(K::Success, "", 3, true, 5, true), Q::RemoveHead, "",
     "Próbálva:1", 1, 0, N::Idle},
    {"DeadLinkWithTriesLeftIsRotatedAndWaits", facts(K::DeadLink, "", 3, true, 5), Q::RotateHead,
     "1", nullptr, 0, 0, N::DeadLinkWait},
    {"DeadLinkOnItsLastTryIsGivenUp", facts(K::DeadLink, "4", 3, true, 5), Q::RemoveHead, "",
     "Próbálva:5", 0, 1, N::DeadLinkWait},
    {"OnlyLinkIsGivenUpAtOnce", facts(K::DeadLink, "0", 2, false, 8), Q::RemoveHead, "",
     "Próbálva:8", 0, 1, N::Idle},
    {"UnreadableWaitPageCarriesItsSuffix", facts(K::WaitPageUnreadable, "0", 3, true, 1),
     Q::RemoveHead, "", "Próbálva:1 (Másik rapidos szál futott.)", 0, 1, N::DeadLinkWait},
    {"FailedTransferIsAFailureNotASuccess", facts(K::TransferFailed, "1", 3, true, 2),
     Q::RemoveHead, "", "Próbálva:2 (Letöltési hiba.)", 0, 1, N::DeadLinkWait},
    {"RotatedLinkWithStopAfterGoesIdle", facts(K::TransferFailed, "0", 3, true, 3, true),
     Q::RotateHead, "1", nullptr, 0, 0, N::Idle},
    {"HandEditedAttemptsCountAsZero", facts(K::DeadLink, "x7", 3, true, 2), Q::RotateHead, "1",
     nullptr, 0, 0, N::DeadLinkWait},
    {"AFailureNoTryMendsIsGivenUpAtItsTry", givenUpAtOnce(facts(K::DeadLink, "1", 3, true, 5)),
     Q::RemoveHead, "", "Próbálva:2", 0, 1, N::DeadLinkWait},
};

class OutcomeTransitions : public ::testing::TestWithParam<Transition> {};

TEST_P(OutcomeTransitions, FollowTheRetryAndStopRules) {
    const Transition& t = GetParam();
    const OutcomePlan plan = planOutcome(t.facts);
    EXPECT_EQ(plan.queueChange, t.queueChange);
    EXPECT_EQ(plan.rotatedAttempts, t.rotatedAttempts);
    ASSERT_EQ(plan.logEntry.has_value(), t.loggedAttempts != nullptr);
    if (plan.logEntry) {
        EXPECT_EQ(plan.logEntry->url, "http://h/head");
        EXPECT_EQ(plan.logEntry->attempts, t.loggedAttempts);
        EXPECT_EQ(plan.logEntry->size, t.downloaded ? "1.5 MB" : "Nem meghatározható.");
    }
    EXPECT_EQ(plan.downloadedFiles, t.downloaded);
    EXPECT_EQ(plan.downloadedBytes, t.downloaded ? t.facts.contentLength : 0);
    EXPECT_EQ(plan.skippedFiles, t.skipped);
    EXPECT_EQ(plan.next, t.next);
    EXPECT_EQ(plan.deadWaitSeconds, t.next == N::DeadLinkWait ? 7 : 0);

    // The run's counters and all time's take the same step.
    DownloadStatistics counted{1, 10, 2, 100, 1000, 200};
    counted.count(plan);
    const std::int64_t bytes = t.downloaded ? t.facts.contentLength : 0;
    EXPECT_EQ((DownloadStatistics{1 + t.downloaded, 10 + bytes, 2 + t.skipped, 100 + t.downloaded,
                                  1000 + bytes, 200 + t.skipped}),
              counted);
}

TEST(StatisticsCounters, CountersStopAtTheirLimitAndResetLeavesAllTime) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    DownloadStatistics counted{0, kMax - 1, 0, 7, kMax, 3};
    OutcomePlan plan;
    plan.downloadedFiles = 1;
    plan.downloadedBytes = 5;
    counted.count(plan);
    EXPECT_EQ((DownloadStatistics{1, kMax, 0, 8, kMax, 3}), counted);
    counted.resetCurrentRun();
    EXPECT_EQ((DownloadStatistics{0, 0, 0, 8, kMax, 3}), counted);
}

INSTANTIATE_TEST_SUITE_P(Table, OutcomeTransitions, ::testing::ValuesIn(kTransitions),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace vardelo
