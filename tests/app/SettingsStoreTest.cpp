// The settings store over a real file: what a hand-edited file holds is read
// as written, and a write failure is reported only when the value was not
// stored.
#include "core/SettingsTable.h"
#include "platform/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace vardelo {
namespace {

class SettingsFile : public ::testing::Test {
  protected:
    QString file() const { return dir_.path() + QStringLiteral("/Vardelo.conf"); }

    void writeFile(const char* text) {
        QFile out(file());
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
    QByteArray fileText() const {
        QFile in(file());
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }

    QTemporaryDir dir_;
};

// Later writes to the file fail with EFBIG while it lives; the test runs as
// root, so file modes would not stop the write.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

TEST_F(SettingsFile, AMalformedLineIsNoWriteFailureAndEveryValueIsStillRead) {
    writeFile("[General]\nElhalt=9\nUjraprobalkozasok=7\n[Broken\n");
    QtSettingsStore store(file());
    EXPECT_EQ(store.read("Elhalt"), "9");
    EXPECT_EQ(store.read("ujraprobalkozasok"), "7");
    EXPECT_NO_THROW(store.write("osszes_kihagyott_db", "4"));
    EXPECT_NO_THROW(store.write("Elhalt", "3"));

    QtSettingsStore again(file());
    EXPECT_EQ(again.read("osszes_kihagyott_db"), "4");
    EXPECT_EQ(again.read("Elhalt"), "3");
    EXPECT_EQ(again.read("Ujraprobalkozasok"), "7");
}

TEST_F(SettingsFile, AWriteThatFailsAfterAMalformedLineIsReported) {
    writeFile("[General]\nElhalt=9\n[Broken\n");
    QtSettingsStore store(file());
    EXPECT_EQ(store.read("Elhalt"), "9");
    const QByteArray before = fileText();
    {
        const FileSizeLimit tiny(8);
        try {
            store.write("Elhalt", "3");
            ADD_FAILURE() << "the write was not stored, yet no failure came";
        } catch (const SettingsError& error) {
            EXPECT_STREQ(error.what(), "Failed to set data for 'Elhalt'");
        }
    }
    EXPECT_EQ(fileText(), before);
    // The kept file's second name is gone with the restore.
    const QStringList left = QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden);
    EXPECT_TRUE(left.filter(QStringLiteral(".previous.")).isEmpty())
        << left.join(u' ').toStdString();
}

TEST_F(SettingsFile, AFolderWithCommaAndBlankComesBackUnchanged) {
    {
        QtSettingsStore store(file());
        store.write("Mentes_helye", "/a, /b");
    }
    QtSettingsStore again(file());
    EXPECT_EQ(again.read("Mentes_helye"), "/a, /b");
}

TEST_F(SettingsFile, HandWrittenCommasAreReadAsWritten) {
    writeFile("[General]\nMentes_helye=/a, /b,c  ,  d\nVagolap=1\n");
    QtSettingsStore store(file());
    EXPECT_EQ(store.read("Mentes_helye"), "/a, /b,c  ,  d");
    EXPECT_EQ(store.read("Vagolap"), "1");

    // Quoted parts need QSettings' unescaping; they are joined as a user writes a list.
    writeFile("[General]\nMentes_helye=\"/a,1\", /b\n");
    QtSettingsStore quoted(file());
    EXPECT_EQ(quoted.read("Mentes_helye"), "/a,1, /b");
}

} // namespace
} // namespace vardelo
