#include "core/HostWaits.h"

#include <gtest/gtest.h>

#include <limits>

namespace vardelo {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;
constexpr std::int64_t kDay = 24 * 60 * 60;

struct RetryCase {
    const char* name;
    std::string text;
    std::string unit;
    std::optional<std::int64_t> seconds;
};

void PrintTo(const RetryCase& c, std::ostream* out) {
    *out << c.name;
}

class RetryAfterCases : public ::testing::TestWithParam<RetryCase> {};

TEST_P(RetryAfterCases, ReadsTheTimeAsWrittenABareNumberInItsUnit) {
    EXPECT_EQ(retryAfterSeconds(GetParam().text, GetParam().unit), GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RetryAfterCases,
    ::testing::Values(
        RetryCase{"Seconds", "45", "s", 45}, RetryCase{"Minutes", " 2 ", "min", 120},
        RetryCase{"Hours", "3", "h", 3 * 3600}, RetryCase{"UnknownUnitIsSeconds", "7", "", 7},
        RetryCase{"FirstNumberInText", "wait 12 minutes or 30", "min", 720},
        RetryCase{"CommaFractionRoundsUp", "1,5", "h", 2 * 3600},
        RetryCase{"PointFractionRoundsUp", "0.5 min", "min", 60},
        RetryCase{"ZeroFractionIsWhole", "2.00", "min", 120},
        RetryCase{"ZeroIsOneUnit", "0 minutes", "min", 60},
        RetryCase{"SentenceEndIsNoFraction", "wait 5.", "s", 5},
        RetryCase{"NoNumber", "soon", "min", std::nullopt},
        RetryCase{"Empty", "", "s", std::nullopt},
        RetryCase{"NegativeReadsItsDigits", "-5", "s", 5}, RetryCase{"DayIsKept", "24", "h", kDay},
        RetryCase{"OverADayIsADay", "25", "h", kDay},
        RetryCase{"HugeNumberIsADay", "99999999999999999999999999", "s", kDay},
        RetryCase{"HugeNumberInHoursIsADay", "9223372036854775807", "h", kDay},
        RetryCase{"Clock", "01:05", "min", 65}, RetryCase{"UnitsWrittenOut", "1 min 5 s", "h", 65},
        RetryCase{"HungarianUnits", "1 perc 5 mp", "s", 65},
        RetryCase{"LetterUnits", "1h 5m", "s", 3900},
        RetryCase{"ItsOwnUnitOverTheReaders", "2 hours", "min", 7200},
        RetryCase{"ZeroOfAnotherUnitIsOneOfTheReaders", "0 s", "min", 60}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(HostWaitTimes, NoteCapsAtADayAndExpiresAtItsEnd) {
    HostWaits waits;
    waits.note("a", 45, kNow);
    waits.note("b", 10 * kDay, kNow);
    EXPECT_EQ(waits.until("a", kNow), kNow + 45);
    EXPECT_EQ(waits.until("b", kNow), kNow + kDay);
    EXPECT_TRUE(waits.isWaiting("a", kNow + 44));
    EXPECT_FALSE(waits.isWaiting("a", kNow + 45));
    EXPECT_EQ(waits.until("a", kNow + 45), std::nullopt);
    EXPECT_FALSE(waits.isWaiting("unknown", kNow));
    waits.note("c", kDay, std::numeric_limits<std::int64_t>::max() - 1);
    EXPECT_EQ(waits.ends().at("c"), std::numeric_limits<std::int64_t>::max());
}

TEST(HostWaitTimes, NewestNoteReplacesAndZeroLiftsTheWait) {
    HostWaits waits;
    waits.note("a", 3600, kNow);
    waits.note("a", 60, kNow + 10);
    EXPECT_EQ(waits.until("a", kNow), kNow + 70);
    waits.note("a", 7200, kNow + 20);
    EXPECT_EQ(waits.until("a", kNow), kNow + 7220);
    waits.note("a", 0, kNow + 30);
    EXPECT_FALSE(waits.isWaiting("a", kNow + 30));
    EXPECT_TRUE(waits.ends().empty());
}

TEST(HostWaitTimes, EarliestEndAndDroppingSkipExpiredHosts) {
    HostWaits waits;
    EXPECT_EQ(waits.earliestEnd(kNow), std::nullopt);
    waits.note("soon", 10, kNow);
    waits.note("later", 100, kNow);
    waits.note("latest", 1000, kNow);
    EXPECT_EQ(waits.earliestEnd(kNow), kNow + 10);
    EXPECT_EQ(waits.earliestEnd(kNow + 10), kNow + 100);
    waits.dropExpired(kNow + 100);
    EXPECT_EQ(waits.ends().size(), 1u);
    EXPECT_EQ(waits.earliestEnd(kNow + 100), kNow + 1000);
    EXPECT_EQ(waits.earliestEnd(kNow + 1000), std::nullopt);
}

TEST(HostWaitFile, RoundTripKeepsOddNamesAndLeavesExpiredOut) {
    HostWaits waits;
    waits.note("XFS host", 600, kNow);
    waits.note("tab\there", 700, kNow);
    waits.note("back\\slash\nnew\rline", 800, kNow);
    waits.note("", 900, kNow);
    waits.note("expired", 5, kNow);
    const std::string text = encodeHostWaits(waits, kNow + 5);
    EXPECT_EQ(text.find("expired"), std::string::npos);
    EXPECT_NE(text.find("back\\\\slash\\nnew\\rline"), std::string::npos);
    const HostWaits read = decodeHostWaits(text, kNow + 5);
    waits.dropExpired(kNow + 5);
    EXPECT_EQ(read.ends(), waits.ends());
}

TEST(HostWaitFile, BrokenLinesAreSkippedAndEndsHeldToADay) {
    const std::string text = "no tab here\n"
                             "12x\tletters in the end\n"
                             "-5\tnegative\n"
                             "\tno end\n"
                             "99999999999999999999\ttoo long\n"
                             "9999999999999999999\tnineteen digits\n"
                             "1700000100\tbad \\q escape\n"
                             "1700000100\ttrailing \\\n"
                             "1700000100\tgood\r\n" +
                             std::to_string(kNow + 50 * kDay) +
                             "\tfar\n"
                             "1600000000\tpast\n"
                             "\n"
                             "1700000200\tlast without line end";
    const HostWaits read = decodeHostWaits(text, kNow);
    const std::map<std::string, std::int64_t, std::less<>> expected{
        {"good", kNow + 100}, {"far", kNow + kDay}, {"last without line end", kNow + 200}};
    EXPECT_EQ(read.ends(), expected);
}

} // namespace
} // namespace vardelo
