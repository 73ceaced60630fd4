#include "core/WaitPage.h"

#include "core/BuiltInProfile.h"
#include "core/HostProfile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

const std::string kMarker = "<form name=\"dlf\" action=\"";
constexpr std::size_t kBuiltInWaitPage = 1; // the built-in profile's step

TEST(WaitPageAddress, IsTheTextBetweenTheMarkerAndTheNextQuote) {
    const std::string page = "x" + kMarker + "http://h/f.zip\" method=\"post\"> var c=45;";
    EXPECT_EQ(read_download_url(page), "http://h/f.zip");
    EXPECT_EQ(read_waiting_time(page), 45);
    EXPECT_EQ(builtInProfile()->readAddress(kBuiltInWaitPage, page), "http://h/f.zip");
}

TEST(WaitPageAddress, EmptyActionRunsToTheNextQuote) {
    EXPECT_EQ(read_download_url(kMarker + "\" method=\"post\""), "\" method=");
}

TEST(WaitPageAddress, FailsWithoutMarkerTerminatorOrInOtherCase) {
    EXPECT_EQ(read_download_url("no form here"), std::nullopt);
    EXPECT_EQ(read_download_url(kMarker + "http://h/unterminated"), std::nullopt);
    EXPECT_EQ(read_download_url(kMarker), std::nullopt);
    EXPECT_EQ(read_download_url("<FORM name=\"dlf\" action=\"http://h/x\""), std::nullopt);
    EXPECT_EQ(read_download_url("<form name='dlf' action='http://h/x'"), std::nullopt);
}

TEST(WaitPageAddress, FirstOfSeveralFormsCounts) {
    EXPECT_EQ(read_download_url(kMarker + "one\"" + kMarker + "two\""), "one");
}

TEST(WaitPageTime, MarkerBeforeTheAddressStillCounts) {
    const std::string page = "var c=7;" + kMarker + "u\"";
    EXPECT_EQ(read_waiting_time(page), 7);
    EXPECT_EQ(read_download_url(page), "u");
}

struct TimeCase {
    const char* name;
    std::string page;
    std::optional<std::int32_t> seconds;
};

void PrintTo(const TimeCase& c, std::ostream* out) {
    *out << c.name;
}

class WaitPageTimeCases : public ::testing::TestWithParam<TimeCase> {};

TEST_P(WaitPageTimeCases, ReadsAsTheIntegerConversionSays) {
    EXPECT_EQ(read_waiting_time(GetParam().page), GetParam().seconds);
    // The built-in profile counts down what lies between none and a day.
    const auto text = builtInProfile()->readWait(kBuiltInWaitPage, GetParam().page);
    const auto seconds = GetParam().seconds;
    EXPECT_EQ(text ? designedWaitSeconds(*text) : std::nullopt,
              seconds && *seconds >= 0 && *seconds <= 86400 ? seconds : std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, WaitPageTimeCases,
                         ::testing::Values(TimeCase{"Plain", "var c=30;", 30},
                                           TimeCase{"Zero", "var c=0;", 0},
                                           TimeCase{"LeadingBlank", "var c= 12;", 12},
                                           TimeCase{"TrailingBlank", "var c=12 ;", std::nullopt},
                                           TimeCase{"SemicolonFirst", "var c=;5;", std::nullopt},
                                           TimeCase{"Negative", "var c=-4;", -4},
                                           TimeCase{"Dollar", "var c=$1F;", 31},
                                           TimeCase{"ZeroX", "var c=0x10;", 16},
                                           TimeCase{"Letters", "var c=abc;", std::nullopt},
                                           TimeCase{"TooBig", "var c=2147483648;", std::nullopt},
                                           TimeCase{"Smallest", "var c=-2147483648;", INT32_MIN},
                                           TimeCase{"NoTerminator", "var c=5", std::nullopt},
                                           TimeCase{"FirstOfSeveral", "var c=3; var c=9;", 3},
                                           TimeCase{"Missing", "var d=3;", std::nullopt}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace vardelo
