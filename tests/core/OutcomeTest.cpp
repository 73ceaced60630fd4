#include "core/Outcome.h"
#include "core/AttemptResult.h"
#include "core/SizeText.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(RetryRule, RequeuesWhileTriesRemainAndOtherLinksWait) {
    EXPECT_TRUE(shouldRequeue(3, 0, 5));
    EXPECT_TRUE(shouldRequeue(3, 3, 5));
    EXPECT_FALSE(shouldRequeue(3, 4, 5)); // the fifth try gives it up
    EXPECT_FALSE(shouldRequeue(2, 0, 5)); // alone in the queue
    EXPECT_FALSE(shouldRequeue(9, 0, 1)); // one try only
}

TEST(RetryRule, AttemptsCellThatIsNoNumberCountsAsZero) {
    EXPECT_EQ(attemptsFromCell("4"), 4);
    EXPECT_EQ(attemptsFromCell(""), 0);
    EXPECT_EQ(attemptsFromCell("x1"), 0);
    EXPECT_EQ(attemptsFromCell("99999999999"), 0);
}

TEST(OutcomeEntries, CarryTheDesignedTexts) {
    const LogEntry ok = successEntry("u", "1.5 MB");
    EXPECT_EQ(ok.status, "Sikeres letöltés");
    EXPECT_EQ(ok.attempts, "Próbálva:1");
    EXPECT_EQ(givenUpEntry("u", OutcomeKind::DeadLink, 5).attempts, "Próbálva:5");
    EXPECT_EQ(givenUpEntry("u", OutcomeKind::WaitPageUnreadable, 3).attempts,
              "Próbálva:3 (Másik rapidos szál futott.)");
    const LogEntry failed = givenUpEntry("u", OutcomeKind::TransferFailed, 2);
    EXPECT_EQ(failed.attempts, "Próbálva:2 (Letöltési hiba.)");
    EXPECT_EQ(failed.status, "Hibás link.");
    EXPECT_EQ(failed.size, "Nem meghatározható.");
}

TEST(RunFailures, KeepTheLastReasonsOfALinkUntilItSucceeds) {
    RunFailures failures;
    const AttemptResult refused{OutcomeKind::TransferFailed,
                                transferFailure(true, 404, "Protocol \"file\" not supported")};
    failures.record("a", {OutcomeKind::DeadLink, {}}); // no reason given: nothing to show
    failures.record("a", refused);
    failures.record("b", {OutcomeKind::TransferFailed, transferFailure(false, 503, "x")});
    EXPECT_EQ(failures.reasonsOf("a"), "Elutasított cím: Protocol \"file\" not supported");
    EXPECT_EQ(failures.reasonsOf("b"), "A szerver válasza: HTTP 503");
    for (int i = 0; i < 9; ++i)
        failures.record("a", {OutcomeKind::TransferFailed,
                              transferFailure(false, 200, "lost " + std::to_string(i))});
    EXPECT_EQ(failures.reasonsOf("a").rfind("Hálózati hiba: lost 1\n", 0), 0u); // the last 8
    failures.record("a", {OutcomeKind::Success, {}});
    EXPECT_EQ(failures.reasonsOf("a"), "");
}

TEST(FileName, IsTheTextAfterTheLastSlash) {
    EXPECT_EQ(link_kiszed("http://h/dir/file.zip"), "file.zip");
    EXPECT_EQ(link_kiszed("http://h/get?id=1&n=a.zip"), "get?id=1&n=a.zip");
    EXPECT_EQ(link_kiszed("http://h/dir/"), "");
    EXPECT_EQ(link_kiszed("file.zip"), "file.zip");
}

TEST(TransferredText, MovesInWholePercentsOfTheSize) {
    EXPECT_EQ(transferredText(wholePercent(1'572'864, 3'145'728), 3'145'728, ","), "1,5 / 3 MB");
    EXPECT_EQ(transferredText(wholePercent(31'458, 3'145'728), 3'145'728, "."), "0.03 / 3 MB");
    EXPECT_EQ(transferredText(wholePercent(5'000, 0), 0, "."), "0 / 0 MB");
    EXPECT_EQ(transferredText(wholePercent(9'999'999, 3'145'728), 3'145'728, "."), "3 / 3 MB");
    EXPECT_EQ(wholePercent(1, 3), 33);
    EXPECT_EQ(wholePercent(1, 0), 0);
}

} // namespace
} // namespace vardelo
