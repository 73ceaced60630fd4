#include "core/Outcome.h"
#include "core/AttemptResult.h"
#include "core/ExpectedFile.h"
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

TEST(FailureReasons, KeepTheLastReasonsOfALinkUntilItSucceeds) {
    RunFailures failures;
    const AttemptResult refused{OutcomeKind::TransferFailed,
                                transferFailure(true, 404, "Protocol \"file\" not supported")};
    failures.record("a", {OutcomeKind::DeadLink, {}}); // no reason given: nothing to show
    failures.record("a", refused);
    failures.record("b", {OutcomeKind::TransferFailed, transferFailure(false, 503, "x")});
    EXPECT_EQ(failures.reasonsOf("a"), "Elutasított cím: csak http vagy https cím tölthető le");
    EXPECT_EQ(failures.reasonsOf("b"), "A szerver válasza: HTTP 503");
    for (int i = 0; i < 9; ++i)
        failures.record("a", {OutcomeKind::TransferFailed, transferFailure(false, 500 + i, "")});
    EXPECT_EQ(failures.reasonsOf("a").rfind("A szerver válasza: HTTP 501\n", 0), 0u); // the last 8
    failures.record("a", {OutcomeKind::Success, {}});
    EXPECT_EQ(failures.reasonsOf("a"), "");
    // A success keeps only what its check found.
    failures.record("b", {OutcomeKind::Success, {}, digestMatchText(DigestKind::Sha256)});
    EXPECT_EQ(failures.reasonsOf("b"), "SHA-256 egyezik");
}

// The window shows each kind in Hungarian; the English detail is for the
// diagnostics log only, whatever the transfer or the page said.
TEST(FailureReasons, ShowEveryKindInHungarianWithoutTheDetail) {
    const std::string detail = "the server answered 302";
    const std::pair<FailureReason, const char*> table[] = {
        {transferFailure(false, 302, detail),
         "Hálózati hiba: a fájl átvitele nem sikerült (a szerver válasza: HTTP 302)"},
        {transferFailure(false, 200, "Connection reset by peer"),
         "Hálózati hiba: a fájl átvitele nem sikerült"},
        {transferFailure(false, 0, "Could not resolve host"),
         "Hálózati hiba: a fájl átvitele nem sikerült"},
        {transferFailure(false, 404, detail), "A szerver válasza: HTTP 404"},
        {{FailureKind::LocalFile, detail},
         "Helyi fájlhiba: a fájl nem hozható létre vagy nem írható"},
        {{FailureKind::NoFileName, detail},
         "Hibás cím: a letöltési címből nem derül ki a fájl neve"},
        {{FailureKind::PageNotLoaded, detail}, "Weblap hiba: az oldal nem töltődött be"},
        {{FailureKind::PageTimedOut, detail}, "Weblap hiba: az oldal nem töltődött be időben"},
        {{FailureKind::PageUnreadable, detail}, "Weblap hiba: az oldal szövege nem olvasható"},
        {{FailureKind::NoFreeUserForm, detail},
         "Weblap hiba: a link oldalán nincs ingyenes letöltési űrlap"},
        {{FailureKind::NoWaitingTime, detail},
         "Weblap hiba: az oldalon nincs használható várakozási idő"},
        {{FailureKind::NoDownloadAddress, detail}, "Weblap hiba: az oldalon nincs letöltési cím"},
        {{FailureKind::NoAfterWaitElement, detail},
         "Weblap hiba: a várakozás után nincs meg a letöltést indító elem"},
        {{FailureKind::FileGone, detail}, "Weblap hiba: az oldal szerint a fájl nem érhető el"},
        {{FailureKind::HostBusy, detail}, "Weblap hiba: az oldal szerint a szerver foglalt"},
        {{FailureKind::ChecksumMismatch, detail}, "A fájl ellenőrzőösszege nem egyezik"},
        {{FailureKind::PageCrashed, detail}, "Weblap hiba: az oldal összeomlott"},
        {{FailureKind::PageClosed, detail}, "Weblap hiba: az oldal bezárta magát"},
    };
    for (const auto& [reason, shown] : table)
        EXPECT_EQ(failureText(reason), shown) << failureKindName(reason.kind);
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
