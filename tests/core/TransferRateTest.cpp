#include "core/TransferRate.h"

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

TEST(SpeedAverage, TextIsHungarian) {
    EXPECT_EQ(rateText(1.5 * 1024 * 1024, 42), "1,5 MB/s, még 0:42");
    EXPECT_EQ(rateText(12.34 * 1024 * 1024, std::nullopt), "12,3 MB/s");
    EXPECT_EQ(rateText(850 * 1024 + 300, 600), "850 KB/s, még 10:00");
    EXPECT_EQ(rateText(12, 3723), "12 B/s, még 1:02:03");
    EXPECT_EQ(rateText(0, std::nullopt), "0 B/s");
}

} // namespace
} // namespace vardelo
