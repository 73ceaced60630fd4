#include "QueueTestHelpers.h"

#include "core/EventLog.h"
#include "core/IoError.h"
#include "core/RecordFile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

int lengthByteAt(const std::string& bytes, std::size_t offset) {
    return static_cast<unsigned char>(bytes.at(offset));
}

DownloadQueue decodedQueue(const std::string& bytes) {
    DownloadQueue queue;
    decodeRecords(bytes, queueRecordLayout(), queue.grid());
    return queue;
}

TEST(RecordLayouts, HaveTheStoredSizes) {
    EXPECT_EQ(queueRecordLayout().recordSize(), 362);
    EXPECT_EQ(logRecordLayout().recordSize(), 489);
}

TEST(RecordEncoding, EmptyGridsAreOneRecordOfEmptyFields) {
    EXPECT_EQ(encodeRecords(DownloadQueue().grid(), queueRecordLayout()), std::string(362, '\0'));
    EXPECT_EQ(encodeRecords(EventLog().grid(), logRecordLayout()), std::string(489, '\0'));
}

TEST(RecordEncoding, ThreeLinksAreThreeRecordsAtFixedOffsets) {
    DownloadQueue queue = queueOf({"http://a/1", "http://b/22", "http://c/333"});
    queue.setAttempts(2, "4");
    const std::string bytes = encodeRecords(queue.grid(), queueRecordLayout());
    ASSERT_EQ(bytes.size(), 1086u);
    EXPECT_EQ(lengthByteAt(bytes, 362 + 0), 1);
    EXPECT_EQ(bytes.substr(362 + 1, 1), "2");
    EXPECT_EQ(lengthByteAt(bytes, 362 + 6), 11);
    EXPECT_EQ(bytes.substr(362 + 7, 11), "http://b/22");
    EXPECT_EQ(lengthByteAt(bytes, 362 + 261), 1);
    EXPECT_EQ(bytes.substr(362 + 262, 1), "4");
    EXPECT_EQ(bytes[362 + 7 + 11], '\0');
}

TEST(RecordRoundTrip, LogOfTwoEntriesComesBackUnchanged) {
    EventLog log;
    log.append({"http://x/á", kStatusSuccess, "1,5 MB", "Próbálva:1"});
    log.append(
        {"http://y", kStatusFailed, kSizeUnknown, "Próbálva:5 (Másik rapidos szál futott.)"});
    const std::string bytes = encodeRecords(log.grid(), logRecordLayout());
    EXPECT_EQ(bytes.size(), 978u);

    EventLog loaded;
    EXPECT_EQ(decodeRecords(bytes, logRecordLayout(), loaded.grid()), 2);
    ASSERT_EQ(loaded.grid().rowCount(), 3);
    for (int row = 1; row <= 2; ++row)
        for (int column = 0; column < 5; ++column)
            EXPECT_EQ(loaded.grid().cell(row, column), log.grid().cell(row, column));
}

TEST(RecordRoundTrip, LongTextsAreCutToTheirFields) {
    const DownloadQueue loaded =
        decodedQueue(encodeRecords(queueOf({std::string(300, 'u')}).grid(), queueRecordLayout()));
    EXPECT_EQ(loaded.url(1), std::string(254, 'u'));

    EventLog log;
    log.append({"u", kStatusFailed, kSizeUnknown, "x"});
    const std::string bytes = encodeRecords(log.grid(), logRecordLayout());
    EXPECT_EQ(lengthByteAt(bytes, 367), 19); // "Nem meghatározható." fits its field whole
}

TEST(RecordRoundTrip, NumbersComeBackAsStored) {
    DownloadQueue queue = queueOf({"a", "b"});
    queue.grid().setCell(2, QueueNumber, "7");
    const DownloadQueue loaded = decodedQueue(encodeRecords(queue.grid(), queueRecordLayout()));
    EXPECT_EQ(rowsOf(loaded), (std::vector<std::string>{"1|a|0", "7|b|0"}));
}

TEST(RecordDecoding, ShortFilesAndPartialRecordsAreIgnored) {
    std::string twoAndABit = encodeRecords(queueOf({"a", "b"}).grid(), queueRecordLayout());
    twoAndABit += std::string(100, '\x05');
    EXPECT_EQ(rowsOf(decodedQueue("")), (std::vector<std::string>{"||"}));
    EXPECT_EQ(rowsOf(decodedQueue(std::string(361, 'x'))), (std::vector<std::string>{"||"}));
    EXPECT_EQ(rowsOf(decodedQueue(twoAndABit)), (std::vector<std::string>{"1|a|0", "2|b|0"}));
}

TEST(RecordDecoding, LengthBytesAboveCapacityAreCut) {
    std::string record(362, 'z');
    record[0] = static_cast<char>(255); // number field holds 5
    record[6] = static_cast<char>(255); // URL field holds 254
    record[261] = static_cast<char>(0);
    const DownloadQueue queue = decodedQueue(record);
    EXPECT_EQ(queue.grid().cell(1, QueueNumber), "zzzzz");
    EXPECT_EQ(queue.url(1).size(), 254u);
    EXPECT_EQ(queue.attempts(1), "");
}

TEST(RecordDecoding, MoreThanAThousandRecordsReadBack) {
    DownloadQueue queue;
    for (int i = 0; i < 1500; ++i)
        queue.append("link" + std::to_string(i));
    const DownloadQueue loaded = decodedQueue(encodeRecords(queue.grid(), queueRecordLayout()));
    EXPECT_EQ(loaded.rowCount(), 1501);
    EXPECT_EQ(loaded.url(1500), "link1499");
}

// What closing writes for a list that did not load but was changed: the
// stored rows, then this run's.
TEST(RecordAppend, StoredRowsComeFirstAndAddedRowsTakeTheirPositions) {
    EventLog stored;
    stored.grid().setRowCount(3);
    stored.grid().setCell(1, LogNumber, "5");
    stored.grid().setCell(1, LogUrl, "old1");
    stored.grid().setCell(2, LogNumber, "9");
    stored.grid().setCell(2, LogUrl, "old2");
    EventLog run;
    run.append({"new1", kStatusSuccess, "1 MB", "Próbálva:1"});
    run.append({"new2", kStatusFailed, kSizeUnknown, "Próbálva:5"});
    appendRows(stored.grid(), run.grid());
    ASSERT_EQ(stored.grid().rowCount(), 5);
    EXPECT_EQ(stored.grid().cell(2, LogNumber), "9");
    EXPECT_EQ(stored.grid().cell(3, LogNumber), "3");
    EXPECT_EQ(stored.grid().cell(4, LogNumber), "4");
    EXPECT_EQ(stored.grid().cell(4, LogUrl), "new2");
    EXPECT_EQ(stored.grid().cell(4, LogAttempts), "Próbálva:5");
}

TEST(RecordAppend, BlankSidesAddNothing) {
    DownloadQueue stored;
    appendRows(stored.grid(), queueOf({"a", "b"}).grid());
    EXPECT_EQ(rowsOf(stored), (std::vector<std::string>{"1|a|0", "2|b|0"}));
    appendRows(stored.grid(), DownloadQueue().grid());
    EXPECT_EQ(rowsOf(stored), (std::vector<std::string>{"1|a|0", "2|b|0"}));
}

TEST(RecordFileNames, OnlyMarkedLeftoversOfTheKeptFilesAreInterruptedSaves) {
    EXPECT_TRUE(isInterruptedSaveName("Lista.Vdl.vardelo-save-aB3dEf"));
    EXPECT_TRUE(isInterruptedSaveName("Naplo.Vdl.vardelo-save-123456"));
    EXPECT_TRUE(isInterruptedSaveName("HostWaits.Vdl.vardelo-save-Zz9Zz9"));
    // A user's own copies beside the record files are no leftovers, whatever
    // their suffix looks like.
    for (const char* name :
         {"Lista.Vdl.tmp", "Lista.Vdl.MyCopy", "Naplo.Vdl.OldLog", "Lista.Vdl.aBcDeF",
          "Lista.Vdl.backup", "Lista.Vdl", "Lista.Vdl.vardelo-save-", "Lista.Vdl.vardelo-save-abc",
          "Lista.Vdl.vardelo-save-abcdefg", "Lista.Vdl.vardelo-save-ab.def",
          "Other.Vdl.vardelo-save-abcdef", "xLista.Vdl.vardelo-save-abcdef",
          "lista.vdl.vardelo-save-abcdef", "HostWaits.Vdl.bak"})
        EXPECT_FALSE(isInterruptedSaveName(name)) << name;
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
