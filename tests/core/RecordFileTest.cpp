#include "QueueTestHelpers.h"
#include "TempDir.h"

#include "core/EventLog.h"
#include "core/IoError.h"
#include "core/RecordFile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

int lengthByteAt(const std::string& bytes, std::size_t offset) {
    return static_cast<unsigned char>(bytes.at(offset));
}

TEST(RecordLayouts, HaveTheStoredSizes) {
    EXPECT_EQ(queueRecordLayout().recordSize(), 362);
    EXPECT_EQ(logRecordLayout().recordSize(), 489);
}

TEST(RecordFileWrite, EmptyGridsAreOneRecordOfEmptyFields) {
    TempDir dir;
    writeRecordFile(dir / "Lista.Vdl", queueRecordLayout(), DownloadQueue().grid());
    writeRecordFile(dir / "Naplo.Vdl", logRecordLayout(), EventLog().grid());
    EXPECT_EQ(readBytes(dir / "Lista.Vdl"), std::string(362, '\0'));
    EXPECT_EQ(readBytes(dir / "Naplo.Vdl"), std::string(489, '\0'));
}

TEST(RecordFileWrite, ThreeLinksAreThreeRecordsAtFixedOffsets) {
    TempDir dir;
    DownloadQueue queue = queueOf({"http://a/1", "http://b/22", "http://c/333"});
    queue.setAttempts(2, "4");
    writeRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid());
    const std::string bytes = readBytes(dir / "Lista.Vdl");
    ASSERT_EQ(bytes.size(), 1086u);
    EXPECT_EQ(lengthByteAt(bytes, 362 + 0), 1);
    EXPECT_EQ(bytes.substr(362 + 1, 1), "2");
    EXPECT_EQ(lengthByteAt(bytes, 362 + 6), 11);
    EXPECT_EQ(bytes.substr(362 + 7, 11), "http://b/22");
    EXPECT_EQ(lengthByteAt(bytes, 362 + 261), 1);
    EXPECT_EQ(bytes.substr(362 + 262, 1), "4");
    EXPECT_EQ(bytes[362 + 7 + 11], '\0');
}

TEST(RecordFileRoundTrip, LogOfTwoEntriesComesBackUnchanged) {
    TempDir dir;
    EventLog log;
    log.append({"http://x/á", kStatusSuccess, "1,5 MB", "Próbálva:1"});
    log.append(
        {"http://y", kStatusFailed, kSizeUnknown, "Próbálva:5 (Másik rapidos szál futott.)"});
    writeRecordFile(dir / "Naplo.Vdl", logRecordLayout(), log.grid());
    EXPECT_EQ(std::filesystem::file_size(dir / "Naplo.Vdl"), 978u);

    EventLog loaded;
    ASSERT_TRUE(readRecordFile(dir / "Naplo.Vdl", logRecordLayout(), loaded.grid()));
    ASSERT_EQ(loaded.grid().rowCount(), 3);
    for (int row = 1; row <= 2; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(loaded.grid().cell(row, column), log.grid().cell(row, column));
}

TEST(RecordFileRoundTrip, LongTextsAreCutToTheirFields) {
    TempDir dir;
    DownloadQueue queue = queueOf({std::string(300, 'u')});
    writeRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid());
    DownloadQueue loaded;
    readRecordFile(dir / "Lista.Vdl", queueRecordLayout(), loaded.grid());
    EXPECT_EQ(loaded.url(1), std::string(254, 'u'));

    EventLog log;
    log.append({"u", kStatusFailed, kSizeUnknown, "x"});
    const std::string bytes = encodeRecords(log.grid(), logRecordLayout());
    EXPECT_EQ(lengthByteAt(bytes, 367), 19); // "Nem meghatározható." fits its field whole
}

TEST(RecordFileRoundTrip, NumbersComeBackAsStored) {
    TempDir dir;
    DownloadQueue queue = queueOf({"a", "b"});
    queue.grid().setCell(2, QueueNumber, "7");
    writeRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid());
    DownloadQueue loaded;
    readRecordFile(dir / "Lista.Vdl", queueRecordLayout(), loaded.grid());
    EXPECT_EQ(rowsOf(loaded), (std::vector<std::string>{"1|a|0", "7|b|0"}));
}

TEST(RecordFileRead, MissingFileLeavesTheBlankRow) {
    TempDir dir;
    DownloadQueue queue;
    EXPECT_FALSE(readRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid()));
    EXPECT_TRUE(queue.isEmpty());
}

TEST(RecordFileRead, ShortFilesAndPartialRecordsAreIgnored) {
    TempDir dir;
    writeBytes(dir / "empty", "");
    writeBytes(dir / "short", std::string(361, 'x'));
    std::string twoAndABit = encodeRecords(queueOf({"a", "b"}).grid(), queueRecordLayout());
    twoAndABit += std::string(100, '\x05');
    writeBytes(dir / "partial", twoAndABit);

    DownloadQueue empty, shortOne, partial;
    readRecordFile(dir / "empty", queueRecordLayout(), empty.grid());
    readRecordFile(dir / "short", queueRecordLayout(), shortOne.grid());
    readRecordFile(dir / "partial", queueRecordLayout(), partial.grid());
    EXPECT_EQ(rowsOf(empty), (std::vector<std::string>{"||"}));
    EXPECT_EQ(rowsOf(shortOne), (std::vector<std::string>{"||"}));
    EXPECT_EQ(rowsOf(partial), (std::vector<std::string>{"1|a|0", "2|b|0"}));
}

TEST(RecordFileRead, LengthBytesAboveCapacityAreCut) {
    std::string record(362, 'z');
    record[0] = static_cast<char>(255); // number field holds 5
    record[6] = static_cast<char>(255); // URL field holds 254
    record[261] = static_cast<char>(0);
    DownloadQueue queue;
    decodeRecords(record, queueRecordLayout(), queue.grid());
    EXPECT_EQ(queue.grid().cell(1, QueueNumber), "zzzzz");
    EXPECT_EQ(queue.url(1).size(), 254u);
    EXPECT_EQ(queue.attempts(1), "");
}

TEST(RecordFileRead, MoreThanAThousandRecordsReadBack) {
    TempDir dir;
    DownloadQueue queue;
    for (int i = 0; i < 1500; ++i)
        queue.append("link" + std::to_string(i));
    writeRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid());
    DownloadQueue loaded;
    readRecordFile(dir / "Lista.Vdl", queueRecordLayout(), loaded.grid());
    EXPECT_EQ(loaded.rowCount(), 1501);
    EXPECT_EQ(loaded.url(1500), "link1499");
}

TEST(RecordFileErrors, ReadOnlyFileIsAccessDeniedWithAFinalPeriod) {
    TempDir dir;
    writeBytes(dir / "Lista.Vdl", std::string(362, '\0'));
    std::filesystem::permissions(dir / "Lista.Vdl", std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read);
    DownloadQueue queue;
    try {
        readRecordFile(dir / "Lista.Vdl", queueRecordLayout(), queue.grid());
        FAIL() << "a read-only record file must not load";
    } catch (const IoError& error) {
        EXPECT_EQ(error.code(), IoAccessDenied);
        EXPECT_EQ(withFinalPeriod(error.what()), "File access denied.");
    }
}

TEST(RecordFileErrors, FailedWriteKeepsThePreviousFileWhole) {
    TempDir dir;
    const auto path = dir / "Lista.Vdl";
    writeRecordFile(path, queueRecordLayout(), queueOf({"old"}).grid());
    const std::string before = readBytes(path);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_THROW(writeRecordFile(path, queueRecordLayout(), queueOf({"new"}).grid()), IoError);
    EXPECT_EQ(readBytes(path), before);
    EXPECT_FALSE(std::filesystem::exists(dir / "Lista.Vdl.tmp"));
}

TEST(RecordFileErrors, MissingFolderIsFileNotFound) {
    TempDir dir;
    try {
        writeRecordFile(dir / "nope" / "Lista.Vdl", queueRecordLayout(), DownloadQueue().grid());
        FAIL();
    } catch (const IoError& error) {
        EXPECT_EQ(std::string(error.what()), "File not found");
    }
}

TEST(IoErrorMessages, UnknownCodesNameTheirNumber) {
    EXPECT_EQ(ioErrorMessage(101), "Disk full");
    EXPECT_EQ(ioErrorMessage(1117), "I/O error 1117");
    EXPECT_EQ(withFinalPeriod("I/O error 32"), "I/O error 32.");
    EXPECT_EQ(withFinalPeriod("Vége!"), "Vége!"); // '!' sorts below '.'
    EXPECT_EQ(withFinalPeriod("Kész."), "Kész.");
}

} // namespace
} // namespace vardelo
