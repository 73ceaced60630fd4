#include "core/SizeText.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(SizeText, MebibytesWithAtMostTwoDecimals) {
    EXPECT_EQ(sizeText(0, "."), "0 MB");
    EXPECT_EQ(sizeText(1'572'864, "."), "1.5 MB");
    EXPECT_EQ(sizeText(1'000'000, ","), "0,95 MB");
    EXPECT_EQ(sizeText(3'145'728, "."), "3 MB");
    EXPECT_EQ(sizeText(1'048'576LL * 1024 * 5, "."), "5120 MB"); // past 2 GiB
}

TEST(SizeText, RoundsHalfAwayFromZeroAndDropsTrailingZeros) {
    EXPECT_EQ(formatUpToTwoDecimals(0.005, "."), "0.01");
    EXPECT_EQ(formatUpToTwoDecimals(0.03, "."), "0.03");
    EXPECT_EQ(formatUpToTwoDecimals(2.999, "."), "3");
    EXPECT_EQ(formatUpToTwoDecimals(1.10, "."), "1.1");
    EXPECT_EQ(formatUpToTwoDecimals(-1.25, "."), "-1.25");
}

} // namespace
} // namespace vardelo
