#include "core/TransferRate.h"
#include "core/ReceivePacer.h"
#include "core/RowState.h"
#include "core/StallWatch.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(SpeedAverage, AveragesOverTheLastFewSeconds) {
    TransferRate rate(5000);
    EXPECT_FALSE(rate.bytesPerSecond());
    rate.sample(0, 0);
    EXPECT_FALSE(rate.bytesPerSecond());
    rate.sample(1000, 10'000'000); // a burst
    for (int second = 2; second <= 7; ++second)
        rate.sample(second * 1000, 10'000'000 + (second - 1) * 1000);
    // The burst has left the window: five seconds of 1000 bytes each.
    ASSERT_TRUE(rate.bytesPerSecond());
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(), 1000.0);
    EXPECT_EQ(rate.secondsLeft(10'000'000 + 6000 + 42'000), 42);
}

TEST(SpeedAverage, AStallBringsTheSpeedDownAndLeavesNoTimeLeft) {
    TransferRate rate(3000);
    rate.sample(0, 0);
    rate.sample(1000, 3000);
    rate.sample(2000, 3000);
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(), 1500.0);
    rate.sample(5000, 3000);
    rate.sample(6000, 3000);
    EXPECT_DOUBLE_EQ(*rate.bytesPerSecond(), 0.0);
    EXPECT_FALSE(rate.secondsLeft(10'000));
}

TEST(SpeedAverage, UnknownSizeOrANewTransferGivesNoTimeLeft) {
    TransferRate rate;
    rate.sample(0, 5000);
    rate.sample(1000, 6000);
    EXPECT_FALSE(rate.secondsLeft(0));
    EXPECT_FALSE(rate.secondsLeft(5000)); // more arrived than announced
    rate.sample(2000, 100);               // the body started again
    EXPECT_FALSE(rate.bytesPerSecond());
}

TEST(SpeedAverage, TextIsHungarianWithTheSizesSeparator) {
    EXPECT_EQ(rateText(1.5 * 1024 * 1024, 42, ","), "1,5 MiB/s, még 0:42");
    EXPECT_EQ(rateText(1.5 * 1024 * 1024, 42, "."), "1.5 MiB/s, még 0:42");
    EXPECT_EQ(rateText(12.34 * 1024 * 1024, std::nullopt, "."), "12.3 MiB/s");
    EXPECT_EQ(rateText(850 * 1024 + 300, 600, ","), "850 KiB/s, még 10:00");
    EXPECT_EQ(rateText(12, 3723, ","), "12 B/s, még 1:02:03");
    EXPECT_EQ(rateText(0, std::nullopt, ","), "0 B/s");
}

RowState rowState(RowState::Kind kind, std::int64_t secondsLeft = 0) {
    RowState state;
    state.kind = kind;
    state.secondsLeft = secondsLeft;
    return state;
}

RowState arriving(std::int64_t received, std::int64_t expected,
                  std::optional<double> bytesPerSecond = std::nullopt) {
    RowState state = rowState(RowState::Kind::Transfer);
    state.received = received;
    state.expected = expected;
    state.bytesPerSecond = bytesPerSecond;
    return state;
}

TEST(SpeedAverage, ARowsStateNamesWhatItsLinkIsDoing) {
    using Kind = RowState::Kind;
    const double mib = 1024.0 * 1024.0;
    RowState hostWait = rowState(Kind::HostWait);
    hostWait.until = "10:45";
    const struct {
        RowState state;
        const char* shown;
    } table[] = {
        {rowState(Kind::None), ""},
        {rowState(Kind::Page), "Weblap"},
        {rowState(Kind::Countdown, 42), "Várakozás 0:42"},
        {rowState(Kind::Countdown, 3725), "Várakozás 62:05"},
        {rowState(Kind::Countdown, -3), "Várakozás 0:00"},
        {rowState(Kind::Captcha), "Captcha"},
        {arriving(450, 1000, 2.3 * mib), "45 % 2,3 MiB/s"},
        {arriving(999, 1000), "99 %"}, // 100 % only once it is all there
        {arriving(std::int64_t{1} << 60, (std::int64_t{1} << 61) + 1), "49 %"},
        {arriving(5000, 1000), "100 %"},
        {arriving(5000, 0, 850 * 1024.0), "850 KiB/s"},
        {arriving(5000, 0), "Letöltés"},
        {hostWait, "Vár 10:45-ig"},
        {rowState(Kind::DeadLinkWait, 5), "Vár 0:05"},
    };
    for (const auto& row : table)
        EXPECT_EQ(rowStateText(row.state, ","), row.shown) << row.shown;
}

TEST(SpeedLimit, HoldsTheBodyToTheLimitAndTakesAChangeAtOnce) {
    ReceivePacer pacer;
    EXPECT_EQ(pacer.waitMs(0, 0, 5'000'000), 0); // no limit
    EXPECT_EQ(pacer.waitMs(1000, 0, 0), 0);      // the limit counts from here
    EXPECT_EQ(pacer.waitMs(1000, 100, 500), 400);
    EXPECT_EQ(pacer.waitMs(1000, 500, 500), 0);
    EXPECT_EQ(pacer.waitMs(1000, 600, 2500), 1900);
    EXPECT_EQ(pacer.waitMs(4000, 700, 2600), 0); // raised: counts afresh
    EXPECT_EQ(pacer.waitMs(4000, 800, 4600), 400);
    EXPECT_EQ(pacer.waitMs(0, 900, 9'000'000), 0); // lifted
    // A slow stretch earns no burst: at most a second's worth is forgiven.
    ReceivePacer slow;
    slow.waitMs(1000, 0, 0);
    EXPECT_EQ(slow.waitMs(1000, 60'000, 1000), 0);
    EXPECT_EQ(slow.waitMs(1000, 60'000, 3000), 2000);
    // Limits up to a gibibyte a second stay exact.
    ReceivePacer fast;
    fast.waitMs(1'024'000'000, 0, 0);
    EXPECT_EQ(fast.waitMs(1'024'000'000, 0, 2'048'000'000), 2000);

    // Bodies arriving at once share the limit; alone again, one starts afresh.
    SharedReceivePacer shared;
    shared.join();
    shared.join();
    shared.add(500);
    EXPECT_EQ(shared.waitMs(1000, 0), 0);
    shared.add(500);
    shared.add(500);
    EXPECT_EQ(shared.waitMs(1000, 0), 1000);
    EXPECT_EQ(shared.waitMs(1000, 400), 600);
    shared.leave();
    shared.leave();
    shared.join();
    shared.add(400);
    EXPECT_EQ(shared.waitMs(1000, 500), 0);
    shared.add(300);
    EXPECT_EQ(shared.waitMs(1000, 500), 300);
}

TEST(StallDetection, LessThanOneKibASecondOverTheStallTimeIsAStall) {
    const struct {
        const char* what;
        std::int64_t bytesPerSecond;
        std::int64_t heldBackMsPerSecond;
        int stallsAtSecond; // 0: never
    } cases[] = {
        {"nothing", 0, 0, 10},
        {"a byte a second", 1, 0, 10},
        {"500 bytes a second", 500, 0, 10},
        {"1 KiB a second", 1024, 0, 0},
        {"2 KiB a second", 2048, 0, 0},
        {"600 bytes a second, held back by the limit half the time", 600, 500, 0},
    };
    for (const auto& c : cases) {
        StallWatch watch(10'000, 0);
        int stalledAt = 0;
        for (int second = 1; second <= 30 && stalledAt == 0; ++second) {
            watch.heldBack(c.heldBackMsPerSecond);
            if (watch.stalled(second * 1000, c.bytesPerSecond * second))
                stalledAt = second;
        }
        EXPECT_EQ(stalledAt, c.stallsAtSecond) << c.what;
    }
    // A fast start followed by nothing: the stall time counts from the last
    // moment enough had arrived.
    StallWatch watch(10'000, 0);
    EXPECT_FALSE(watch.stalled(1000, 1'000'000));
    EXPECT_FALSE(watch.stalled(10'999, 1'000'000));
    EXPECT_TRUE(watch.stalled(11'000, 1'000'000));
}

} // namespace
} // namespace vardelo
