#include "WindowFixture.h"

#include <QCheckBox>
#include <QFile>
#include <QSpinBox>
#include <QTimeEdit>

#include <csignal>
#include <sys/resource.h>

namespace vardelo {
namespace {

using Closing = WindowFixture;

// A file size limit stands in for a full disk: writes past `bytes` fail.
bool closeOnAFullDisk(TForm1& form, rlim_t bytes) {
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const rlimit small{bytes, old.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const bool closed = form.close();
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, oldHandler);
    return closed;
}

QByteArray contentOf(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST_F(Closing, WritesSettingsQueueAndLog) {
    storeSetting(QStringLiteral("Skin_engedelyezve"), QStringLiteral("1"));
    storeLog({{"http://x", kStatusSuccess, "1 MB", "Próbálva:1"}});
    TForm1& form = open();
    addLink("http://y");
    giveUpHeadLink();
    addLink("http://a/1");
    addLink("http://a/2");
    addLink("http://a/3");
    control<QSpinBox>("ujra")->setValue(7);
    control<QCheckBox>("skin_hasznalata")->setChecked(false);
    form.show();
    EXPECT_TRUE(form.close());

    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 1086);
    EXPECT_EQ(QFileInfo(recordPath("Naplo.Vdl")).size(), 978);
    QSettings raw(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.value(QStringLiteral("Ujraprobalkozasok")).toString(), QStringLiteral("7"));
    // One value of the skins flag remains, under the name closing writes.
    EXPECT_FALSE(raw.contains(QStringLiteral("Skin_engedelyezve")));
    EXPECT_EQ(raw.value(QStringLiteral("skin_engedelyezve")).toString(), QStringLiteral("0"));
}

TEST_F(Closing, EmptyQueueAndLogAreOneEmptyRecordEach) {
    TForm1& form = open();
    EXPECT_TRUE(form.close());
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
    EXPECT_EQ(QFileInfo(recordPath("Naplo.Vdl")).size(), 489);
}

TEST_F(Closing, FailureKeepsTheWindowOpenAndLeavesTheLogUnwritten) {
    TForm1& form = open();
    addLink("http://a/1");
    QFile lista(recordPath("Lista.Vdl"));
    ASSERT_TRUE(lista.open(QIODevice::WriteOnly));
    lista.close();
    QFile::setPermissions(recordPath("Lista.Vdl"), QFileDevice::ReadOwner);
    form.show();

    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(), QStringLiteral("File access denied."));
    EXPECT_FALSE(QFile::exists(recordPath("Naplo.Vdl")));
    // The settings before the files were stored all the same.
    EXPECT_EQ(storedSetting(QStringLiteral("Ujraprobalkozasok")).toString(), QStringLiteral("5"));

    QFile::setPermissions(recordPath("Lista.Vdl"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
}

// A full disk at closing (a file size limit stands in for it): settings that
// did not change are not written again, so the box names the queue file's
// own error, and the stored queue stays whole.
TEST_F(Closing, AFullDiskNamesTheQueueFileWhenNoSettingChanged) {
    storeQueue({"http://stored/1"});
    storeSetting(QStringLiteral("skin"), QStringLiteral("-1")); // what closing keeps here
    TForm1& form = open();
    addLink("http://a/1");
    form.show();
    QFile lista(recordPath("Lista.Vdl"));
    ASSERT_TRUE(lista.open(QIODevice::ReadOnly));
    const QByteArray before = lista.readAll();
    lista.close();
    QFile settings(settingsFile());
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    const QByteArray settingsBefore = settings.readAll();
    settings.close();

    const bool closed = closeOnAFullDisk(form, 100);

    EXPECT_FALSE(closed);
    EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("Disk full.")});
    ASSERT_TRUE(lista.open(QIODevice::ReadOnly));
    EXPECT_EQ(lista.readAll(), before);
    ASSERT_TRUE(settings.open(QIODevice::ReadOnly));
    EXPECT_EQ(settings.readAll(), settingsBefore);
    EXPECT_TRUE(form.close());
}

// A changed setting that no longer fits: the stored settings stay as they
// were to the byte, not cut short, and the write counts as failed.
TEST_F(Closing, AFullDiskKeepsTheStoredSettingsWhole) {
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("9"));
    storeSetting(QStringLiteral("skin"), QStringLiteral("-1")); // what closing keeps here
    TForm1& form = open();
    control<QSpinBox>("elhalt")->setValue(12);
    const QByteArray before = contentOf(settingsFile());
    ASSERT_FALSE(before.isEmpty());

    // The new file is one byte longer, its last line "skin=-1\n": cut short
    // of that whole line, and of only its end.
    for (const qint64 limit : {before.size() - 7, before.size()}) {
        SCOPED_TRACE(limit);
        dialogs.errors.clear();
        EXPECT_FALSE(closeOnAFullDisk(form, limit));
        EXPECT_EQ(dialogs.errors, QStringList{QStringLiteral("Failed to set data for 'Elhalt'")});
        EXPECT_EQ(contentOf(settingsFile()), before);
    }
    EXPECT_EQ(QDir(QFileInfo(settingsFile()).path()).entryList(QDir::Files),
              QStringList{QStringLiteral("Vardelo.conf")});
}

TEST_F(Closing, TerminationReturnsTheFailureInsteadOfABox) {
    TForm1& form = open();
    QFile::remove(settingsFile());
    QDir().mkpath(settingsFile()); // the settings file cannot be written
    QString failure;
    EXPECT_FALSE(form.closeForTermination(&failure));
    EXPECT_EQ(failure, QStringLiteral("Failed to set data for 'osszes_kihagyott_db'"));
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

TEST_F(Closing, RestartGivesBackTheSameState) {
    storeSetting(QStringLiteral("osszes_kihagyott_db"), QStringLiteral("3"));
    {
        TForm1& form = open();
        addLink("http://gone");
        giveUpHeadLink();
        addLink("http://á/ő");
        control<QSpinBox>("elhalt")->setValue(0);
        control<QCheckBox>("auto_le")->setChecked(false);
        control<QSpinBox>("Sebesseg_korlat")->setValue(300);
        control<QSpinBox>("Egyszerre")->setValue(3);
        control<QCheckBox>("Idoablak")->setChecked(true);
        control<QTimeEdit>("Idoablak_kezdete")->setTime(QTime(23, 30));
        control<QTimeEdit>("Idoablak_vege")->setTime(QTime(5, 15));
        EXPECT_TRUE(form.close());
    }
    EXPECT_EQ(storedSetting(QStringLiteral("Idoablak_kezdete")).toString(), QStringLiteral("1410"));
    TForm1& again = open();
    EXPECT_EQ(again.queue().url(1), "http://á/ő");
    EXPECT_EQ(again.statistics().osszes_kihagyott_db, 4);
    EXPECT_EQ(control<QSpinBox>("elhalt")->value(), 0);
    EXPECT_EQ(control<QSpinBox>("Sebesseg_korlat")->value(), 300);
    EXPECT_EQ(control<QSpinBox>("Egyszerre")->value(), 3);
    EXPECT_TRUE(control<QCheckBox>("Idoablak")->isChecked());
    EXPECT_EQ(control<QTimeEdit>("Idoablak_vege")->time(), QTime(5, 15));
    EXPECT_EQ(again.statistics().jelenlegi_kihagyott_db, 0);
}

TEST_F(Closing, SettingsStartUpNeverReachedKeepTheirStoredValues) {
    storeSetting(QStringLiteral("osszes_letoltott_db"), QStringLiteral("five")); // stops start-up
    storeSetting(QStringLiteral("osszes_kihagyott_db"), QStringLiteral("40"));
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("7"));
    storeSetting(QStringLiteral("Mentes_helye"), path(QStringLiteral("máshol")));
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("9"));
    TForm1& form = open();
    ASSERT_EQ(dialogs.errors.size(), 1);
    for (const char* gone : {"http://gone/1", "http://gone/2"}) { // given up in this run
        addLink(gone);
        giveUpHeadLink();
    }
    control<QSpinBox>("elhalt")->setValue(12); // the user's own change
    EXPECT_TRUE(form.close());

    EXPECT_EQ(storedSetting(QStringLiteral("osszes_letoltott_db")).toString(),
              QStringLiteral("five"));
    EXPECT_EQ(storedSetting(QStringLiteral("osszes_kihagyott_db")).toString(),
              QStringLiteral("42"));
    EXPECT_EQ(storedSetting(QStringLiteral("Ujraprobalkozasok")).toString(), QStringLiteral("7"));
    EXPECT_EQ(storedSetting(QStringLiteral("Mentes_helye")).toString(),
              path(QStringLiteral("máshol")));
    EXPECT_EQ(storedSetting(QStringLiteral("Elhalt")).toString(), QStringLiteral("12"));
    QSettings raw(settingsFile(), QSettings::IniFormat);
    EXPECT_FALSE(raw.contains(QStringLiteral("skin"))); // never read, never written
}

TEST_F(Closing, AMalformedSettingsLineIsNoWriteFailure) {
    {
        QFile conf(settingsFile());
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write("[General]\nUjraprobalkozasok=7\nElhalt=2\n[Broken\n");
    }
    TForm1& form = open();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(control<QSpinBox>("ujra")->value(), 7);
    control<QSpinBox>("elhalt")->setValue(4);
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(storedSetting(QStringLiteral("Elhalt")).toString(), QStringLiteral("4"));
}

} // namespace
} // namespace vardelo
