// The stored queue and log through start-up and closing: nothing stored is
// replaced by less, and the background save never holds the window up.
#include "WaitFor.h"
#include "WindowFixture.h"

#include "core/IoError.h"
#include "platform/RecordFiles.h"
#include "session/BackgroundSave.h"
#include "session/RecordStore.h"

#include <QFile>
#include <QSpinBox>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>

namespace vardelo {
namespace {

std::vector<std::string> rowsOf(const TextGrid& grid) {
    std::vector<std::string> rows;
    for (int r = 1; r < grid.rowCount(); ++r)
        rows.push_back(grid.cell(r, 0) + "|" + grid.cell(r, 1) + "|" + grid.cell(r, 2));
    return rows;
}

class StoredRecords : public WindowFixture {
  protected:
    // A log as another program version may have left it: numbered from 5.
    void storeLog(const std::string& url) {
        EventLog log;
        log.append({url, kStatusSuccess, "1 MB", "Próbálva:1"});
        log.grid().setCell(1, LogNumber, "5");
        writeRecordFile(recordPath("Naplo.Vdl"), encodeRecords(log.grid(), logRecordLayout()));
    }
    std::vector<std::string> storedRows(const char* name) {
        TextGrid grid(name == std::string("Naplo.Vdl") ? 5 : 3);
        readRecordFile(recordPath(name),
                       name == std::string("Naplo.Vdl") ? logRecordLayout() : queueRecordLayout(),
                       grid);
        return rowsOf(grid);
    }
    QByteArray bytesOf(const char* name) {
        QFile file(recordPath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void setMode(const char* name, QFileDevice::Permissions permissions) {
        QFile::setPermissions(recordPath(name), permissions);
    }
    static constexpr auto kReadOnly = QFileDevice::ReadOwner;
    static constexpr auto kWritable = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
};

// The user's obvious reaction to "File access denied.": make the file
// writable, then close. Neither file may be replaced by an empty list.
TEST_F(StoredRecords, FileMadeWritableAfterAFailedStartKeepsBothFiles) {
    storeQueue({"http://stored/1", "http://stored/2"});
    storeLog("http://done/1");
    const QByteArray queueBefore = bytesOf("Lista.Vdl");
    const QByteArray logBefore = bytesOf("Naplo.Vdl");
    setMode("Lista.Vdl", kReadOnly);
    TForm1& form = open();
    ASSERT_EQ(dialogs.errors, QStringList{QStringLiteral("File access denied.")});
    EXPECT_TRUE(form.queue().isEmpty());
    setMode("Lista.Vdl", kWritable);
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(bytesOf("Lista.Vdl"), queueBefore);
    EXPECT_EQ(bytesOf("Naplo.Vdl"), logBefore);
}

TEST_F(StoredRecords, ListChangedAfterAFailedStartKeepsTheStoredRowsFirst) {
    storeQueue({"http://stored/1"});
    storeLog("http://done/1");
    const QByteArray logBefore = bytesOf("Naplo.Vdl");
    setMode("Lista.Vdl", kReadOnly);
    TForm1& form = open();
    addLink("http://run/2");
    giveUpHeadLink();
    addLink("http://run/1");
    form.show();

    // Still unreadable: the close fails with that file's error.
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(dialogs.errors.size(), 2);
    EXPECT_EQ(dialogs.errors.back(), QStringLiteral("File access denied."));
    EXPECT_EQ(bytesOf("Naplo.Vdl"), logBefore);

    setMode("Lista.Vdl", kWritable);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(storedRows("Lista.Vdl"),
              (std::vector<std::string>{"1|http://stored/1|0", "2|http://run/1|0"}));
    EXPECT_EQ(storedRows("Naplo.Vdl"), (std::vector<std::string>{"5|http://done/1|Sikeres letöltés",
                                                                 "2|http://run/2|Hibás link."}));
    EXPECT_EQ(form.queue().rowCount(), 3); // the window shows what was stored
}

TEST_F(StoredRecords, FifoAsLogFileFailsAtOnceAndTheWindowOpens) {
    storeQueue({"http://stored/1"});
    ASSERT_EQ(::mkfifo(QFile::encodeName(recordPath("Naplo.Vdl")).constData(), 0644), 0);
    TForm1& form = open(); // a blocking read would hang here until the test's timeout
    EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("File access denied.")});
    EXPECT_EQ(form.queue().url(1), "http://stored/1");
}

TEST_F(StoredRecords, FileAboveTheLimitGivesAMessageAndTheWindowOpens) {
    {
        QFile file(recordPath("Lista.Vdl"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(1'073'741'824 + 362));
    }
    TForm1& form = open();
    EXPECT_EQ(dialogs.errors,
              QStringList{QStringLiteral("File too large: Lista.Vdl holds more than 1 GiB.")});
    EXPECT_TRUE(form.queue().isEmpty());
    form.show();
    EXPECT_TRUE(form.close()); // unchanged, so left as it is
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 1'073'741'824 + 362);
}

TEST_F(StoredRecords, StartRemovesWhatAnInterruptedSaveLeftAndKeepsTheUsersCopies) {
    for (const char* name :
         {"Lista.Vdl.vardelo-save-Xy12Ab", "Lista.Vdl.MyCopy", "Naplo.Vdl.OldLog"}) {
        QFile file(recordPath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("the user's own");
    }
    open();
    EXPECT_FALSE(QFile::exists(recordPath("Lista.Vdl.vardelo-save-Xy12Ab")));
    for (const char* name : {"Lista.Vdl.MyCopy", "Naplo.Vdl.OldLog"})
        EXPECT_EQ(bytesOf(name), QByteArray("the user's own")) << name;
}

// The store on its own, without the window.
class Store : public StoredRecords {
  protected:
    DownloadQueue queue;
    EventLog log;
    RecordStore store{recordFolder(), queue.grid(), log.grid()};
};

TEST_F(Store, BackgroundSaveLeavesAListThatDidNotLoad) {
    storeQueue({"http://stored/1"});
    const QByteArray before = bytesOf("Lista.Vdl");
    setMode("Lista.Vdl", kReadOnly);
    EXPECT_THROW(store.load(), IoError);
    setMode("Lista.Vdl", kWritable);
    queue.append("http://run/1");
    log.append({"http://run/2", kStatusSuccess, "1 MB", "Próbálva:1"});
    store.saveInBackground();
    store.waitForBackgroundSave();
    EXPECT_EQ(bytesOf("Lista.Vdl"), before);
    EXPECT_FALSE(QFile::exists(recordPath("Naplo.Vdl")));
}

TEST_F(Store, AFailedBackgroundSaveIsReportedAndClosingShowsTheFilesError) {
    storeQueue({"http://stored/1"});
    store.load();
    const QByteArray before = bytesOf("Lista.Vdl");
    setMode("Lista.Vdl", kReadOnly);
    queue.append("http://run/1");
    testing::internal::CaptureStderr();
    store.saveInBackground();
    store.waitForBackgroundSave();
    const std::string reported = testing::internal::GetCapturedStderr();
    EXPECT_NE(reported.find("Lista.Vdl was not saved: File access denied."), std::string::npos)
        << reported;
    try {
        store.saveAtClosing();
        ADD_FAILURE() << "closing must fail with the queue file's error";
    } catch (const IoError& error) {
        EXPECT_EQ(error.code(), IoAccessDenied);
    }
    EXPECT_EQ(bytesOf("Lista.Vdl"), before);
}

TEST_F(Store, ClosingWritesAfterTheBackgroundSaveInProgress) {
    store.load();
    for (int i = 0; i < 50'000; ++i)
        queue.append("http://older/" + std::to_string(i));
    store.saveInBackground(); // a large save, usually still running when closing starts
    // Running, or already written when it was quicker than the first look.
    ASSERT_TRUE(waitFor(
        [&] { return store.backgroundSaveRunning() || QFile::exists(recordPath("Lista.Vdl")); },
        10000));
    queue.grid().setRowCount(2);
    queue.grid().clearRow(1);
    queue.append("http://newest");
    store.saveAtClosing();
    store.waitForBackgroundSave();
    EXPECT_EQ(storedRows("Lista.Vdl"), (std::vector<std::string>{"1|http://newest|0"}));
}

TEST(BackgroundSaveOrder, NewerSaveReplacesAWaitingOne) {
    std::mutex mutex;
    std::condition_variable changed;
    bool released = false;
    bool firstStarted = false;
    std::vector<int> ran;
    const auto record = [&](int save) {
        const std::lock_guard lock(mutex);
        ran.push_back(save);
        changed.notify_all();
    };
    {
        BackgroundSave saver;
        saver.submit([&] {
            std::unique_lock lock(mutex);
            firstStarted = true;
            changed.notify_all();
            changed.wait(lock, [&] { return released; });
            lock.unlock();
            record(1);
        });
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return firstStarted; });
        }
        saver.submit([&] { record(2); });
        saver.submit([&] { record(3); });
        std::unique_lock lock(mutex);
        released = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [&] { return ran.size() >= 2; });
    }
    EXPECT_EQ(ran, (std::vector<int>{1, 3}));
}

} // namespace
} // namespace vardelo
