#include "core/PartialFile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;

TEST(PartialFile, ServerNamesAreStoredVisibleAndWithinOneEntry) {
    std::string accented;
    for (int i = 0; i < 150; ++i)
        accented += "\xc3\xa9"; // "é"
    const struct {
        std::string name;
        int copy;
        std::string stored;
    } cases[] = {
        {"", 0, ""},
        {".", 0, ""},
        {"...", 0, ""},
        {".bashrc", 0, "bashrc"},
        {"..hidden.txt", 0, "hidden.txt"},
        {"film.avi", 0, "film.avi"},
        {"film.avi", 1, "film (1).avi"},
        {"archive.tar.gz", 2, "archive.tar (2).gz"},
        {"README", 3, "README (3)"},
        {".bashrc", 1, "bashrc (1)"},
        {std::string(296, 'a') + ".zip", 0, std::string(251, 'a') + ".zip"},
        {std::string(296, 'a') + ".zip", 12, std::string(246, 'a') + " (12).zip"},
        // Cut before a character, never inside one.
        {accented + ".zip", 0, accented.substr(0, 250) + ".zip"},
        // A "extension" as long as a name is cut like one.
        {"a." + std::string(300, 'x'), 0, "a." + std::string(253, 'x')},
        // Nothing unseen: a right-to-left override would show "gpj.nib.exe".
        {"gpj.\xe2\x80\xae"
         "exe.bin",
         0, "gpj.exe.bin"},
        {"a\xe2\x80\x8b"
         "b\xef\xbb\xbf"
         "c\xc2\xad.txt",
         0, "abc.txt"}, // zero width, soft hyphen
        {"\xe2\x81\xa6"
         "x\xe2\x81\xa9"
         "y\xf3\xa0\x80\x81.zip",
         0, "xy.zip"}, // isolates, tag
        {"c1\xc2\x85"
         "x\xc2\x9b"
         "2J\xc2\x80.bin",
         1, "c1x2J (1).bin"},
        {"line\nend\x1b]0;title\x07\x7f.txt", 0, "lineend]0;title.txt"},
        {"\xe2\x80\xae.bashrc", 0, "bashrc"},
        // Characters that can be seen, and bytes that are not UTF-8, stay.
        {"\xc5\x91r\xc3\xa1\xe2\x80\x94\xf0\x9f\x98\x80.txt", 0,
         "\xc5\x91r\xc3\xa1\xe2\x80\x94\xf0\x9f\x98\x80.txt"},
        {"\xe9t\xe9\xe2\x80.txt", 0, "\xe9t\xe9\xe2\x80.txt"},
        {"a\xc0\x8a\xed\xa0\x80.txt", 0, "a\xc0\x8a\xed\xa0\x80.txt"}, // overlong, surrogate
        // Never a partial file's name.
        {"victim.iso.part", 0, "victim.iso.part_"},
        {"victim.iso.part.meta", 0, "victim.iso.part.meta_"},
        {"victim.iso.PART", 0, "victim.iso.PART_"},
        {"victim.iso.part", 2, "victim.iso (2).part_"},
        {".part", 0, "part"},
        {"victim.iso.parts", 0, "victim.iso.parts"},
        {std::string(300, 'p') + ".part", 0, std::string(249, 'p') + ".part_"},
        {std::string(250, 'p') + ".part" + std::string(40, 'x'), 0,
         std::string(250, 'p') + ".par_"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(numberedName(c.name, c.copy), c.stored) << c.name << " " << c.copy;
    EXPECT_EQ(storableName(".profile"), "profile");
}

TEST(PartialFile, PartialNamesAreStableAndKeyedByLinkAndTarget) {
    const PartialNames usual = partialNamesFor("http://h/1", "/d/film.avi");
    // The same in every build: an update finds the partial files of the last.
    EXPECT_EQ(usual.partial, "130cb983488d3157-film.avi.part");
    EXPECT_EQ(usual.record, usual.partial + ".meta");
    const struct {
        const char* link;
        const char* target;
    } others[] = {
        {"http://h/2", "/d/film.avi"},
        {"http://h/1", "/e/film.avi"},
        {"http://h/1", "/d/film.avj"},
        {"http://h/1/d", "/film.avi"},
    };
    for (const auto& other : others)
        EXPECT_NE(partialNamesFor(other.link, other.target).partial.substr(0, 16),
                  usual.partial.substr(0, 16))
            << other.link << " " << other.target;

    std::string accented;
    for (int i = 0; i < 130; ++i)
        accented += "\xc3\xa9"; // "é"
    for (const std::string& name : {std::string(255, 'a'), accented}) {
        const PartialNames names = partialNamesFor("http://h/1", "/d/" + name, 99);
        EXPECT_LE(names.record.size() + 4, 255u) << name; // and ".new" while written
        EXPECT_TRUE(names.partial.ends_with(".part")) << name;
        const std::string kept = names.partial.substr(20, names.partial.size() - 25);
        EXPECT_TRUE(name.starts_with(kept)) << name; // cut before a character
    }
    EXPECT_EQ(partialNamesFor("http://h/1", "/d/film.avi", 2).partial,
              "130cb983488d3157.2-film.avi.part");
}

TEST(PartialFile, RecordsReadBackAndBrokenOnesAreNone) {
    const PartialRecord record{3'000'000'000, "\"abc\"", "Tue, 08 Dec 2026 09:00:00 GMT",
                               "http://h/f/1%41\n\x01é"};
    const auto back = parseRecord(recordText(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->total, record.total);
    EXPECT_EQ(back->etag, record.etag);
    EXPECT_EQ(back->lastModified, record.lastModified);
    EXPECT_EQ(back->link, record.link);
    // Written before links were kept: read, and of no link.
    const auto old = parseRecord("Vardelo partial file 1\nlength=5\netag=\"a\"\nlast-modified=\n");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->total, 5);
    EXPECT_EQ(old->link, "");
    // Length 0: the file is this program's but cannot be resumed.
    EXPECT_EQ(
        parseRecord("Vardelo partial file 1\nlength=0\netag=\nlast-modified=\nlink=x\n")->total, 0);

    const std::string text = recordText(record);
    EXPECT_FALSE(parseRecord(text.substr(0, text.size() - 1))); // cut short
    EXPECT_FALSE(parseRecord(""));
    EXPECT_FALSE(parseRecord("something else\nlength=5\netag=\nlast-modified=\n"));
    EXPECT_FALSE(parseRecord("Vardelo partial file 1\nlength=x\netag=\nlast-modified=\n"));
    EXPECT_FALSE(parseRecord("Vardelo partial file 1\nlength=-1\netag=\nlast-modified=\n"));
    EXPECT_FALSE(
        parseRecord("Vardelo partial file 1\nlength=5\netag=\nlast-modified=\nlink=%G0\n"));
    // A validator with a control byte would reach the request's headers.
    EXPECT_FALSE(parseRecord("Vardelo partial file 1\nlength=5\netag=\"a\"\rX-Evil: 1\n"
                             "last-modified=\n"));
    EXPECT_FALSE(parseRecord(std::string("Vardelo partial file 1\nlength=5\netag=\n") +
                             "last-modified=Tue\t08\n"));
}

TEST(PartialFile, OnlyAPlainAnnouncedBodyGetsARecord) {
    EXPECT_TRUE(recordForAnswer(100, "\"t\"", "", ""));
    EXPECT_TRUE(recordForAnswer(100, "", "", "identity"));
    EXPECT_FALSE(recordForAnswer(0, "\"t\"", "", ""));
    EXPECT_FALSE(recordForAnswer(100, "\"t\"", "", "gzip"));
    // A value that would break the record's lines is dropped, not kept.
    EXPECT_EQ(recordForAnswer(100, "\"a\nb\"", "x", "")->etag, "");
}

TEST(PartialFile, TheRestIsAskedForOnlyOfAShorterPartialWithARecord) {
    const PartialRecord tagged{1000, "\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT", "l"};
    EXPECT_EQ(resumeRequest(tagged, 400).offset, 400);
    EXPECT_EQ(resumeRequest(tagged, 400).headers,
              (Strings{"Range: bytes=400-", "If-Range: \"v1\""}));
    const PartialRecord weak{1000, "W/\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT", "l"};
    EXPECT_EQ(resumeRequest(weak, 1).headers,
              (Strings{"Range: bytes=1-", "If-Range: Mon, 07 Dec 2026 10:00:00 GMT"}));
    EXPECT_EQ(resumeRequest(PartialRecord{1000, "", "", "l"}, 1).headers,
              Strings{"Range: bytes=1-"});

    EXPECT_EQ(resumeRequest(std::nullopt, 400).offset, 0);
    EXPECT_EQ(resumeRequest(tagged, 0).offset, 0);
    EXPECT_EQ(resumeRequest(tagged, 1000).offset, 0); // nothing left to ask for
    EXPECT_TRUE(resumeRequest(tagged, 1500).headers.empty());

    // Whole on disk: only named, not fetched again.
    EXPECT_TRUE(isComplete(tagged, 1000));
    EXPECT_FALSE(isComplete(tagged, 999));
    EXPECT_FALSE(isComplete(PartialRecord{0, "", "", "l"}, 0));
    EXPECT_FALSE(isComplete(std::nullopt, 1000));
}

TEST(PartialFile, ContentRangeIsReadStrictly) {
    const auto range = parseContentRange("bytes 400-999/1000");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 400);
    EXPECT_EQ(range->last, 999);
    EXPECT_EQ(range->total, 1000);
    EXPECT_TRUE(parseContentRange("Bytes 0-0/1"));
    for (const char* bad : {"bytes 400-999/*", "bytes */1000", "bytes 500-400/1000",
                            "bytes 0-1000/1000", "bytes -1-5/10", "items 0-1/2", "bytes 1-2/3x"})
        EXPECT_FALSE(parseContentRange(bad)) << bad;
}

TEST(PartialFile, OnlyTheExactRestOfTheSameFileIsAppended) {
    const PartialRecord both{1000, "\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT", "l"};
    const PartialRecord none{1000, "", "", "l"};
    const std::optional<std::string> v1 = "\"v1\"", date = both.lastModified;
    const auto answer = [&](int status, const char* range, const char* encoding = nullptr) {
        AnswerHead head{status, std::nullopt, std::nullopt, v1, date};
        if (range)
            head.contentRange = range;
        if (encoding)
            head.contentEncoding = encoding;
        return head;
    };
    const auto validated = [&](std::optional<std::string> etag,
                               std::optional<std::string> lastModified) {
        AnswerHead head = answer(206, "bytes 400-999/1000");
        head.etag = std::move(etag);
        head.lastModified = std::move(lastModified);
        return head;
    };
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000"), 400, both), BodyStart::Append);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000", "identity"), 400, both),
              BodyStart::Append);
    EXPECT_EQ(bodyStartFor(answer(200, nullptr), 400, both), BodyStart::Restart);
    EXPECT_EQ(bodyStartFor(answer(200, nullptr, "gzip"), 0, std::nullopt), BodyStart::Restart);

    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-999/1000"), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-1099/1100"), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-599/1000"), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, nullptr), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000", "gzip"), 400, both),
              BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(416, "bytes */1000"), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000"), 400, std::nullopt),
              BodyStart::Refetch);
    // A host that ignores If-Range: the rest of another version.
    EXPECT_EQ(bodyStartFor(validated("\"v2\"", date), 400, both), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(validated(v1, "Tue, 08 Dec 2026 10:00:00 GMT"), 400, both),
              BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(validated(std::nullopt, date), 400, both), BodyStart::Refetch);
    // Nothing recorded to compare: the length alone (the link is matched
    // before the request).
    EXPECT_EQ(bodyStartFor(validated("\"v2\"", std::nullopt), 400, none), BodyStart::Append);
    // Unasked, a 206 counts only when it holds the whole file.
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-99/100"), 0, std::nullopt), BodyStart::Restart);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-49/100"), 0, std::nullopt), BodyStart::Refetch);
}

} // namespace
} // namespace vardelo
