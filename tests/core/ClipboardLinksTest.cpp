#include "core/ClipboardLinks.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

using Links = std::vector<std::string>;
const std::string a = "http://rapidshare.com/files/1/a.zip";
const std::string b = "http://rapidshare.com/files/2/b.rar";

struct ClipCase {
    const char* name;
    std::string text;
    Links links;
};

void PrintTo(const ClipCase& c, std::ostream* out) {
    *out << c.name;
}

class ClipboardExamination : public ::testing::TestWithParam<ClipCase> {};

TEST_P(ClipboardExamination, FindsExactlyTheMatchingLines) {
    EXPECT_EQ(linksInClipboardText(GetParam().text), GetParam().links);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipboardExamination,
    ::testing::Values(ClipCase{"OneLink", a, {a}},
                      ClipCase{"CrLfLinesTwoLinks", a + "\r\nsome words\r\n" + b, {a, b}},
                      ClipCase{"PageAddressCutAtHtm",
                               "http://rapidshare.com/files/3/c.html",
                               {"http://rapidshare.com/files/3/c"}},
                      ClipCase{"BlanksAndTabsTrimmed", " \t" + a + " \t\r\n", {a}},
                      ClipCase{"LineFeedLinesTwoLinks", a + "\n" + b + "\n", {a, b}},
                      ClipCase{"CarriageReturnLinesKeepEveryCharacter",
                               a + "\r" + b + "\r<" + a,
                               {a, b, "<" + a}},
                      ClipCase{"MixedLineEnds",
                               a + "\n" + b + "\r\n\r\n" + a + "\r" + b + "\n\r" + a,
                               {a, b, a, b, a}},
                      ClipCase{"SameLinkTwice", a + "\r\n" + a, {a, a}},
                      ClipCase{"CapitalsAreNotTheHost", "HTTP://RAPIDSHARE.COM/files/1/a.zip", {}},
                      ClipCase{"OtherHost", "http://example.com/files/1/a.zip", {}},
                      ClipCase{"PrefixInsideALine", "see " + a + " now", {"see " + a + " now"}},
                      ClipCase{"NothingBeforeHtm", ".html " + a, {}},
                      ClipCase{"EmptyText", "", {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(ClipboardBalloon, TitleByCountAndBodyWithCarriageReturns) {
    EXPECT_EQ(balloonTitle(1), "Letöltés hozzáadva");
    EXPECT_EQ(balloonTitle(2), "Letöltési linkek hozzáadva");
    EXPECT_EQ(balloonBody({a, b}), a + "\r" + b + "\r");
}

TEST(CommandLineLinks, OnlyAnArgumentThatStartsWithThePrefixIsALink) {
    EXPECT_EQ(linksInArgument(a), Links{a});
    EXPECT_EQ(linksInArgument(a + ".html"), Links{a});
    EXPECT_EQ(linksInArgument(a + "\r\n" + b), (Links{a, b}));
    EXPECT_EQ(linksInArgument(a + "\n" + b), (Links{a, b}));
    EXPECT_TRUE(linksInArgument("see " + a).empty());
    EXPECT_TRUE(linksInArgument(" " + a).empty());
    EXPECT_TRUE(linksInArgument("HTTP://RAPIDSHARE.COM/files/1/a.zip").empty());
    EXPECT_TRUE(linksInArgument(std::string("\xff\0\x01", 3)).empty());
}

TEST(ClipboardFlood, MegabytesOfTextAreExaminedInOnePass) {
    std::string text;
    for (int i = 0; i < 100'000; ++i)
        text += (i % 10 == 0 ? a : std::string(40, 'x')) + "\r\n";
    EXPECT_EQ(linksInClipboardText(text).size(), 10'000u);
    EXPECT_TRUE(linksInClipboardText(std::string(3'000'000, '\0') + "\x01").empty());
}

} // namespace
} // namespace vardelo
