#include "WindowFixture.h"

#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>

namespace vardelo {
namespace {

class Startup : public WindowFixture {};

TEST(Diagnostics, WritesTimeStampedLinesAndKeepsTwoFiles) {
    QTemporaryDir dir;
    const QString folder = dir.path() + QStringLiteral("/state/Vardelo");
    // A log kept from before, readable by all, is made private too.
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile kept(folder + QStringLiteral("/vardelo.log"));
    ASSERT_TRUE(kept.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadOther));
    kept.close();
    QFile::setPermissions(folder, QFile::permissions(folder) | QFileDevice::ReadOther |
                                      QFileDevice::ExeOther);
    {
        const DiagnosticsLog log(folder, 400);
        ASSERT_TRUE(log.writing());
        for (int i = 0; i < 20; ++i)
            qCWarning(lcTransfer) << "attempt" << i << "failed";
    }
    qCWarning(lcTransfer) << "after the log closed";
    QFile current(folder + QStringLiteral("/vardelo.log"));
    QFile older(folder + QStringLiteral("/vardelo.log.1"));
    ASSERT_TRUE(current.open(QIODevice::ReadOnly));
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_LE(current.size(), 400);
    EXPECT_LE(older.size(), 400);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/vardelo.log.2")));
    // Owner, group and others: 0600 and 0700 (the "user" bits are the owner's again).
    const auto modeOf = [](const QString& path) {
        return QFile::permissions(path) & ~QFileDevice::Permissions(0x0700);
    };
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    EXPECT_EQ(modeOf(current.fileName()), ownerOnly);
    EXPECT_EQ(modeOf(older.fileName()), ownerOnly);
    EXPECT_EQ(modeOf(folder), ownerOnly | QFileDevice::ExeOwner);
    const QStringList lines = QString::fromUtf8(current.readAll()).split(QLatin1Char('\n'));
    const QString olderText = QString::fromUtf8(older.readAll());
    EXPECT_TRUE(olderText.contains(QStringLiteral("attempt 1")));
    EXPECT_FALSE(olderText.contains(QStringLiteral("attempt 0 "))); // the oldest went
    EXPECT_TRUE(lines.at(lines.size() - 2)
                    .contains(QRegularExpression(
                        QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\S* "
                                       "warning vardelo.transfer: attempt 19 failed$"))))
        << lines.join(QLatin1Char('|')).toStdString();

    // A folder that cannot be made: no file, and the program goes on.
    const DiagnosticsLog blocked(current.fileName() + QStringLiteral("/below"));
    EXPECT_FALSE(blocked.writing());
}

TEST(Diagnostics, LiveInTheUsersStateFolder) {
    const QByteArray kept = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", "/tmp/state");
    EXPECT_EQ(diagnosticsFolder(), QStringLiteral("/tmp/state/Vardelo"));
    qunsetenv("XDG_STATE_HOME");
    EXPECT_EQ(diagnosticsFolder(), QDir::homePath() + QStringLiteral("/.local/state/Vardelo"));
    if (!kept.isNull())
        qputenv("XDG_STATE_HOME", kept);
}

TEST_F(Startup, FirstStartWritesEveryDefault) {
    TForm1& form = open();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_TRUE(form.queue().isEmpty());
    EXPECT_TRUE(form.log().isEmpty());
    EXPECT_EQ(control<QSpinBox>("ujra")->value(), 5);
    EXPECT_EQ(control<QSpinBox>("elhalt")->value(), 5);
    EXPECT_EQ(control<QLineEdit>("Mentes_helye")->text(), targetFolder());
    EXPECT_TRUE(QFileInfo(targetFolder()).isDir());
    EXPECT_FALSE(control<QPushButton>("Stop")->isEnabled());
    EXPECT_FALSE(form.downloading());

    QSettings raw(settingsFile(), QSettings::IniFormat);
    EXPECT_EQ(raw.childKeys().size(), 20);
    EXPECT_EQ(raw.value(QStringLiteral("Csomag_mappa")).toString(), QStringLiteral("1"));
    EXPECT_EQ(raw.value(QStringLiteral("Futtatas_csomag_utan")).toString(), QString());
    EXPECT_EQ(raw.value(QStringLiteral("Egyszerre")).toString(), QStringLiteral("1"));
    EXPECT_EQ(control<QSpinBox>("Egyszerre")->value(), 1);
    EXPECT_EQ(raw.value(QStringLiteral("Captcha_ido")).toString(), QStringLiteral("5"));
    EXPECT_EQ(raw.value(QStringLiteral("Captcha_eseten")).toString(), QStringLiteral("0"));
    EXPECT_EQ(raw.value(QStringLiteral("Sebesseg_korlat")).toString(), QStringLiteral("0"));
    EXPECT_EQ(raw.value(QStringLiteral("Idoablak")).toString(), QStringLiteral("0"));
    EXPECT_EQ(raw.value(QStringLiteral("Ujraprobalkozasok")).toString(), QStringLiteral("5"));
    EXPECT_EQ(raw.value(QStringLiteral("Skin_engedelyezve")).toString(), QStringLiteral("1"));
    EXPECT_EQ(raw.value(QStringLiteral("skin")).toString(), QStringLiteral("2"));
    EXPECT_EQ(raw.value(QStringLiteral("Mentes_helye")).toString(), targetFolder());
}

TEST_F(Startup, RestoresQueueLogAndSettingsInOrder) {
    storeQueue({"http://a/1", "http://b/2"});
    storeSetting(QStringLiteral("osszes_letoltott_db"), QStringLiteral("3"));
    storeSetting(QStringLiteral("osszes_letoltott_meret"), QStringLiteral("5368709120"));
    storeSetting(QStringLiteral("UJRAPROBALKOZASOK"), QStringLiteral("20")); // any letter case
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("99"));
    storeSetting(QStringLiteral("Vagolap"), QStringLiteral("1"));
    storeSetting(QStringLiteral("Mentes_helye"), QString());
    // Out of range or a text: brought into range, never an error.
    storeSetting(QStringLiteral("Sebesseg_korlat"), QStringLiteral("5000000"));
    storeSetting(QStringLiteral("Idoablak"), QStringLiteral("on"));
    storeSetting(QStringLiteral("Idoablak_kezdete"), QStringLiteral("99999"));
    storeSetting(QStringLiteral("Idoablak_vege"), QStringLiteral("06:30"));
    storeSetting(QStringLiteral("Egyszerre"), QStringLiteral("three"));

    TForm1& form = open();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(form.queue().rowCount(), 3);
    EXPECT_EQ(form.queue().url(2), "http://b/2");
    EXPECT_EQ(control<QLabel>("oldb")->text(), QStringLiteral("3"));
    EXPECT_EQ(control<QLabel>("olm")->text(), QStringLiteral("5120 MB"));
    EXPECT_EQ(control<QSpinBox>("ujra")->value(), 8);
    EXPECT_EQ(control<QSpinBox>("elhalt")->value(), 15);
    EXPECT_TRUE(control<QCheckBox>("vagolap")->isChecked());
    EXPECT_TRUE(control<QAction>("PM_vagolap")->isChecked());
    // An empty stored folder shows the default but is not written back yet.
    EXPECT_EQ(control<QLineEdit>("Mentes_helye")->text(), targetFolder());
    EXPECT_EQ(storedSetting(QStringLiteral("Mentes_helye")).toString(), QString());
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QLabel>("jlm")->text(), QStringLiteral("0 MB"));
    EXPECT_EQ(control<QSpinBox>("Sebesseg_korlat")->value(), 1'000'000);
    EXPECT_EQ(http.receiveLimit(), 1'000'000 * 1024);
    EXPECT_FALSE(control<QCheckBox>("Idoablak")->isChecked());
    EXPECT_EQ(control<QTimeEdit>("Idoablak_kezdete")->time(), QTime(23, 59));
    EXPECT_EQ(control<QTimeEdit>("Idoablak_vege")->time(), QTime(6, 0));
    EXPECT_EQ(control<QSpinBox>("Egyszerre")->value(), 1);
}

TEST_F(Startup, WrongTypeStopsLoadingAtThatValue) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("2"));
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("five"));
    open();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(), QStringLiteral("Invalid data type for 'Elhalt'"));
    EXPECT_EQ(control<QSpinBox>("ujra")->value(), 2);   // read before the failing value
    EXPECT_EQ(control<QSpinBox>("elhalt")->value(), 5); // the layout's value
}

TEST_F(Startup, ReadOnlyListFileSkipsTheRestOfStartup) {
    storeQueue({"http://a/1"});
    QFile::setPermissions(recordPath("Lista.Vdl"), QFileDevice::ReadOwner);
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("7"));
    TForm1& form = open();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(), QStringLiteral("File access denied."));
    EXPECT_TRUE(form.queue().isEmpty());
    EXPECT_EQ(control<QSpinBox>("ujra")->value(), 3); // no setting was read
}

TEST_F(Startup, AutoStartBeginsTheHeadLinkBeforeTheWindowShows) {
    storeQueue({"http://a/1"});
    storeSetting(QStringLiteral("Automatikus_letoltes"), QStringLiteral("1"));
    TForm1& form = open();
    EXPECT_TRUE(control<QCheckBox>("auto_le")->isChecked());
    EXPECT_TRUE(control<QAction>("PM_auto_le")->isChecked());
    EXPECT_TRUE(form.downloading());
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Weblap betöltése"));
    EXPECT_FALSE(form.isVisible());
}

// `vardelo URL` with auto-start on: the link is queued after the stored
// queue and before auto-start looks, so it runs without a key press.
TEST_F(Startup, AutoStartTakesTheLinksTheStartWasGiven) {
    storeSetting(QStringLiteral("Automatikus_letoltes"), QStringLiteral("1"));
    startupLinks = {"http://a/1", "http://a/2"};
    TForm1& form = open();
    EXPECT_TRUE(form.downloading());
    EXPECT_EQ(fakeBrowser().navigated, QStringList{QStringLiteral("http://a/1")});
    EXPECT_EQ(form.queue().url(2), "http://a/2");

    storeQueue({"http://stored"});
    TForm1& again = open();
    EXPECT_EQ(fakeBrowser().navigated, QStringList{QStringLiteral("http://stored")});
    EXPECT_EQ(again.queue().url(2), "http://a/1");
}

TEST_F(Startup, AutoStartWithAnEmptyQueueSaysNothing) {
    storeSetting(QStringLiteral("Automatikus_letoltes"), QStringLiteral("1"));
    TForm1& form = open();
    EXPECT_FALSE(form.downloading());
    EXPECT_TRUE(dialogs.informations.isEmpty());
}

TEST_F(Startup, FirstActivationShowsTheDownloadPageOnlyOnce) {
    TForm1& form = open();
    form.show();
    EXPECT_EQ(control<QTabWidget>("Lapok")->currentIndex(), 0);
    control<QTabWidget>("Lapok")->setCurrentIndex(3);
    form.hide();
    form.show();
    EXPECT_EQ(control<QTabWidget>("Lapok")->currentIndex(), 3);
}

} // namespace
} // namespace vardelo

namespace vardelo {
namespace {

using FolderChooser = WindowFixture;

TEST_F(FolderChooser, SetsTheTargetFolderOnOkAndKeepsItOnCancel) {
    open();
    dialogs.folderAnswers.push_back(path(QStringLiteral("máshol")));
    control<QPushButton>("Button4")->click();
    EXPECT_EQ(dialogs.prompts, QStringList{QStringLiteral("Mentés helye")});
    EXPECT_EQ(control<QLineEdit>("Mentes_helye")->text(), path(QStringLiteral("máshol")));
    dialogs.folderAnswers.push_back(std::nullopt);
    control<QPushButton>("Button4")->click();
    EXPECT_EQ(control<QLineEdit>("Mentes_helye")->text(), path(QStringLiteral("máshol")));
    // Stored only at closing.
    EXPECT_EQ(storedSetting(QStringLiteral("Mentes_helye")).toString(), targetFolder());
}

} // namespace
} // namespace vardelo
