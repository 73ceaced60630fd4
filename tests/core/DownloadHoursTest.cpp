#include "core/DownloadHours.h"
#include "core/NativeMessage.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

struct HoursCase {
    const char* name;
    DownloadHours hours;
    int minute;
    bool open;
};

class Hours : public ::testing::TestWithParam<HoursCase> {};

TEST_P(Hours, OpenOrClosed) {
    EXPECT_EQ(hoursAreOpen(GetParam().hours, GetParam().minute), GetParam().open);
}

constexpr DownloadHours kDay{true, 8 * 60, 17 * 60};
constexpr DownloadHours kNight{true, 22 * 60, 6 * 60};

INSTANTIATE_TEST_SUITE_P(
    DownloadHours, Hours,
    ::testing::Values(
        HoursCase{"OffIsAlwaysOpen", {false, 60, 120}, 0, true},
        HoursCase{"EqualEndsAreTheWholeDay", {true, 300, 300}, 1000, true},
        HoursCase{"DayOpensAtItsStart", kDay, 8 * 60, true},
        HoursCase{"DayClosesAtItsEnd", kDay, 17 * 60, false},
        HoursCase{"DayIsClosedBefore", kDay, 8 * 60 - 1, false},
        HoursCase{"NightIsOpenBeforeMidnight", kNight, 23 * 60 + 59, true},
        HoursCase{"NightIsOpenAtMidnight", kNight, 0, true},
        HoursCase{"NightIsOpenAfterMidnight", kNight, 6 * 60 - 1, true},
        HoursCase{"NightClosesInTheMorning", kNight, 6 * 60, false},
        HoursCase{"NightIsClosedAtNoon", kNight, 12 * 60, false},
        HoursCase{"NightOpensAtItsStart", kNight, 22 * 60, true},
        HoursCase{"StartMinutesCountToo", {true, 22 * 60 + 30, 360}, 22 * 60 + 10, false},
        HoursCase{"OpensAtTheStartMinute", {true, 22 * 60 + 30, 360}, 22 * 60 + 30, true}),
    [](const auto& test) { return test.param.name; });

TEST(DownloadHoursText, SaysWhenItOpens) {
    EXPECT_EQ(hoursWaitText({true, 22 * 60 + 5, 60}), "Letöltés 22:05-kor indul");
    EXPECT_EQ(hoursWaitText({true, 0, 60}), "Letöltés 00:00-kor indul");
}

TEST(NativeMessageFrame, LengthInTheMachinesOrderThenTheMessage) {
    const std::string frame = framed("{\"links\":[]}");
    ASSERT_EQ(frame.size(), 4u + 12u);
    unsigned char header[kFrameHeaderBytes];
    std::copy(frame.begin(), frame.begin() + 4, header);
    EXPECT_EQ(frameLength(header), 12u);
    EXPECT_EQ(frame.substr(4), "{\"links\":[]}");
    const unsigned char large[kFrameHeaderBytes] = {0x01, 0x00, 0x10, 0x00}; // little-endian
    EXPECT_GT(frameLength(large), kLargestNativeMessage);
}

TEST(NativeMessageLinks, OnlyHttpAndHttpsAddressesAreHanded) {
    for (const char* good :
         {"http://rapidshare.com/files/1/a.zip", "HTTPS://h/x?y=1#z", "http://127.0.0.1:8080/"})
        EXPECT_TRUE(isHandableLink(good)) << good;
    for (const char* bad :
         {"ftp://h/a", "file:///etc/passwd", "javascript:alert(1)", "http://", "http:///path",
          "https:/h", "http://h/a b", "http://h/\n", "http://h/\xc3\xa1", "", "data:text/html,x"})
        EXPECT_FALSE(isHandableLink(bad)) << bad;
    EXPECT_EQ(notHttpText("ftp://h/\x01"), "Csak http vagy https link adható át: ftp://h/?");
}

} // namespace
} // namespace vardelo
