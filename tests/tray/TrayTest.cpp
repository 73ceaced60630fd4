// Minimising to the notification area and back, and the tray menu, on a real
// X display with a real notification area (trayer under Xvfb).
#include "WaitFor.h"
#include "WindowFixture.h"

#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSystemTrayIcon>

#include <csignal>
#include <sys/types.h>

namespace vardelo {
namespace {

class Tray : public WindowFixture {
  protected:
    // The texts of the balloon on show, where Qt draws it itself.
    static QStringList balloonTexts() {
        QStringList texts;
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window->inherits("QBalloonTip"))
                for (const QLabel* label : window->findChildren<QLabel*>())
                    texts.push_back(label->text());
        return texts;
    }
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_TRUE(waitFor([] { return TrayIcon::available(); }, 10000))
            << "no notification area on this display";
    }
    TForm1& openShown() {
        TForm1& form = open();
        form.show();
        waitFor([&] { return form.isVisible(); }, 5000);
        return form;
    }
};

TEST_F(Tray, MinimisingHidesTheWindowAndShowsTheIcon) {
    TForm1& form = openShown();
    EXPECT_FALSE(control<TrayIcon>("CTI")->iconVisible());
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_TRUE(control<TrayIcon>("CTI")->iconVisible());
    EXPECT_EQ(control<TrayIcon>("CTI")->systemIcon()->toolTip(), QStringLiteral("Vardelo"));
    EXPECT_EQ(control<TrayIcon>("CTI")->systemIcon()->contextMenu(), control<QMenu>("PM"));
}

TEST_F(Tray, AClickOnTheIconBringsTheWindowBack) {
    TForm1& form = openShown();
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    Q_EMIT control<TrayIcon>("CTI")->systemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMinimized());
    EXPECT_FALSE(control<TrayIcon>("CTI")->iconVisible());
}

TEST_F(Tray, TheMenusVardeloItemBringsTheWindowBack) {
    TForm1& form = openShown();
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    control<QAction>("Vardelo1")->trigger();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(control<TrayIcon>("CTI")->iconVisible());
}

TEST_F(Tray, MenuStartsAndStopsWhileTheWindowIsHidden) {
    TForm1& form = openShown();
    addLink("http://rapidshare.com/files/1/a.zip");
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    EXPECT_FALSE(control<QAction>("PM_megallit")->isEnabled());
    control<QAction>("PM_indit")->trigger();
    EXPECT_TRUE(form.downloading());
    EXPECT_FALSE(control<QAction>("PM_indit")->isEnabled());
    EXPECT_TRUE(control<QAction>("PM_megallit")->isEnabled());
    control<QAction>("PM_megallit")->trigger();
    EXPECT_FALSE(form.downloading());
    EXPECT_TRUE(control<QAction>("PM_indit")->isEnabled());
    EXPECT_FALSE(form.isVisible()); // the window stays in the tray
}

TEST_F(Tray, ExitFromTheMenuClosesAndSaves) {
    TForm1& form = openShown();
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    control<QAction>("Kilps1")->trigger();
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(Tray, ClipboardLinksWhileInTheTrayShowABalloon) {
    TForm1& form = openShown();
    control<QCheckBox>("vagolap")->setChecked(true);
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    QGuiApplication::clipboard()->setText(QStringLiteral("http://rapidshare.com/files/1/a.zip"));
    EXPECT_EQ(form.queue().url(1), "http://rapidshare.com/files/1/a.zip");
    EXPECT_TRUE(control<TTimer>("balloon_hide")->enabled());
    EXPECT_TRUE(waitFor([&] { return !control<TTimer>("balloon_hide")->enabled(); }, 5000));

    // Sixty links: the balloon's body is cut at 255 characters.
    QString many;
    for (int i = 0; i < 60; ++i)
        many += QStringLiteral("http://rapidshare.com/files/%1/file%1.zip\r\n").arg(i);
    QGuiApplication::clipboard()->setText(many);
    EXPECT_EQ(form.queue().rowCount(), 62);
    QStringList shown;
    ASSERT_TRUE(waitFor([&] { return !(shown = balloonTexts()).isEmpty(); }, 5000));
    const QString first = QStringLiteral("http://rapidshare.com/files/0/file0.zip");
    EXPECT_TRUE(shown.contains(QStringLiteral("Letöltési linkek hozzáadva")))
        << shown.join(QStringLiteral("|")).toStdString();
    const auto body = std::find_if(shown.begin(), shown.end(),
                                   [&](const QString& text) { return text.startsWith(first); });
    ASSERT_NE(body, shown.end()) << shown.join(QStringLiteral("|")).toStdString();
    EXPECT_EQ(body->size(), 255); // six links whole and a part of the seventh
}

TEST_F(Tray, APanelThatRestartsFindsTheIconStillMeantToShow) {
    TForm1& form = openShown();
    form.showMinimized();
    ASSERT_TRUE(waitFor([&] { return !form.isVisible(); }, 5000));
    // Only the panel this run started, known by its process id.
    QFile pidFile(qEnvironmentVariable("VARDELO_TRAYER_PIDFILE"));
    ASSERT_TRUE(pidFile.open(QIODevice::ReadWrite)) << "run through run-with-tray.sh";
    const qint64 panel = pidFile.readAll().trimmed().toLongLong();
    ASSERT_GT(panel, 0);
    ::kill(static_cast<pid_t>(panel), SIGTERM);
    ASSERT_TRUE(waitFor([] { return !TrayIcon::available(); }, 5000));
    qint64 restarted = 0;
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral("trayer"),
                                        {QStringLiteral("--SetDockType"), QStringLiteral("true")},
                                        QString(), &restarted));
    pidFile.resize(0);
    pidFile.seek(0);
    pidFile.write(QByteArray::number(restarted));
    pidFile.close();
    ASSERT_TRUE(waitFor([] { return TrayIcon::available(); }, 10000));
    EXPECT_TRUE(control<TrayIcon>("CTI")->iconVisible());
    EXPECT_FALSE(form.isVisible());
    Q_EMIT control<TrayIcon>("CTI")->systemIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(form.isVisible());
}

} // namespace
} // namespace vardelo
