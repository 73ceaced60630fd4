// The tray side of the window without a notification area, the clipboard
// watcher and the home page button.
#include "WaitFor.h"
#include "WindowFixture.h"

#include "app/InfoTexts.h"
#include "platform/HostProfileFiles.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>

namespace vardelo {
namespace {

const QString kLinkA = QStringLiteral("http://rapidshare.com/files/1/a.zip");
const QString kLinkB = QStringLiteral("http://rapidshare.com/files/2/b.rar");

class ShellWindow : public WindowFixture {
  protected:
    void copy(const QString& text) { QGuiApplication::clipboard()->setText(text); }
    std::vector<std::string> urls() {
        std::vector<std::string> list;
        for (int r = 1; r < form().queue().rowCount(); ++r)
            list.push_back(form().queue().url(r));
        return list;
    }
};

TEST_F(ShellWindow, NothingOnTheClipboardAtStartIsTaken) {
    copy(kLinkA);
    storeSetting(QStringLiteral("Vagolap"), QStringLiteral("1"));
    TForm1& form = open();
    settle();
    EXPECT_TRUE(form.queue().isEmpty());
}

TEST_F(ShellWindow, CopiedLinksAreQueuedWhileTheWatcherIsOn) {
    TForm1& form = open();
    copy(kLinkA);
    EXPECT_TRUE(form.queue().isEmpty()); // the watcher is off
    control<QAction>("PM_vagolap")->trigger();
    copy(kLinkA + QStringLiteral("\nsome words\n") + kLinkB + QStringLiteral(".html\n"));
    EXPECT_EQ(urls(), (std::vector<std::string>{kLinkA.toStdString(),
                                                "http://rapidshare.com/files/2/b.rar"}));
    EXPECT_EQ(form.queue().grid().cell(2, QueueNumber), "2");
    auto* balloonHide = control<TTimer>("balloon_hide");
    EXPECT_TRUE(balloonHide->enabled());
    balloonHide->setIntervalMs(1); // its time is up at once
    EXPECT_TRUE(waitFor([&] { return !balloonHide->enabled(); }, 2000));
}

TEST_F(ShellWindow, FloodsAndNonTextContentLoseNothingAndAddNothingElse) {
    TForm1& form = open();
    control<QCheckBox>("vagolap")->setChecked(true);
    auto* binary = new QMimeData;
    binary->setData(QStringLiteral("application/octet-stream"), QByteArray(1 << 20, '\x01'));
    QGuiApplication::clipboard()->setMimeData(binary);
    copy(QString(2'000'000, QLatin1Char('x')));
    for (int i = 0; i < 200; ++i)
        copy(kLinkA + QString::number(i));
    EXPECT_EQ(form.queue().rowCount(), 201);
    EXPECT_EQ(form.queue().url(200), kLinkA.toStdString() + "199");
}

TEST_F(ShellWindow, HandedLinksAreQueuedWithTheBalloonUntilTheCloseHasSaved) {
    TForm1& form = open();
    addLink("http://rapidshare.com/files/0/s.zip");
    EXPECT_TRUE(form.takeHandedLinks({kLinkA.toStdString(), kLinkB.toStdString()}, false));
    EXPECT_EQ(urls(), (std::vector<std::string>{"http://rapidshare.com/files/0/s.zip",
                                                kLinkA.toStdString(), kLinkB.toStdString()}));
    EXPECT_TRUE(control<TTimer>("balloon_hide")->enabled());

    // A later start with no arguments only brings the window to the front.
    form.showMinimized();
    EXPECT_TRUE(form.takeHandedLinks({}, true));
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(form.queue().rowCount(), 4);

    // Links that come after the queue was written would be lost: refused.
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.takeHandedLinks({kLinkA.toStdString()}, false));
    EXPECT_EQ(form.queue().rowCount(), 4);
}

// Two forms of one file's link are one link, whichever way each came.
TEST_F(ShellWindow, AProfilesLinkIsQueuedOnceInItsCanonicalForm) {
    QString reason;
    auto profile = parseHostProfile(R"j({"name": "X", "links": ["//(www\\.)?x\\.example/"],
        "rewrite": [["^https?://(?:www\\.)?x\\.example/(?:file|d)/(\\w+).*$",
                     "https://x.example/d/\\1"]], "after_wait": "#b"})j",
                                    &reason);
    ASSERT_TRUE(profile) << reason.toStdString();
    HostProfiles known;
    known.add(profile);
    profiles = &known;
    TForm1& form = open();
    addLink("http://www.x.example/file/abc/name.iso.html");
    addLink("https://x.example/d/abc");
    control<QAction>("PM_vagolap")->trigger();
    copy(QStringLiteral("http://x.example/d/abc\n") + kLinkA + QStringLiteral("\n") + kLinkA);
    EXPECT_EQ(form.takeHandedLinks({"https://www.x.example/file/abc", kLinkB.toStdString()}, false),
              std::vector<std::string>{"https://x.example/d/abc"});
    QFile list(path(QStringLiteral("list.txt")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("http://x.example/file/abc\r\n");
    list.close();
    dialogs.openAnswers.push_back(list.fileName());
    click("megnyit");
    EXPECT_EQ(urls(), (std::vector<std::string>{"https://x.example/d/abc", kLinkA.toStdString(),
                                                kLinkA.toStdString(), kLinkB.toStdString()}));

    // A start's own links: its terminal says which were there already.
    storeQueue({"https://x.example/d/abc"});
    startupLinks = {"http://x.example/file/abc", kLinkA.toStdString()};
    // A list line's password goes to its link in the form it is queued in.
    startupPasswords = {{"http://x.example/file/abc", "titok"}};
    ::testing::internal::CaptureStdout();
    open();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "A link már a listában van:\n  https://x.example/d/abc\n");
    EXPECT_EQ(urls(), (std::vector<std::string>{"https://x.example/d/abc", kLinkA.toStdString()}));
    QFile passwords(stateFolder() + QStringLiteral("/Vardelo/Passwords.Vdl"));
    ASSERT_TRUE(passwords.open(QIODevice::ReadOnly));
    EXPECT_TRUE(passwords.readAll().contains("https://x.example/d/abc\ttitok\n"));
}

TEST_F(ShellWindow, WithoutANotificationAreaMinimisingKeepsTheWindowReachable) {
    ASSERT_FALSE(TrayIcon::available()); // offscreen has none
    TForm1& form = open();
    form.show();
    form.showMinimized();
    settle();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(control<TrayIcon>("CTI")->iconVisible());
}

class UrlCatcher : public QObject {
    Q_OBJECT
  public:
    QList<QUrl> opened;
  public Q_SLOTS:
    void open(const QUrl& url) { opened.push_back(url); }
};

// The button and the "Fontos" page name the contact the package gives.
TEST_F(ShellWindow, HomePageButtonAndFontosNameTheProjectsContact) {
    QFile copyright(QStringLiteral(VARDELO_SHIPPED_SKINS "/../data/copyright"));
    ASSERT_TRUE(copyright.open(QIODevice::ReadOnly));
    const QString contact = QString::fromUtf8(copyright.readAll())
                                .section(QStringLiteral("Upstream-Contact: "), 1)
                                .section(u'\n', 0, 0);
    const QString address = contact.section(u'<', 1).section(u'>', 0, 0);
    ASSERT_FALSE(address.isEmpty());
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "open");
    open();
    control<QPushButton>("hompage")->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened.front(), QUrl(QStringLiteral("mailto:") + address));
    EXPECT_TRUE(control<QPlainTextEdit>("Memo2")->toPlainText().endsWith(contact));
    EXPECT_EQ(control<QPushButton>("hompage")->toolTip(), contact);
}

TEST_F(ShellWindow, ExitFromTheTrayMenuSavesAsTheCloseBoxDoes) {
    TForm1& form = open();
    addLink("http://rapidshare.com/files/9/z.zip");
    form.show();
    control<QAction>("Kilps1")->trigger();
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
    EXPECT_EQ(QFileInfo(recordPath("Naplo.Vdl")).size(), 489);
}

// Hidden in the tray, the window would not end Qt's loop by closing alone.
TEST_F(ShellWindow, ExitFromTheTrayMenuEndsTheEventLoop) {
    TForm1& form = open();
    QTimer giveUp;
    QObject::connect(&giveUp, &QTimer::timeout, &form, [] { QCoreApplication::exit(99); });
    giveUp.start(3000);
    QTimer::singleShot(0, &form, [&] { control<QAction>("Kilps1")->trigger(); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
}

TEST_F(ShellWindow, AFailedExitFromTheTrayMenuKeepsTheProgramRunning) {
    TForm1& form = open();
    QFile::remove(settingsFile());
    QDir().mkpath(settingsFile()); // the settings cannot be written
    QTimer giveUp;
    QObject::connect(&giveUp, &QTimer::timeout, &form, [] { QCoreApplication::exit(99); });
    giveUp.start(500);
    QTimer::singleShot(0, &form, [&] { control<QAction>("Kilps1")->trigger(); });
    EXPECT_EQ(QCoreApplication::exec(), 99);
    EXPECT_EQ(dialogs.errors,
              QStringList{QStringLiteral("Failed to set data for 'osszes_kihagyott_db'")});
}

} // namespace
} // namespace vardelo

#include "ShellWindowTest.moc"
