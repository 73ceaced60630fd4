#include "core/SizeText.h"
#include "core/ExpectedFile.h"

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

// A size as a page writes it: bytes with the precision the text has; exact
// only when it counts whole bytes.
TEST(SizeText, ReadsAPagesSizeWithTheTextsPrecision) {
    struct Case {
        const char* text;
        std::optional<SizeReading> read;
    };
    constexpr std::int64_t KiB = 1024, MiB = KiB * 1024, GiB = MiB * 1024;
    const Case cases[] = {
        {"12 345 bytes", SizeReading{12'345, true}},
        {"12\xC2\xA0"
         "345\xE2\x80\xAF"
         "678 B",
         SizeReading{12'345'678, true}},
        {"1,234,567 bytes", SizeReading{1'234'567, true}},
        {"1.234 bájt", SizeReading{1'234, true}},
        {"Size: 4096", SizeReading{4'096, true}},
        {"1.5 GB", SizeReading{GiB * 3 / 2, false}},
        {"1.500 GB", SizeReading{GiB * 3 / 2, false}}, // three decimals, not thousands
        {"345,2 MB", SizeReading{345 * MiB + 209'715, false}},
        {"700 KiB", SizeReading{700 * KiB, false}},
        {"1.234,5 kb", SizeReading{1'234 * KiB + 512, false}},
        {"(2 GiB)", SizeReading{2 * GiB, false}},
        {"3 PB", SizeReading{3 * GiB * MiB, false}},
        {"1.5 bytes", std::nullopt},           // no part of a byte
        {"size unknown", std::nullopt},        // no number
        {"12 files", std::nullopt},            // no unit
        {"1 2 MB", std::nullopt},              // no group of thousands
        {"9 EB", std::nullopt},                // no unit this program knows
        {"9000 PB", std::nullopt},             // past 63 bits
        {"99999999999999999999", std::nullopt} // past 63 bits
    };
    for (const Case& c : cases) {
        const std::optional<SizeReading> read = readSizeText(c.text);
        ASSERT_EQ(read.has_value(), c.read.has_value()) << c.text;
        if (read) {
            EXPECT_EQ(read->bytes, c.read->bytes) << c.text;
            EXPECT_EQ(read->exact, c.read->exact) << c.text;
        }
    }
}

TEST(SizeText, ReadsADigestsKindByItsLengthOrAsNamed) {
    const std::string md5(32, 'a'), sha1(40, 'B'), sha256(64, '0');
    struct Case {
        std::string text;
        std::optional<DigestKind> named;
        std::optional<DigestKind> kind;
    };
    const Case cases[] = {
        {md5, std::nullopt, DigestKind::Md5},
        {" " + sha1 + "\n", std::nullopt, DigestKind::Sha1},
        {sha256, std::nullopt, DigestKind::Sha256},
        {sha256, DigestKind::Sha256, DigestKind::Sha256},
        {md5, DigestKind::Sha1, std::nullopt},                    // not of the named kind's length
        {"abc", std::nullopt, std::nullopt},                      // no known length
        {std::string(31, 'a') + "g", std::nullopt, std::nullopt}, // not hex
        {"", std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<ExpectedDigest> digest = readDigest(c.text, c.named);
        ASSERT_EQ(digest.has_value(), c.kind.has_value()) << c.text;
        if (digest) {
            EXPECT_EQ(digest->kind, *c.kind) << c.text;
            EXPECT_EQ(digest->hex.size(), digestHexLength(*c.kind));
            EXPECT_EQ(digest->hex.find_first_of("ABCDEF"), std::string::npos);
        }
    }
    EXPECT_EQ(digestKindNamed("sha1"), DigestKind::Sha1);
    EXPECT_EQ(digestKindNamed("SHA-1"), std::nullopt);
}

} // namespace
} // namespace vardelo
