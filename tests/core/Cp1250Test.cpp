#include "core/Cp1250.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(Cp1250, HungarianLettersRoundTrip) {
    const std::string text = "Árvíztűrő tükörfúrógép ŐŰőű";
    const std::string bytes = utf8ToCp1250(text);
    EXPECT_EQ(bytes.size(), 27u);                          // one byte a letter
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xC1); // Á
    EXPECT_EQ(static_cast<unsigned char>(bytes[6]), 0xFB); // ű
    EXPECT_EQ(cp1250ToUtf8(bytes), text);
}

TEST(Cp1250, EveryByteSurvivesARoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1250(cp1250ToUtf8(all)), all);
}

TEST(Cp1250, UnmappableAndMalformedBecomeQuestionMarks) {
    EXPECT_EQ(utf8ToCp1250("a\xE6\x97\xA5z"), "a?z"); // a CJK character
    EXPECT_EQ(utf8ToCp1250("a\xFFz"), "a?z");         // not UTF-8 at all
    EXPECT_EQ(utf8ToCp1250("a\xC3"), "a?");           // cut sequence
}

// Found by fuzzing: overlong forms decoded to the character they disguise.
TEST(Cp1250, OverlongFormsAreMalformedNotTheirCharacter) {
    EXPECT_EQ(utf8ToCp1250("a\xC0\xAFz"), "a?z");                // "/" in two bytes
    EXPECT_EQ(utf8ToCp1250("\xC1\xAD"), "?");                    // "m" in two bytes
    EXPECT_EQ(utf8ToCp1250("\xE0\x80\xAF"), "?");                // "/" in three bytes
    EXPECT_EQ(utf8ToCp1250("\xF0\x82\x82\xAC"), "?");            // the euro sign in four
    EXPECT_EQ(utf8ToCp1250("\xC2\x81\xE2\x82\xAC"), "\x81\x80"); // shortest forms still count
}

} // namespace
} // namespace vardelo
