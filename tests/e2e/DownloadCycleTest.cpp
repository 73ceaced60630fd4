#include "CycleFixture.h"

#include "platform/LazyBrowser.h"
#include "session/DownloadSession.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QWebEngineView>

#include <map>
#include <regex>
#include <vector>

#include <unistd.h>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;
using Mode = HostedFile::Mode;

class CycleAgainstTheHost : public CycleFixture {
  protected:
    // `source` holding `body` made into an archive by `command` (run in a
    // folder of its own), its volumes served by the host: their links.
    Strings hostArchive(const char* source, const std::string& body, const QString& command,
                        const std::vector<const char*>& volumes) {
        QTemporaryDir made;
        QFile file(made.filePath(QLatin1String(source)));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(body.data(), static_cast<qint64>(body.size()));
        file.close();
        const QString line = QStringLiteral("cd '%1' && %2 >/dev/null").arg(made.path(), command);
        EXPECT_EQ(std::system(line.toLocal8Bit().constData()), 0);
        Strings links;
        for (const char* name : volumes) {
            QFile part(made.filePath(QLatin1String(name)));
            EXPECT_TRUE(part.open(QIODevice::ReadOnly)) << name;
            host.addFile(name, CycleFixture::file(part.readAll().toStdString()));
            links.push_back(host.linkFor(name));
        }
        return links;
    }
};

TEST_F(CycleAgainstTheHost, ThreeLinksArriveInOrderByteForByte) {
    const std::string a = bytes(200'000, 'a'), b = bytes(70'000, 'b'), c = bytes(1234, 'c');
    host.addFile("a.bin", file(a, Mode::Length));
    host.addFile("b.bin", file(b, Mode::Chunked));
    host.addFile("c.bin", file(c, Mode::NoLength));
    TForm1& form =
        openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin"), host.linkFor("c.bin")});
    click("inditas");
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Weblap betöltése"));
    ASSERT_TRUE(runsToIdle());

    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("b.bin")), QByteArray::fromStdString(b));
    EXPECT_EQ(downloaded(QStringLiteral("c.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(logColumn(LogUrl),
              (Strings{host.linkFor("a.bin"), host.linkFor("b.bin"), host.linkFor("c.bin")}));
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(3, "Próbálva:1"));
    // Length-less bodies count what arrived.
    EXPECT_EQ(logColumn(LogSize)[1], "0.07 MB");
    EXPECT_TRUE(form.queue().isEmpty());
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("3"));
    EXPECT_EQ(form.statistics().jelenlegi_letoltott_meret, 271'234);
    EXPECT_FALSE(control<QPushButton>("Stop")->isEnabled());
    EXPECT_FALSE(control<QAction>("PM_megallit")->isEnabled());
}

// 4 MiB at 256 KiB/s would take 16 s; the limit is lifted on the way.
TEST_F(CycleAgainstTheHost, TheSpeedLimitPacesARunningTransferAndALiftedLimitCountsAtOnce) {
    storeSetting(QStringLiteral("Sebesseg_korlat"), QStringLiteral("256"));
    const std::string body = bytes(4 * 1024 * 1024, 'l');
    host.addFile("limited.bin", file(body));
    openWithLinks({host.linkFor("limited.bin")});
    EXPECT_EQ(http.receiveLimit(), 256 * 1024);
    click("inditas");
    auto* gauge = control<QProgressBar>("gauge1");
    const auto received = [&] { return gauge->maximum() == 4 * 1024 * 1024 ? gauge->value() : 0; };
    ASSERT_TRUE(waitFor([&] { return received() > 0; }, 30000));
    QElapsedTimer paced;
    paced.start();
    ASSERT_TRUE(waitFor([&] { return received() >= 768 * 1024; }, 10000));
    EXPECT_GT(paced.elapsed(), 1500); // unlimited, it takes milliseconds here
    // The speed beside the gauge is the limited one.
    auto* rate = control<QLabel>("transferRate");
    ASSERT_TRUE(
        waitFor([&] { return rate->text().contains(QStringLiteral(" KiB/s, még ")); }, 5000))
        << rate->text().toStdString();
    EXPECT_LT(rate->text().section(QLatin1Char(' '), 0, 0).toInt(), 400)
        << rate->text().toStdString();
    EXPECT_TRUE(std::regex_match(queueState(1), std::regex("[1-9][0-9]? % [0-9]+ KiB/s")))
        << queueState(1);

    control<QSpinBox>("Sebesseg_korlat")->setValue(0);
    ASSERT_TRUE(runsToIdle(8000)); // the rest at the old limit would take 13 s
    EXPECT_EQ(downloaded(QStringLiteral("limited.bin")), QByteArray::fromStdString(body));
}

TEST_F(CycleAgainstTheHost, TheBrowserStartsAtTheFirstNeedAndSpeaksHungarian) {
    host.addFile("a.bin", file(bytes(100, 'a')));
    TForm1& form = openWithLinks({host.linkFor("a.bin")});
    auto& engine = dynamic_cast<WebEngineBrowser&>(browser());
    // The first activation passes the "Weblap" page; that is no look at it.
    QCoreApplication::processEvents();
    EXPECT_FALSE(engine.started());
    EXPECT_TRUE(form.findChildren<QWebEngineView*>().isEmpty());

    auto* pages = control<QTabWidget>("Lapok");
    pages->setCurrentWidget(control<QWidget>("Weblap"));
    EXPECT_TRUE(waitFor([&] { return engine.started(); }, 5000));
    pages->setCurrentIndex(0);

    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    const auto pageRequest = host.requests().front();
    EXPECT_TRUE(pageRequest.headers.count("accept-language") &&
                pageRequest.headers.at("accept-language").starts_with("hu"));

    // An address nobody answers: the engine's own error page, in Hungarian.
    QString errorPage;
    QObject::connect(&engine, &Browser::bodyMarkupRead, &engine,
                     [&](quint64, bool, const QString& markup) { errorPage = markup; });
    bool loaded = false;
    QObject::connect(&engine, &Browser::documentComplete, &engine, [&](bool) { loaded = true; });
    engine.navigate(QStringLiteral("http://127.0.0.1:1/"));
    ASSERT_TRUE(waitFor([&] { return loaded; }, 20000));
    engine.readBodyMarkup(1);
    ASSERT_TRUE(waitFor([&] { return !errorPage.isEmpty(); }, 20000));
    EXPECT_TRUE(errorPage.contains(QStringLiteral("nem érhető el"))) << errorPage.toStdString();
}

// The engine's processes below this one, read from /proc: its pages'
// (started from the program, or forked from a zygote, whose command line
// they keep) and the helpers beside them.
struct EngineProcesses {
    int pages = 0;
    int helpers = 0;
};

EngineProcesses engineProcesses() {
    std::map<qint64, std::vector<qint64>> children;
    std::map<qint64, QByteArray> commandLine;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
        if (!stat.open(QIODevice::ReadOnly) || !cmdline.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        if (fields.size() < 3)
            continue;
        children[fields[2].toLongLong()].push_back(entry.toLongLong());
        commandLine[entry.toLongLong()] = cmdline.readAll();
    }
    const auto isEngine = [&](qint64 pid) {
        return commandLine[pid].contains("QtWebEngineProcess");
    };
    EngineProcesses found;
    for (const qint64 child : children[::getpid()]) {
        if (!isEngine(child))
            continue;
        if (commandLine[child].contains("--type=renderer"))
            ++found.pages;
        else
            ++found.helpers;
        for (const qint64 fork : children[child])
            found.pages += isEngine(fork) ? 1 : 0;
    }
    return found;
}

// Once no link has run for the rest time, the pages go, a hidden one too,
// and the engine's page processes end; the next Start opens a page again,
// shown on the "Weblap" page.
TEST_F(CycleAgainstTheHost, PagesAtRestAreLetGoAndTheNextStartStillDownloads) {
    storeSetting(QStringLiteral("Egyszerre"), QStringLiteral("2"));
    TestHost second;
    second.setWaitSeconds(0);
    const std::string a = bytes(20'000, 'a'), b = bytes(30'000, 'b'), c = bytes(40'000, 'c');
    host.addFile("a.bin", file(a));
    second.addFile("b.bin", file(b));
    host.addFile("c.bin", file(c));
    TForm1& form = openWithLinks({host.linkFor("a.bin"), second.linkFor("b.bin")});
    form.findChild<DownloadSession*>()->setPageRestTime(std::chrono::milliseconds(200));
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_TRUE(transfersEnded());
    const auto pages = form.findChildren<WebEngineBrowser*>(); // the hidden ones
    ASSERT_EQ(pages.size(), 1);
    ASSERT_TRUE(waitFor(
        [&] {
            return !dynamic_cast<WebEngineBrowser&>(browser()).hasPage() && !pages[0]->hasPage();
        },
        10000));
    // Without a sandbox nothing of the engine stays beside the program: no
    // zygote waits to fork the next page.
    EXPECT_TRUE(waitFor([] { return engineProcesses().pages == 0; }, 20000))
        << engineProcesses().pages;
    EXPECT_EQ(engineProcesses().helpers, 0);

    addLink(host.linkFor("c.bin"));
    control<QTabWidget>("Lapok")->setCurrentWidget(control<QWidget>("Weblap"));
    click("inditas");
    QWidget* shown = control<QWidget>("lap");
    EXPECT_TRUE(waitFor(
        [&] {
            const auto* view = shown->findChild<QWebEngineView*>();
            return view && view->isVisible();
        },
        10000));
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("b.bin")), QByteArray::fromStdString(b));
    EXPECT_EQ(downloaded(QStringLiteral("c.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
}

// The engine as the program has it: a module the light browser makes at
// its first need.
class PageInTheWindow : public CycleFixture {
  protected:
    std::unique_ptr<Browser> makeBrowser() override {
        return std::make_unique<LazyBrowser>(
            [](QObject* parent, QString*) -> Browser* { return new WebEngineBrowser(parent); });
    }
};

// Esc and F5 are the window's, wherever the keyboard is, the page included;
// a page loaded for the cycle leaves the focus where the user has it.
TEST_F(PageInTheWindow, EscAndF5ReachTheCycleWhereverTheFocusIsThePageIncluded) {
    host.setWaitSeconds(30);
    host.addFile("a.bin", file(bytes(100, 'a')));
    TForm1& form = openWithLinks({host.linkFor("a.bin")});
    QApplication::setActiveWindow(&form);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    const auto counting = [&] {
        return waitFor(
            [&] {
                return control<QLabel>("allapot")->text().endsWith(
                    QStringLiteral("indul a letöltés"));
            },
            15000);
    };
    const auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    auto* pages = control<QTabWidget>("Lapok");
    QWidget* page = control<QWidget>("lap");

    control<QWidget>("Link_hozza")->setFocus();
    press(Qt::Key_F5);
    ASSERT_TRUE(counting());
    EXPECT_TRUE(std::regex_match(queueState(1), std::regex("Várakozás 0:[0-3][0-9]")))
        << queueState(1);
    EXPECT_EQ(QApplication::focusWidget(), control<QWidget>("Link_hozza"));
    press(Qt::Key_Escape);
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());

    pages->setCurrentWidget(control<QWidget>("Weblap"));
    form.findChild<QWebEngineView*>()->setFocus();
    ASSERT_TRUE(waitFor([&] { return page->isAncestorOf(QApplication::focusWidget()); }, 5000));
    press(Qt::Key_F5);
    ASSERT_TRUE(counting());
    EXPECT_TRUE(page->isAncestorOf(QApplication::focusWidget()));
    press(Qt::Key_Escape);
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_FALSE(control<TTimer>("Timer3")->enabled());
    settle();
    EXPECT_TRUE(host.fileRequests().empty());
}

// The page's right-click menu speaks Hungarian and offers copying only; a
// screen reader finds a name for everything it stops at on the page.
TEST_F(PageInTheWindow, ThePagesMenuAndEveryStopInItHaveHungarianNames) {
    TForm1& form = openWithLinks({});
    control<QTabWidget>("Lapok")->setCurrentWidget(control<QWidget>("Weblap"));
    QWebEngineView* view = nullptr;
    ASSERT_TRUE(
        waitFor([&] { return (view = form.findChild<QWebEngineView*>()) != nullptr; }, 15000));
    bool loaded = false;
    QObject::connect(&browser(), &Browser::documentComplete, &form, [&](bool) { loaded = true; });
    browser().navigate(QString::fromStdString(host.linkFor("a.bin")));
    ASSERT_TRUE(waitFor([&] { return loaded; }, 15000));

    QStringList unnamed;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
        if (node->state().focusable && node->text(QAccessible::Name).isEmpty())
            unnamed << QString::fromLatin1(
                           node->object() ? node->object()->metaObject()->className() : "?") +
                           QLatin1Char(':') + QString::number(int(node->role()), 16);
        for (int i = 0; i < node->childCount(); ++i)
            walk(node->child(i));
    };
    walk(QAccessible::queryAccessibleInterface(control<QWidget>("lap")));
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char(' ')).toStdString();

    QTest::mouseClick(view->focusProxy(), Qt::RightButton, {}, QPoint(40, 40));
    QMenu* menu = nullptr;
    ASSERT_TRUE(waitFor(
        [&] { return (menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) != nullptr; },
        15000));
    QStringList items;
    for (QAction* action : menu->actions())
        items << action->text();
    menu->close();
    EXPECT_EQ(items,
              (QStringList{QStringLiteral("Másolás"), QStringLiteral("Az összes kijelölése")}));
}

TEST_F(CycleAgainstTheHost, TransferRequestsCarryTheDesignedHeadersCookiesAndHead) {
    host.addFile("a.bin", file(bytes(1000, 'a')));
    host.addFile("b.bin", file(bytes(1000, 'b')));
    openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_TRUE(waitFor([this] { return host.fileRequests().size() == 4; }, 5000));

    const auto requests = host.fileRequests();
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[1].method, "HEAD");
    EXPECT_EQ(requests[1].path, "/files/a.bin");
    EXPECT_EQ(requests[1].headers.at("content-type"), "text/html");
    const auto& first = requests[0].headers;
    EXPECT_EQ(first.at("user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
    EXPECT_EQ(first.at("accept"), "text/html, */*");
    EXPECT_EQ(first.at("content-type"), "text/html");
    EXPECT_EQ(first.count("content-length"), 0u);
    EXPECT_EQ(first.count("authorization"), 0u); // before the run's first body
    EXPECT_EQ(first.count("cookie"), 0u);
    const auto& later = requests[2].headers;
    EXPECT_EQ(later.at("authorization"), "Basic Og==");
    EXPECT_EQ(later.at("content-type"), "text/html");
    EXPECT_EQ(later.count("cookie"), 1u); // the client's own cookie store
}

TEST_F(CycleAgainstTheHost, DeadLinkIsRequeuedThenGivenUp) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("2"));
    host.addFile("good.bin", file(bytes(5000, 'g')));
    TForm1& form = openWithLinks({host.deadLinkFor("gone.rar"), host.linkFor("good.bin")});
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return form.queue().attempts(2) == "1"; }, 15000));
    EXPECT_TRUE(form.log().isEmpty()); // re-queued, not logged
    ASSERT_TRUE(runsToIdle());

    EXPECT_EQ(logColumn(LogUrl), (Strings{host.linkFor("good.bin"), host.deadLinkFor("gone.rar")}));
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Sikeres letöltés", "Hibás link."}));
    EXPECT_EQ(logColumn(LogSize)[1], "Nem meghatározható.");
    EXPECT_EQ(logColumn(LogAttempts)[1], "Próbálva:2");
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("1"));
    EXPECT_EQ(control<QLabel>("okdb")->text(), QStringLiteral("1"));
    EXPECT_TRUE(form.queue().isEmpty());
}

// An archive in volumes, each a link: the parts download into their
// package's folder and are unpacked when the last arrives. The last part
// given up keeps its package waiting, through a restart, until it comes:
// the parts before it are not taken for the whole archive.
TEST_F(CycleAgainstTheHost, AnArchiveInVolumesIsUnpackedWhenItsLastPartArrives) {
    const std::string film = bytes(250'000, 'f');
    const Strings links =
        hostArchive("film.mkv", film, QStringLiteral("7z a -mx=0 -v100k film.7z film.mkv"),
                    {"film.7z.001", "film.7z.002", "film.7z.003"});
    const auto served = [&](int n) {
        return downloaded(QStringLiteral("film/film.7z.00%1").arg(n));
    };
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    const std::string dead = host.deadLinkFor("film.7z.003");
    openWithLinks({links[0], links[1], dead});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    settle();
    EXPECT_EQ(logColumn(LogStatus),
              (Strings{"Sikeres letöltés", "Sikeres letöltés", "Hibás link."}));
    EXPECT_EQ(served(1).size(), 102'400);
    EXPECT_FALSE(QFile::exists(targetFolder() + QStringLiteral("/film/film.mkv")));
    const auto waitsFor = [this](const std::string& link) {
        return form().findChild<DownloadSession*>()->packageStateOf(link);
    };
    EXPECT_EQ(waitsFor(dead), QStringLiteral("Hiányzó rész: film.7z.003"));

    ASSERT_TRUE(form().close());
    open(); // the package waits through a restart
    EXPECT_EQ(waitsFor(links[0]), QStringLiteral("Hiányzó rész: film.7z.003"));
    // Whole, the parts go when asked to, and the user's program is handed
    // the folder and the name as they are, no shell between.
    control<QCheckBox>("reszek_torlese")->setChecked(true);
    QTemporaryDir scripts;
    const QString told = scripts.filePath(QStringLiteral("told.txt"));
    const QString script = scripts.filePath(QStringLiteral("after $(touch x).sh"));
    {
        QFile file(script);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            // Written whole, then named: the test reads it once it is there.
            QStringLiteral(
                "#!/bin/sh\nprintf '%s|%s' \"$1\" \"$2\" > '%1.part' && mv '%1.part' '%1'\n")
                .arg(told)
                .toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    control<QLineEdit>("futtatas_csomag_utan")->setText(script);
    addLink(links[2]);
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_TRUE(waitFor([&] { return logColumn(LogStatus).size() == 5; }, 20000));
    EXPECT_EQ(logColumn(LogStatus).back(), "Kicsomagolva: 1 fájl");
    EXPECT_EQ(logColumn(LogUrl).back(), "film");
    EXPECT_EQ(downloaded(QStringLiteral("film/film.mkv")), QByteArray::fromStdString(film));
    for (int n = 1; n <= 3; ++n)
        EXPECT_FALSE(QFile::exists(targetFolder() + QStringLiteral("/film/film.7z.00%1").arg(n)));
    ASSERT_TRUE(waitFor([&] { return QFile::exists(told); }, 10000));
    QFile answer(told);
    ASSERT_TRUE(answer.open(QIODevice::ReadOnly));
    EXPECT_EQ(answer.readAll(), (targetFolder() + QStringLiteral("/film|film")).toUtf8());
    EXPECT_FALSE(QFile::exists(scripts.filePath(QStringLiteral("x"))));
}

// An AES zip in volumes: tried with the settings page's list first; none
// fitting, the user is asked, and the answer unpacks it. The list is kept
// for this user alone.
TEST_F(CycleAgainstTheHost, AnArchiveThatNeedsAPasswordTriesTheListThenAsks) {
    const std::string photo = bytes(150'000, 'k');
    const Strings links =
        hostArchive("kep.jpg", photo,
                    QStringLiteral("7z a -tzip -mx=0 -mem=AES256 -ptitok -v100k kepek.zip kep.jpg"),
                    {"kepek.zip.001", "kepek.zip.002"});
    openWithLinks(links);
    control<QPlainTextEdit>("jelszavak")->setPlainText(QStringLiteral("alma\nkorte\n"));
    dialogs.passwordAnswers.push_back(QStringLiteral("titok"));
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_TRUE(waitFor([&] { return logColumn(LogStatus).size() == 3; }, 20000));
    EXPECT_EQ(dialogs.passwordPrompts, QStringList{QStringLiteral("A csomag jelszót kér: kepek")});
    EXPECT_EQ(logColumn(LogStatus).back(), "Kicsomagolva: 1 fájl");
    EXPECT_EQ(downloaded(QStringLiteral("kepek/kep.jpg")), QByteArray::fromStdString(photo));
    EXPECT_TRUE(QFile::exists(targetFolder() + QStringLiteral("/kepek/kepek.zip.001"))); // kept
    const QString list =
        QFileInfo(settingsFile()).dir().filePath(QStringLiteral("Vardelo.passwords"));
    EXPECT_EQ(QFile(list).permissions() & (QFile::ReadGroup | QFile::ReadOther),
              QFile::Permissions());
    ASSERT_TRUE(form().close());
    open(); // the list comes back, and a password in it needs no question
    EXPECT_EQ(control<QPlainTextEdit>("jelszavak")->toPlainText(), QStringLiteral("alma\nkorte\n"));
    control<QPlainTextEdit>("jelszavak")->appendPlainText(QStringLiteral("titok"));
    for (const std::string& link : links)
        addLink(link);
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_TRUE(waitFor([&] { return logColumn(LogStatus).size() == 6; }, 20000))
        << testing::PrintToString(logColumn(LogStatus))
        << testing::PrintToString(logColumn(LogUrl));
    EXPECT_EQ(logColumn(LogStatus).back(), "Kicsomagolva: 1 fájl");
    EXPECT_EQ(dialogs.passwordPrompts.size(), 1);
    EXPECT_EQ(downloaded(QStringLiteral("kepek/kep (1).jpg")), QByteArray::fromStdString(photo));
}

TEST_F(CycleAgainstTheHost, BusyWaitPageIsLoggedWithItsSuffix) {
    openWithLinks({host.busyLinkFor("x.avi")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:5 (Másik rapidos szál futott.)"});
}

TEST_F(CycleAgainstTheHost, StopDuringTheCountdownStartsNoTransfer) {
    host.setWaitSeconds(30);
    host.addFile("a.bin", file(bytes(100, 'a')));
    TForm1& form = openWithLinks({host.linkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(waitFor(
        [&] {
            return control<QLabel>("allapot")->text() ==
                   QStringLiteral("29 mp múlva indul a letöltés");
        },
        15000));
    EXPECT_EQ(control<QProgressBar>("gauge1")->maximum(), 31);
    EXPECT_EQ(control<TTimer>("Timer3")->interval(), 31000);
    control<QPushButton>("Stop")->click();
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
    EXPECT_EQ(control<QProgressBar>("gauge1")->value(), 0);
    EXPECT_FALSE(control<TTimer>("Timer3")->enabled());
    EXPECT_FALSE(control<TTimer>("Timer4")->enabled());
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    settle();
    EXPECT_TRUE(host.fileRequests().empty());
    EXPECT_EQ(form.queue().url(1), host.linkFor("a.bin"));
}

TEST_F(CycleAgainstTheHost, StopDuringTheDeadLinkWaitStartsNothing) {
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("5"));
    TForm1& form = openWithLinks({host.deadLinkFor("a"), host.deadLinkFor("b")});
    click("inditas");
    ASSERT_TRUE(waitFor(
        [&] {
            return control<QLabel>("allapot")->text().startsWith(
                QStringLiteral("Elhalt link utáni várakozás, még "));
        },
        15000));
    EXPECT_TRUE(control<QLabel>("allapot")->text().endsWith(QStringLiteral(" másodperc")));
    control<QAction>("PM_megallit")->trigger();
    ASSERT_TRUE(waitFor([&] { return !control<TTimer>("elhalt_kijelzo")->enabled(); }, 5000));
    settle();
    EXPECT_FALSE(form.downloading());
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
    EXPECT_EQ(form.queue().url(1), host.deadLinkFor("b"));
}

TEST_F(CycleAgainstTheHost, StopDuringATransferKeepsTheHeadAndLogsNothing) {
    HostedFile slow = file(bytes(4'000'000, 's'), Mode::Slow);
    slow.pieceBytes = 16 * 1024;
    slow.pieceDelayMs = 50;
    host.addFile("slow.bin", slow);
    TForm1& form = openWithLinks({host.linkFor("slow.bin")});
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return !control<QLabel>("letoltve")->text().isEmpty(); }, 15000));
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Letöltés"));
    EXPECT_FALSE(control<QPushButton>("Stop")->isEnabled());
    EXPECT_TRUE(control<QAction>("PM_megallit")->isEnabled());
    EXPECT_TRUE(control<QLabel>("letoltve")->text().endsWith(QStringLiteral(" / 3.81 MB")));

    control<QAction>("PM_megallit")->trigger();
    EXPECT_EQ(control<QProgressBar>("gauge1")->value(), 0);
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
    const QString shown = control<QLabel>("letoltve")->text();
    ASSERT_TRUE(transfersEnded());
    EXPECT_EQ(control<QLabel>("letoltve")->text(),
              shown); // nothing of the abandoned transfer arrives
    EXPECT_TRUE(form.log().isEmpty());
    EXPECT_EQ(form.queue().url(1), host.linkFor("slow.bin"));
    EXPECT_EQ(QDir(stateFolder() + QStringLiteral("/Vardelo/partials"))
                  .entryList(QStringList{QStringLiteral("*-slow.bin.part")}, QDir::Files)
                  .size(),
              1);
    EXPECT_TRUE(QDir(targetFolder()).isEmpty());
}

TEST_F(CycleAgainstTheHost, StopAfterTheDownloadStopsAndUnchecksBoth) {
    host.addFile("a.bin", file(bytes(10, 'a')));
    host.addFile("b.bin", file(bytes(10, 'b')));
    TForm1& form = openWithLinks({host.linkFor("a.bin"), host.linkFor("b.bin")});
    click("inditas");
    control<QAction>("PM_letoltes_utan_stop")->trigger();
    EXPECT_TRUE(control<QCheckBox>("letoltes_utan_stop")->isChecked());
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(form.queue().url(1), host.linkFor("b.bin"));
    EXPECT_FALSE(control<QCheckBox>("letoltes_utan_stop")->isChecked());
    EXPECT_FALSE(control<QCheckBox>("letoltes_utan_stop")->isEnabled());
    EXPECT_FALSE(control<QAction>("PM_letoltes_utan_stop")->isChecked());
    EXPECT_FALSE(control<QAction>("PM_letoltes_utan_stop")->isEnabled());
}

TEST_F(CycleAgainstTheHost, FailedTransfersAreFailuresNeverSuccesses) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    HostedFile missing = file("", Mode::Status);
    missing.status = 404;
    HostedFile truncated = file(bytes(50'000, 't'), Mode::Truncated);
    truncated.sendBytes = 20'000;
    HostedFile stalled = file(bytes(50'000, 'z'), Mode::Slow);
    stalled.pieceBytes = 10'000;
    stalled.pieceDelayMs = 4000;
    HostedFile circle = file("", Mode::Redirect);
    circle.redirectTo = "/files/circle.bin";
    HostedFile trickle = file(bytes(5'000, 'd'), Mode::Slow); // 500 bytes a second
    trickle.pieceBytes = 100;
    trickle.pieceDelayMs = 200;
    host.addFile("missing.bin", missing);
    host.addFile("truncated.bin", truncated);
    host.addFile("stalled.bin", stalled);
    host.addFile("circle.bin", circle);
    host.addFile("trickle.bin", trickle);
    http.setStallSeconds(2);
    openWithLinks({host.linkFor("missing.bin"), host.linkFor("truncated.bin"),
                   host.linkFor("stalled.bin"), host.linkFor("circle.bin"),
                   host.linkFor("trickle.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle(40000));
    EXPECT_EQ(logColumn(LogStatus), Strings(5, "Hibás link."));
    EXPECT_EQ(logColumn(LogAttempts), Strings(5, "Próbálva:1 (Letöltési hiba.)"));
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("5"));
    const Strings tips = statusTips();
    ASSERT_EQ(tips.size(), 5u);
    EXPECT_EQ(tips[0], "A szerver válasza: HTTP 404");
    for (const std::string& tip :
         {tips[1], tips[2], tips[3], tips[4]}) // short, stalled, a loop, a trickle
        EXPECT_TRUE(tip.starts_with("Hálózati hiba: a fájl átvitele nem sikerült")) << tip;
    for (const char* name :
         {"/missing.bin", "/truncated.bin", "/stalled.bin", "/circle.bin", "/trickle.bin"})
        EXPECT_FALSE(QFile::exists(targetFolder() + QLatin1String(name))) << name;
}

TEST_F(CycleAgainstTheHost, MissingTargetFolderFailsTheTransfer) {
    storeSetting(QStringLiteral("Mentes_helye"), path(QStringLiteral("nincs/ilyen")));
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(10, 'a')));
    openWithLinks({host.linkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:1 (Letöltési hiba.)"});
    ASSERT_EQ(statusTips().size(), 1u);
    EXPECT_EQ(statusTips()[0], "Helyi fájlhiba: a fájl nem hozható létre vagy nem írható");
    EXPECT_TRUE(host.fileRequests().empty());
}

TEST_F(CycleAgainstTheHost, RedirectsAreFollowedFromTheFirstRequest) {
    HostedFile moved = file("", Mode::Redirect);
    moved.redirectTo = "/files/real.bin";
    host.addFile("moved.bin", moved);
    host.addFile("real.bin", file(bytes(3000, 'r')));
    openWithLinks({host.linkFor("moved.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(downloaded(QStringLiteral("moved.bin")), QByteArray::fromStdString(bytes(3000, 'r')));
}

TEST_F(CycleAgainstTheHost, FileNamesFollowTheAddress) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("data.bin", file(bytes(100, 'd')));
    host.addFile("dir/", file(bytes(100, 'e')));
    QFile old(targetFolder() + QStringLiteral("/data.bin?x=1"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(5000, 'o'));
    old.close();
    openWithLinks({host.linkFor("data.bin?x=1"), host.linkFor("dir/"),
                   host.linkFor("raw:127.0.0.1:" + std::to_string(host.port()))}); // no "/" at all
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Sikeres letöltés", "Hibás link.", "Hibás link."}));
    // An existing file of that name is kept; the new one gets a number.
    EXPECT_EQ(downloaded(QStringLiteral("data.bin?x=1")), QByteArray(5000, 'o'));
    EXPECT_EQ(downloaded(QStringLiteral("data (1).bin?x=1")),
              QByteArray::fromStdString(bytes(100, 'd')));
}

TEST_F(CycleAgainstTheHost, ScriptDialogsOfAPageDoNotHoldTheQueue) {
    host.addFile("a.bin", file(bytes(100, 'a')));
    openWithLinks({host.alertLinkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
}

TEST_F(CycleAgainstTheHost, AWaitPageCannotMakeTheProgramCopyALocalFile) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    openWithLinks({host.linkFor("raw:file:///etc/hostname")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:1 (Letöltési hiba.)"});
    ASSERT_EQ(statusTips().size(), 1u);
    EXPECT_TRUE(statusTips()[0].starts_with("Elutasított cím: ")) << statusTips()[0];
    EXPECT_FALSE(QFile::exists(targetFolder() + QStringLiteral("/hostname")));
}

TEST_F(CycleAgainstTheHost, AllTimeCountersStopAtTheirLimitInsteadOfTurningNegative) {
    const QString nearLimit = QStringLiteral("9223372036854775800");
    const QString limit = QStringLiteral("9223372036854775807");
    storeSetting(QStringLiteral("osszes_letoltott_db"), limit);
    storeSetting(QStringLiteral("osszes_letoltott_meret"), nearLimit);
    host.addFile("a.bin", file(bytes(5000, 'a')));
    TForm1& form = openWithLinks({host.linkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_TRUE(form.close());
    EXPECT_EQ(storedSetting(QStringLiteral("osszes_letoltott_db")).toString(), limit);
    EXPECT_EQ(storedSetting(QStringLiteral("osszes_letoltott_meret")).toString(), limit);
}

TEST_F(CycleAgainstTheHost, SizesShowInMebibytesWithTheLocalesSeparator) {
    QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
    host.addFile("a.bin", file(bytes(1'572'864, 'a')));
    host.addFile("b.bin", file(bytes(1'000'000, 'b')));
    openWithLinks({host.linkFor("a.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(control<QLabel>("jlm")->text(), QStringLiteral("1,5 MB"));
    EXPECT_EQ(logColumn(LogSize), Strings{"1,5 MB"});
    control<QPushButton>("stat_null1")->click();
    addLink(host.linkFor("b.bin"));
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(control<QLabel>("jlm")->text(), QStringLiteral("0,95 MB"));
    QLocale::setDefault(QLocale::c());
}

} // namespace
} // namespace vardelo
