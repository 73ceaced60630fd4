#include "core/ListText.h"
#include "core/LinkPasswords.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

using Lines = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string bytes;
    Lines lines;
};

void PrintTo(const SplitCase& c, std::ostream* out) {
    *out << c.name;
}

class ListSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ListSplitTest, CutsLinesAsTheLineEndsSay) {
    EXPECT_EQ(splitListLines(GetParam().bytes), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(LineEnds, ListSplitTest,
                         ::testing::Values(SplitCase{"CrLf", "a\r\nb\r\n", {"a", "b"}},
                                           SplitCase{"LfOnly", "a\nb\n", {"a", "b"}},
                                           SplitCase{"CrOnly", "a\rb\r", {"a", "b"}},
                                           SplitCase{"LfCrIsTwoEnds", "a\n\rb", {"a", "", "b"}},
                                           SplitCase{"LastLineWithoutEnd", "a\r\nb", {"a", "b"}},
                                           SplitCase{"ZeroByteEndsTheText",
                                                     std::string("a\r\nbc\0d\r\ne", 10),
                                                     {"a", "bc"}},
                                           SplitCase{"Empty", "", {}},
                                           SplitCase{"Utf8WithItsMark",
                                                     "\xEF\xBB\xBFhttp://a/\xC3\xA1\r\n"
                                                     "\xE1\r\n",
                                                     {"http://a/\xC3\xA1", "\xC3\xA1"}},
                                           SplitCase{"Code1250", "\xE1rv\xEDz", {"árvíz"}}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ListImport, SkipsBlankLinesAndKeepsBlanksAroundLinks) {
    const Lines lines = splitListLines("a\r\n\r\n   \r\n\t b \r\n");
    EXPECT_EQ(linesToImport(lines), (Lines{"a", "\t b "}));
}

TEST(ListExport, EveryLineEndsInCrLfAndAnEmptyQueueIsTwoBytes) {
    EXPECT_EQ(joinListLines({"a", "árvíz"}), "a\r\n\xE1rv\xEDz\r\n");
    EXPECT_EQ(joinListLines({""}), "\r\n");
    EXPECT_TRUE(linesToImport(splitListLines("\r\n")).empty());
}

TEST(ListTrim, RemovesControlsAndBlanksFromBothEnds) {
    EXPECT_EQ(trimControls("\x01\t x y \r\n"), "x y");
    EXPECT_EQ(trimControls(" \x1f "), "");
}

TEST(ControlCharacters, AreFoundAndReplacedC0DelAndC1) {
    const std::pair<std::string, std::string> table[] = {
        {"http://h/a b \xC3\xA1rv\xC3\xADz \xC2\xA0", "http://h/a b \xC3\xA1rv\xC3\xADz \xC2\xA0"},
        {"\x1B]0;title\x07", "?]0;title?"},
        {"a\nb\rc\td", "a?b?c?d"},
        {"\x7F\xC2\x9B"
         "2J\xC2\x80",
         "??2J?"},              // DEL, CSI and another C1
        {"end\xC2", "end\xC2"}, // a cut character is no control
    };
    for (const auto& [text, shown] : table) {
        EXPECT_EQ(controlsReplaced(text), shown);
        EXPECT_EQ(hasControlCharacters(text), text != shown) << shown;
    }
}

// "URL<TAB>password": the password after the first tab, the rest of the
// line as it stands.
TEST(ListImport, ALineGivesItsLinkAndThePasswordAfterItsTab) {
    EXPECT_EQ(splitListEntry("http://h/a").link, "http://h/a");
    EXPECT_EQ(splitListEntry("http://h/a").password, "");
    const ListEntry entry = splitListEntry("http://h/a\tjó jelszó\tmég");
    EXPECT_EQ(entry.link, "http://h/a");
    EXPECT_EQ(entry.password, "jó jelszó\tmég"); // refused when kept: a control character
}

// Kept passwords: none with a control character, each link's last, those
// of links left out of the queue gone; the file reads back what it wrote,
// its broken lines left out, and a file of another format not at all.
TEST(ListImport, PasswordsAreKeptByLinkAndReadBackWhole) {
    LinkPasswords passwords;
    passwords.set("http://h/a", "első");
    passwords.set("http://h/a", "titok");
    passwords.set("http://h/b", "x\ty");
    passwords.set("http://h/c", "");
    passwords.set("http://h/\nd", "p");
    passwords.set("http://h/e", "q");
    EXPECT_EQ(passwords.size(), 2u);
    EXPECT_FALSE(isUsablePassword("a\x7f"));
    EXPECT_TRUE(isUsablePassword("szó köz"));
    const auto read = LinkPasswords::decode(passwords.encode() + "broken line\n\tno link\n");
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), 2u);
    ASSERT_NE(read->find("http://h/a"), nullptr);
    EXPECT_EQ(*read->find("http://h/a"), "titok");
    EXPECT_FALSE(LinkPasswords::decode("http://h/a\ttitok\n"));
    EXPECT_FALSE(passwords.keepOnly({"http://h/a", "http://h/e"}));
    EXPECT_TRUE(passwords.keepOnly({"http://h/e"}));
    EXPECT_EQ(passwords.find("http://h/a"), nullptr);
    EXPECT_NE(passwords.find("http://h/e"), nullptr);
}

} // namespace
} // namespace vardelo
