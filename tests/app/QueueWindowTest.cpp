#include "WindowFixture.h"

#include "WaitFor.h"

#include "app/QueueGridView.h"
#include "platform/HostProfileFiles.h"
#include "session/DownloadSession.h"
#include "session/LinkCheckRunner.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace vardelo {
namespace {

class QueueWindow : public WindowFixture {
  protected:
    TForm1& openWith(const std::vector<std::string>& urls) {
        TForm1& form = open();
        for (const auto& url : urls)
            addLink(url);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    QPoint cellCenter(int row, int column) {
        return control<QueueGridView>("Linkek")
            ->visualRect(control<QueueGridView>("Linkek")->model()->index(row - 1, column))
            .center();
    }

    std::vector<std::string> urls() {
        std::vector<std::string> list;
        for (int r = 1; r < form().queue().rowCount(); ++r)
            list.push_back(form().queue().url(r));
        return list;
    }

    void dragRow(int from, int to, int column = 1) {
        QWidget* viewport = control<QueueGridView>("Linkek")->viewport();
        QTest::mousePress(viewport, Qt::LeftButton, {}, cellCenter(from, column));
        QTest::mouseRelease(viewport, Qt::LeftButton, {}, cellCenter(to, column));
    }
};

// Every change of the queue and the log reaches their views by itself, in
// the order and shape a view expects.
TEST_F(QueueWindow, TheGridsFollowEveryChangeOfTheQueueAndTheLog) {
    storeLog({{"y", kStatusSuccess, "1 MB", "Próbálva:1"}});
    TForm1& form = openWith({"a", "b", "c", "d"});
    QAbstractItemModel* queueModel = control<QueueGridView>("Linkek")->model();
    QAbstractItemModel* logModel = control<QTableView>("naplosg")->model();
    const QAbstractItemModelTester queueTester(
        queueModel, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QAbstractItemModelTester logTester(logModel,
                                             QAbstractItemModelTester::FailureReportingMode::Fatal);
    const auto shown = [&](QAbstractItemModel* model, int row) {
        return model->index(row - 1, 1).data().toString().toStdString();
    };
    // The rows a view has been told of.
    const auto viewRows = [&](const char* name) {
        return control<QTableView>(name)->verticalHeader()->count();
    };

    addLink("e");
    EXPECT_EQ(queueModel->rowCount(), 5);
    EXPECT_EQ(shown(queueModel, 5), "e");
    dragRow(4, 2);
    EXPECT_EQ(shown(queueModel, 2), "d");
    control<QueueGridView>("Linkek")->selectDataRow(3);
    control<QPushButton>("sor_torles")->click();
    EXPECT_EQ(queueModel->rowCount(), 4);
    EXPECT_EQ(viewRows("Linkek"), 4);
    EXPECT_EQ(shown(queueModel, 3), "c");

    const std::string secondGivenUp = form.queue().url(2);
    giveUpHeadLink();
    giveUpHeadLink();
    EXPECT_EQ(logModel->rowCount(), 3);
    EXPECT_EQ(queueModel->rowCount(), 2);
    control<QPushButton>("hibasak_ujra")->click();
    EXPECT_EQ(logModel->rowCount(), 1);
    EXPECT_EQ(viewRows("naplosg"), 1);
    EXPECT_EQ(shown(logModel, 1), "y");
    EXPECT_EQ(queueModel->rowCount(), 4);
    EXPECT_EQ(shown(queueModel, 4), secondGivenUp);
    control<QPushButton>("button1")->click(); // answered yes
    EXPECT_EQ(logModel->rowCount(), 1);
    EXPECT_EQ(shown(logModel, 1), "");
}

TEST_F(QueueWindow, DraggingRowFourOntoRowTwoShiftsTheRowsBetween) {
    openWith({"a", "b", "c", "d"});
    dragRow(4, 2);
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "d", "b", "c"}));
    EXPECT_EQ(form().queue().grid().cell(2, QueueNumber), "2");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QueueWindow, DragFromTheNumberColumnMovesNothing) {
    openWith({"a", "b", "c"});
    dragRow(3, 1, 0);
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(QueueWindow, DragOntoTheHeadWhileDownloadingMovesNothing) {
    openWith({"a", "b", "c"});
    click("inditas"); // row 1 is being downloaded
    dragRow(3, 1);
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(QueueWindow, RightButtonSelectsTheRowUnderThePointer) {
    openWith({"a", "b", "c"});
    control<QueueGridView>("Linkek")->selectDataRow(1);
    QTest::mousePress(control<QueueGridView>("Linkek")->viewport(), Qt::RightButton, {},
                      cellCenter(3, 1));
    EXPECT_EQ(control<QueueGridView>("Linkek")->selectedRow(), 3);
    QTest::mouseRelease(control<QueueGridView>("Linkek")->viewport(), Qt::RightButton, {},
                        cellCenter(3, 1));
    control<QAction>("rls1")->trigger(); // the popup's "Törlés" acts on that row
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(QueueWindow, DeleteKeyAndButtonsActOnTheSelectedRow) {
    openWith({"a", "b", "c", "d"});
    control<QueueGridView>("Linkek")->selectDataRow(2);
    QTest::keyClick(control<QueueGridView>("Linkek"), Qt::Key_Delete);
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "c", "d"}));
    control<QueueGridView>("Linkek")->selectDataRow(3);
    control<QPushButton>("elore")->click();
    EXPECT_EQ(urls(), (std::vector<std::string>{"d", "a", "c"}));
    control<QueueGridView>("Linkek")->selectDataRow(1);
    control<QAction>("Listalegvgre1")->trigger();
    EXPECT_EQ(urls(), (std::vector<std::string>{"a", "c", "d"}));
}

// The parts of one archive are one package, judged also by the name the
// link check found for an address that names nothing: the "Csomag" column
// names it with how many of its parts have come, and "Csomag törlése" takes
// all its rows, the others stay.
TEST_F(QueueWindow, APackagesRowsShowItsNameAndLeaveTogether) {
    QFile checked(recordPath("LinkCheck.Vdl"));
    ASSERT_TRUE(checked.open(QIODevice::WriteOnly));
    checked.write(R"({"version": 1, "links": [{"link": "http://h/d/17", "available": "online",
                      "name": "f.part3.rar"}]})");
    checked.close();
    storeQueue({"http://h/f.part1.rar", "http://h/x.bin", "http://h/f.part2.rar",
                "http://h/g.7z.001", "http://h/d/17"});
    openWith({});
    const QAbstractItemModel* model = control<QueueGridView>("Linkek")->model();
    int column = -1;
    for (int c = 0; c < model->columnCount(); ++c)
        if (model->headerData(c, Qt::Horizontal).toString() == QStringLiteral("Csomag"))
            column = c;
    ASSERT_GE(column, 0);
    QStringList packages;
    for (int row = 0; row < model->rowCount(); ++row)
        packages << model->index(row, column).data().toString();
    const QString f = QStringLiteral("f (0/3 rész)");
    EXPECT_EQ(packages, (QStringList{f, QString(), f, QStringLiteral("g"), f}));
    const auto packageColumn = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, column).data().toString();
        return names;
    };
    // Renamed, every row of it takes the new name; a control character is refused.
    control<QueueGridView>("Linkek")->selectDataRow(3);
    dialogs.textAnswers = {QStringLiteral("\x01"), QStringLiteral(" Nyár 2026 ")};
    control<QAction>("csomag_atnevezese")->trigger();
    EXPECT_EQ(dialogs.errors.size(), 1);
    control<QAction>("csomag_atnevezese")->trigger();
    const QString renamed = QStringLiteral("Nyár 2026 (0/3 rész)");
    EXPECT_EQ(packageColumn(),
              (QStringList{renamed, QString(), renamed, QStringLiteral("g"), renamed}));
    control<QAction>("csomag_torlese")->trigger();
    EXPECT_EQ(urls(), (std::vector<std::string>{"http://h/x.bin", "http://h/g.7z.001"}));
}

// A package whose parts had all arrived when the program closed (its
// unpacking cut short) is unpacked at the next start.
TEST_F(QueueWindow, APackageWhosePartsAllArrivedIsUnpackedAtTheNextStart) {
    QDir().mkpath(targetFolder() + QStringLiteral("/film"));
    QFile source(targetFolder() + QStringLiteral("/film.mkv"));
    ASSERT_TRUE(source.open(QIODevice::WriteOnly));
    source.write(QByteArray(150'000, 'f'));
    source.close();
    const QString command =
        QStringLiteral("cd '%1' && 7z a -mx=0 -v100k film/film.7z film.mkv >/dev/null")
            .arg(targetFolder());
    ASSERT_EQ(std::system(command.toLocal8Bit().constData()), 0);
    QFile book(recordPath("Csomagok.Vdl"));
    ASSERT_TRUE(book.open(QIODevice::WriteOnly));
    for (int n = 1; n <= 2; ++n)
        book.write(QStringLiteral("%1A\tfilm\thttp://h/%2\t%3/film/film.7z.00%2\n")
                       .arg(n == 1 ? QStringLiteral("Vardelo packages 1\n") : QString())
                       .arg(n)
                       .arg(targetFolder())
                       .toUtf8());
    book.close();
    TForm1& form = openWith({});
    ASSERT_TRUE(waitFor([&] { return !form.log().isEmpty(); }, 20000));
    EXPECT_EQ(form.log().grid().cell(1, LogStatus), "Kicsomagolva: 1 fájl");
    QFile unpacked(targetFolder() + QStringLiteral("/film/film.mkv"));
    ASSERT_TRUE(unpacked.open(QIODevice::ReadOnly));
    EXPECT_EQ(unpacked.readAll(), QByteArray(150'000, 'f'));
}

// The archives' password list typed just before the window goes is kept.
TEST_F(QueueWindow, ThePasswordListTypedJustBeforeClosingIsKept) {
    openWith({});
    control<QPlainTextEdit>("jelszavak")->setPlainText(QStringLiteral("alma\nkorte"));
    ASSERT_TRUE(form().close());
    openWith({});
    EXPECT_EQ(control<QPlainTextEdit>("jelszavak")->toPlainText(), QStringLiteral("alma\nkorte"));
}

TEST_F(QueueWindow, EnterInTheAddBoxAppendsAndEmptiesIt) {
    openWith({});
    QTest::keyClick(control<QLineEdit>("Link_hozza"), Qt::Key_Return);
    EXPECT_TRUE(form().queue().isEmpty());
    QTest::keyClicks(control<QLineEdit>("Link_hozza"), QStringLiteral("http://x/1"));
    QTest::keyClick(control<QLineEdit>("Link_hozza"), Qt::Key_Return);
    QTest::keyClicks(control<QLineEdit>("Link_hozza"), QStringLiteral("   "));
    control<QPushButton>("Hozzaad")->click();
    EXPECT_EQ(urls(), (std::vector<std::string>{"http://x/1", "   "}));
    EXPECT_TRUE(control<QLineEdit>("Link_hozza")->text().isEmpty());
    EXPECT_EQ(control<QueueGridView>("Linkek")->model()->rowCount(), 2);
}

TEST_F(QueueWindow, ChangesAreSavedInTheBackgroundWithinSeconds) {
    openWith({});
    addLink("http://saved/1");
    EXPECT_FALSE(QFile::exists(recordPath("Lista.Vdl")));
    EXPECT_TRUE(QTest::qWaitFor([this] { return QFile::exists(recordPath("Lista.Vdl")); }, 6000));
    EXPECT_EQ(QFileInfo(recordPath("Lista.Vdl")).size(), 362);
}

// The check loads no page of the link a download works on, and its hidden
// pages are not the cycle's; Ctrl+L starts it and Stop ends it. A results
// file that does not read is written anew. Removing the offline rows spares
// the running head.
TEST_F(QueueWindow, TheLinkCheckLeavesTheRunningDownloadAloneAndStopEndsIt) {
    QString reason;
    HostProfiles known;
    // On a port nothing listens on: the first pages' text is refused, and
    // their selectors are read in the browser.
    for (
        const char* text :
        {R"({"name": "A", "links": [":1/a/"], "dead": "Gone", "steps": [{"name": {"selector": "h1"}, "submit": "#b"}]})",
         R"({"name": "B", "links": [":1/b/"], "steps": [{"name": {"selector": "h1"}, "submit": "#b"}]})"})
        known.add(parseHostProfile(QByteArray(text), &reason));
    profiles = &known;
    QFile stored(recordPath("LinkCheck.Vdl"));
    ASSERT_TRUE(stored.open(QIODevice::WriteOnly));
    stored.write(
        R"({"version": 2, "links": [{"link": "http://127.0.0.1:1/a/2", "available": "offline"}]})");
    stored.close();
    TForm1& form = openWith({"http://127.0.0.1:1/a/1", "http://127.0.0.1:1/a/2",
                             "http://127.0.0.1:1/b/3", "http://127.0.0.1:1/b/4"});
    EXPECT_TRUE(waitFor(
        [&] { // read anew each time: the old file may still be there at first
            const bool rewritten = stored.open(QIODevice::ReadOnly) &&
                                   stored.readAll().startsWith(R"({"links":[],"version":1})");
            stored.close();
            return rewritten;
        },
        5000));
    click("inditas");
    ASSERT_TRUE(form.downloading());
    QTest::keyClick(&form, Qt::Key_L, Qt::ControlModifier);
    FakeBrowser& cycleBrowser = fakeBrowser();
    // One page for each host, in the order their text was refused.
    ASSERT_TRUE(waitFor([&] { return cycleBrowser.hiddenPages.size() == 2; }, 5000));
    const auto pageOf = [&](const char* link) {
        for (const QPointer<FakeBrowser>& page : cycleBrowser.hiddenPages)
            if (page && page->navigated == QStringList{QLatin1String(link)})
                return page.data();
        return static_cast<FakeBrowser*>(nullptr);
    };
    EXPECT_EQ(cycleBrowser.navigated, QStringList{QStringLiteral("http://127.0.0.1:1/a/1")});
    FakeBrowser* pageA = pageOf("http://127.0.0.1:1/a/2");
    FakeBrowser* pageB = pageOf("http://127.0.0.1:1/b/3");
    ASSERT_TRUE(pageA && pageB);
    EXPECT_EQ(control<QPushButton>("checkLinks")->text(), QStringLiteral("Ellen&őrzés leállítása"));
    EXPECT_NE(QKeySequence::mnemonic(control<QAction>("checkLinksItem")->text()),
              QKeySequence::mnemonic(control<QAction>("removeOfflineItem")->text()));

    Q_EMIT pageA->documentComplete(true);
    Q_EMIT pageA->bodyMarkupRead(pageA->readTickets.back(), true, QStringLiteral("Gone"));
    EXPECT_TRUE(waitFor(
        [&] { return cycleBrowser.hiddenPages.size() == 2 && pageB->navigated.size() == 1; },
        1000));
    const QAbstractItemModel* grid = control<QueueGridView>("Linkek")->model();
    EXPECT_TRUE(waitFor(
        [&] { return grid->index(1, 5).data().toString() == QStringLiteral("nem"); }, 2000));
    EXPECT_TRUE(control<QLabel>("allapot")->text().isEmpty() ||
                !control<QLabel>("allapot")->text().startsWith(QStringLiteral("Linkek")));

    click("Stop"); // the download and the check end
    EXPECT_TRUE(waitFor(
        [&] {
            return control<QPushButton>("checkLinks")->text() ==
                   QStringLiteral("Linkek ellen&őrzése");
        },
        2000));
    EXPECT_EQ(grid->index(2, 5).data().toString(), QString()); // b/3 was not found out
    EXPECT_EQ(control<QLabel>("allapot")->text(),
              QStringLiteral("Linkek ellenőrzése leállítva: 1/3"));

    click("removeOfflineItem");
    EXPECT_EQ(urls(), (std::vector<std::string>{"http://127.0.0.1:1/a/1", "http://127.0.0.1:1/b/3",
                                                "http://127.0.0.1:1/b/4"}));
    ASSERT_EQ(form.log().grid().rowCount(), 2);
    EXPECT_EQ(form.log().grid().cell(1, LogUrl), "http://127.0.0.1:1/a/2");
    EXPECT_EQ(form.log().grid().cell(1, LogStatus), kStatusFailed);
    EXPECT_EQ(form.log().grid().cell(1, LogAttempts),
              "Próbálva:" + std::to_string(control<QSpinBox>("ujra")->value()));
    addLink("http://127.0.0.1:1/a/2"); // queued anew: what was found of it left with it
    EXPECT_EQ(grid->index(3, 5).data().toString(), QString());
}

// The pages rest only once a link check is over too: a run that ended
// while the check went on keeps its page until the check ends.
TEST_F(QueueWindow, TheSessionsPagesRestOnlyOnceTheLinkCheckIsOver) {
    QTcpServer silent; // the check's header request is never answered
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    TForm1& form = openWith(
        {"http://h/link/a", "http://127.0.0.1:" + std::to_string(silent.serverPort()) + "/s.bin"});
    form.findChild<DownloadSession*>()->setPageRestTime(std::chrono::milliseconds(1));
    click("inditas");
    click("checkLinks");
    click("letoltes_utan_stop");
    Q_EMIT fakeBrowser().documentComplete(false); // a's page fails: the run ends
    ASSERT_FALSE(form.downloading());
    auto* rest = form.findChild<QTimer*>(QStringLiteral("pageRest"));
    settle(); // a rest, were one to begin, has begun
    ASSERT_TRUE(waitFor([&] { return !rest->isActive(); }, 2000));
    settle();
    EXPECT_EQ(fakeBrowser().released, 0);

    click("checkLinks"); // the check stops
    EXPECT_TRUE(waitFor([&] { return fakeBrowser().released == 1; }, 2000));
}

// A page, loaded or fetched as text, or a header request that does not
// come in the check's time is unknown, and its host's other links are not
// asked in the same check: unknown too. Requests that hang hold back no
// other host's: a refusing host asked beside four that hang is offline by
// its own answer.
TEST_F(QueueWindow, ARequestThatTimesOutLeavesOnlyItsHostUnknown) {
    QTcpServer silent; // takes connections and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int connections = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { ++connections; });
    const std::string silentBase = "http://127.0.0.1:" + std::to_string(silent.serverPort());
    QString reason;
    HostProfiles known;
    known.add(parseHostProfile(
        QByteArray(
            R"({"name": "A", "links": [":1/a/"], "steps": [{"name": {"selector": "h1"}, "submit": "#b"}]})"),
        &reason));
    // Read by a pattern: their pages are fetched as text.
    for (const char* folder : {"t", "u", "v"})
        known.add(
            parseHostProfile(QStringLiteral(R"({"name": "%2", "links": ["//127\\.0\\.0\\.1:%1/%2/"],
            "steps": [{"name": {"pattern": "<h1>(.*)<"}, "submit": "#b"}]})")
                                 .arg(silent.serverPort())
                                 .arg(QLatin1String(folder))
                                 .toUtf8(),
                             &reason));
    profiles = &known;
    const std::vector<std::string> links{
        "http://127.0.0.1:1/a/1", "http://127.0.0.1:1/a/2",   silentBase + "/t/s.bin",
        silentBase + "/t/t.bin",  silentBase + "/u/s.bin",    silentBase + "/v/s.bin",
        silentBase + "/h.bin",    "http://127.0.0.1:1/a.bin", "http://127.0.0.1:1/b.bin"};
    openWith(links);
    form().findChild<LinkCheckRunner*>()->setPageTimeout(std::chrono::milliseconds(300));
    click("checkLinks");
    FakeBrowser& cycleBrowser = fakeBrowser();
    ASSERT_TRUE(waitFor([&] { return cycleBrowser.hiddenPages.size() == 1; }, 5000));
    QStringList navigated; // the page goes with the check's end
    EXPECT_TRUE(waitFor(
        [&] {
            if (const QPointer<FakeBrowser>& page = cycleBrowser.hiddenPages[0])
                navigated = page->navigated;
            return control<QPushButton>("checkLinks")->text() ==
                   QStringLiteral("Linkek ellen&őrzése");
        },
        5000));
    EXPECT_EQ(navigated, QStringList{QStringLiteral("http://127.0.0.1:1/a/1")});
    const QAbstractItemModel* grid = control<QueueGridView>("Linkek")->model();
    for (int row = 0; row < 9; ++row)
        EXPECT_EQ(grid->index(row, 5).data().toString(),
                  row < 7 ? QStringLiteral("ismeretlen") : QStringLiteral("nem"))
            << links[static_cast<std::size_t>(row)];
    EXPECT_EQ(connections, 4); // not t/t.bin
}

// A hidden page that crashes frees its place for the host's next link at
// once; a stop while a long queue is still being taken in ends the check.
TEST_F(QueueWindow, ALostPageFreesItsPlaceAndAStopEndsALongCheck) {
    QString reason;
    HostProfiles known;
    // On a port nothing listens on: each page is the browser's.
    known.add(parseHostProfile(
        QByteArray(
            R"({"name": "A", "links": [":1/a/"], "steps": [{"name": {"selector": "h1"}, "submit": "#b"}]})"),
        &reason));
    profiles = &known;
    std::vector<std::string> links;
    for (int i = 1; i <= 2001; ++i)
        links.push_back("http://127.0.0.1:1/a/" + std::to_string(i));
    storeQueue(links);
    openWith({});
    const auto checkEnded = [this] {
        return waitFor(
            [&] {
                return control<QPushButton>("checkLinks")->text() ==
                       QStringLiteral("Linkek ellen&őrzése");
            },
            2000);
    };
    click("checkLinksItem");
    FakeBrowser& cycleBrowser = fakeBrowser();
    ASSERT_TRUE(waitFor([&] { return cycleBrowser.hiddenPages.size() == 1; }, 5000));
    Q_EMIT cycleBrowser.hiddenPages[0]->pageLost(true);
    EXPECT_TRUE(waitFor([&] { return cycleBrowser.hiddenPages[0]->navigated.size() == 2; }, 5000));
    EXPECT_EQ(cycleBrowser.hiddenPages[0]->navigated,
              (QStringList{QStringLiteral("http://127.0.0.1:1/a/1"),
                           QStringLiteral("http://127.0.0.1:1/a/2")}));
    click("checkLinksItem");
    EXPECT_TRUE(checkEnded());

    click("checkLinksItem");
    click("checkLinksItem"); // the last link is not taken in yet
    EXPECT_TRUE(checkEnded());
}

} // namespace
} // namespace vardelo
