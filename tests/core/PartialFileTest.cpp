#include "core/PartialFile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;

TEST(PartialFile, DotNamesAreNoFileNames) {
    EXPECT_FALSE(isStorableName(""));
    EXPECT_FALSE(isStorableName("."));
    EXPECT_FALSE(isStorableName(".."));
    EXPECT_TRUE(isStorableName("..."));
    EXPECT_TRUE(isStorableName(".hidden"));
}

TEST(PartialFile, LongNamesGetAShortStablePartialName) {
    const PartialNames usual = partialNamesFor("film.avi");
    EXPECT_EQ(usual.partial, "film.avi.part");
    EXPECT_EQ(usual.record, "film.avi.part.meta");
    EXPECT_EQ(partialNamesFor(std::string(245, 'a')).partial, std::string(245, 'a') + ".part");

    for (const std::size_t size : {246u, 251u, 255u}) {
        const PartialNames names = partialNamesFor(std::string(size, 'a'));
        EXPECT_LE(names.record.size(), 255u) << size;
        EXPECT_EQ(names.record, names.partial + ".meta");
        EXPECT_EQ(names.partial, partialNamesFor(std::string(size, 'a')).partial);
    }
    EXPECT_NE(partialNamesFor(std::string(255, 'a')).partial,
              partialNamesFor(std::string(255, 'b')).partial);
}

TEST(PartialFile, RecordsReadBackAndBrokenOnesAreNone) {
    const PartialRecord record{3'000'000'000, "\"abc\"", "Tue, 08 Dec 2026 09:00:00 GMT"};
    const auto back = parseRecord(recordText(record));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->total, record.total);
    EXPECT_EQ(back->etag, record.etag);
    EXPECT_EQ(back->lastModified, record.lastModified);

    const std::string text = recordText(record);
    EXPECT_FALSE(parseRecord(text.substr(0, text.size() - 1))); // cut short
    EXPECT_FALSE(parseRecord(""));
    EXPECT_FALSE(parseRecord("something else\nlength=5\netag=\nlast-modified=\n"));
    EXPECT_FALSE(parseRecord("Vardelo partial file 1\nlength=x\netag=\nlast-modified=\n"));
    EXPECT_FALSE(parseRecord("Vardelo partial file 1\nlength=0\netag=\nlast-modified=\n"));
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
    const PartialRecord tagged{1000, "\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT"};
    EXPECT_EQ(resumeRequest(tagged, 400).offset, 400);
    EXPECT_EQ(resumeRequest(tagged, 400).headers,
              (Strings{"Range: bytes=400-", "If-Range: \"v1\""}));
    const PartialRecord weak{1000, "W/\"v1\"", "Mon, 07 Dec 2026 10:00:00 GMT"};
    EXPECT_EQ(resumeRequest(weak, 1).headers,
              (Strings{"Range: bytes=1-", "If-Range: Mon, 07 Dec 2026 10:00:00 GMT"}));
    EXPECT_EQ(resumeRequest(PartialRecord{1000, "", ""}, 1).headers, Strings{"Range: bytes=1-"});

    EXPECT_EQ(resumeRequest(std::nullopt, 400).offset, 0);
    EXPECT_EQ(resumeRequest(tagged, 0).offset, 0);
    EXPECT_EQ(resumeRequest(tagged, 1000).offset, 0); // nothing left to ask for
    EXPECT_TRUE(resumeRequest(tagged, 1500).headers.empty());
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

TEST(PartialFile, OnlyTheExactRestIsAppended) {
    const auto answer = [](int status, const char* range, const char* encoding = nullptr) {
        AnswerHead head{status, std::nullopt, std::nullopt};
        if (range)
            head.contentRange = range;
        if (encoding)
            head.contentEncoding = encoding;
        return head;
    };
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000"), 400, 1000), BodyStart::Append);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000", "identity"), 400, 1000),
              BodyStart::Append);
    EXPECT_EQ(bodyStartFor(answer(200, nullptr), 400, 1000), BodyStart::Restart);
    EXPECT_EQ(bodyStartFor(answer(200, nullptr, "gzip"), 0, 0), BodyStart::Restart);

    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-999/1000"), 400, 1000), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-1099/1100"), 400, 1000), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-599/1000"), 400, 1000), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, nullptr), 400, 1000), BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 400-999/1000", "gzip"), 400, 1000),
              BodyStart::Refetch);
    EXPECT_EQ(bodyStartFor(answer(416, "bytes */1000"), 400, 1000), BodyStart::Refetch);
    // Unasked, a 206 counts only when it holds the whole file.
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-99/100"), 0, 0), BodyStart::Restart);
    EXPECT_EQ(bodyStartFor(answer(206, "bytes 0-49/100"), 0, 0), BodyStart::Refetch);
}

} // namespace
} // namespace vardelo
