#include "CycleFixture.h"

#include "session/LinkCheckRunner.h"
#include "app/QueueGridView.h"
#include "platform/HostProfileFiles.h"
#include "platform/QtText.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTabWidget>
#include <QTableView>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>
#include <memory>
#include <regex>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;
using Mode = HostedFile::Mode;

// The window with the test tree's profile files, against the test host's
// other page shapes.
class ProfileCycle : public CycleFixture {
  protected:
    void SetUp() override {
        CycleFixture::SetUp();
        loaded_ = loadHostProfiles({QStringLiteral(VARDELO_TEST_PROFILES)});
        ASSERT_TRUE(loaded_.problems.isEmpty())
            << loaded_.problems.join(QLatin1Char('\n')).toStdString();
        ASSERT_EQ(loaded_.profiles.size(), 18u);
        profiles = &loaded_.profiles;
    }

    void writeFile(const QString& name, const QByteArray& text) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    // The host's page in the window, as the user sees it on "Weblap".
    QWebEngineView* shownPage() { return control<QWidget>("lap")->findChild<QWebEngineView*>(); }

    // Waits until the cycle asks the user for a captcha with "Weblap" in front.
    bool captchaAsked(int timeoutMs = 30000) {
        return waitFor(
            [this] {
                return control<QLabel>("allapot")->text() ==
                           QStringLiteral("Captcha: oldd meg a Weblap lapon!") &&
                       control<QTabWidget>("Lapok")->currentWidget() == control<QWidget>("Weblap");
            },
            timeoutMs);
    }

    // Does in the shown page what a person does there: the script clicks
    // and types as the user would.
    void actInPage(const QString& script) {
        QWebEngineView* view = shownPage();
        ASSERT_NE(view, nullptr);
        view->page()->runJavaScript(script);
    }

    // Watches the shown page until the expression reads `expected` there.
    bool pageShows(const QString& expression, const QString& expected, int timeoutMs = 30000) {
        const auto answer = std::make_shared<QString>();
        const auto asking = std::make_shared<bool>(false);
        return waitFor(
            [&] {
                QWebEngineView* view = shownPage();
                if (view && !*asking) {
                    *asking = true;
                    view->page()->runJavaScript(expression, [answer, asking](const QVariant& v) {
                        *answer = v.toString();
                        *asking = false;
                    });
                }
                return *answer == expected;
            },
            timeoutMs);
    }

    // Links in the log so far; an empty log is one blank row.
    std::size_t logged() {
        const Strings statuses = logColumn(LogStatus);
        return static_cast<std::size_t>(std::count_if(statuses.begin(), statuses.end(),
                                                      [](const auto& s) { return !s.empty(); }));
    }

    int postsTo(const std::string& path) const {
        const auto requests = host.requests();
        return static_cast<int>(std::count_if(requests.begin(), requests.end(), [&](const auto& r) {
            return r.method == "POST" && r.path == path;
        }));
    }

    // The cycle's time limit for a captcha, scaled down from its minutes.
    LoadedProfiles loaded_;
};

TEST_F(ProfileCycle, OtherHostsDownloadByteForByteBesideTheDesignedOne) {
    host.setWaitSeconds(1); // the countdown page writes its link in only at the end
    const std::string a = bytes(150'000, 'a'), c = bytes(70'000, 'c'), r = bytes(9'000, 'r'),
                      d = bytes(1'234, 'd'), k = bytes(33'000, 'k');
    host.addFile("a&b.bin", file(a));
    host.addFile("c.bin", file(c, Mode::Chunked));
    host.addFile("r.bin", file(r));
    host.addFile("d.bin", file(d));
    host.addFile("k.bin", file(k));
    host.addFile("late.bin", file(c));
    // The XFileSharing script, in both endings; its files serve a page in
    // place of themselves without their page as Referer, and their address
    // only once. F1 sent before the countdown ends would be refused.
    const std::string x = bytes(120'000, 'x'), xd = bytes(5'000, 'y');
    HostedFile xfs = file(x);
    xfs.referer = host.xfsLinkFor("x.bin");
    HostedFile xfsDirect = file(xd, Mode::Chunked);
    xfsDirect.referer = host.xfsDirectLinkFor("xd.bin");
    host.addFile("x.bin", xfs);
    host.addFile("xd.bin", xfsDirect);
    // Post/redirect/get: F1 is answered with a redirect to the direct-link
    // page, so the address the pressed form led to is a page, not the file.
    const std::string xp = bytes(8'000, 'p');
    host.addFile("xp.bin", file(xp));
    host.setXfsEnding("xp.bin", TestHost::XfsEnding::RedirectToPage);
    // Only the pages name this one; its address is a token.
    const std::string xn = bytes(3'000, 'n');
    host.addFile("xn.bin", file(xn));
    host.setXfsEnding("xn.bin", TestHost::XfsEnding::RedirectNameless);
    // The last form's redirect to a file server of another origin.
    TestHost server;
    const std::string o = bytes(4'000, 'o');
    server.addFile("o.bin", file(o));
    const Strings links{host.actionFormLinkFor("a&b.bin"),
                        host.countdownLinkFor("c.bin"),
                        host.countdownLinkFor("late.bin"),
                        host.redirectFormLinkFor("r.bin"),
                        host.sessionLinkFor("k.bin"),
                        host.linkFor("d.bin"),
                        host.xfsLinkFor("x.bin"),
                        host.xfsDirectLinkFor("xd.bin"),
                        host.xfsLinkFor("xp.bin"),
                        host.xfsLinkFor("xn.bin"),
                        host.redirectFormLinkFor("raw:" + server.base() + "/files/o.bin")};
    TForm1& form = openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(downloaded(QStringLiteral("a&b.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("c.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(downloaded(QStringLiteral("r.bin")), QByteArray::fromStdString(r));
    EXPECT_EQ(downloaded(QStringLiteral("k.bin")), QByteArray::fromStdString(k));
    EXPECT_EQ(downloaded(QStringLiteral("late.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(downloaded(QStringLiteral("d.bin")), QByteArray::fromStdString(d));
    EXPECT_EQ(downloaded(QStringLiteral("x.bin")), QByteArray::fromStdString(x));
    EXPECT_EQ(downloaded(QStringLiteral("xd.bin")), QByteArray::fromStdString(xd));
    EXPECT_EQ(downloaded(QStringLiteral("xp.bin")), QByteArray::fromStdString(xp));
    EXPECT_EQ(downloaded(QStringLiteral("xn.bin")), QByteArray::fromStdString(xn));
    EXPECT_EQ(downloaded(QStringLiteral("o.bin")), QByteArray::fromStdString(o));
    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(11, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(11, "Próbálva:1"));
    // The host sees one request for each file, whichever way it is led to.
    for (const char* address :
         {"/files/a&b\\.bin", "/files/c\\.bin", "/files/late\\.bin", "/files/r\\.bin",
          "/k/file/k\\.bin", "/files/d\\.bin", "/d/\\w+/x\\.bin", "/d/\\w+/xd\\.bin",
          "/d/\\w+/xp\\.bin", "/d/\\w+"})
        EXPECT_EQ(host.getsOf(address), 1) << address;
    // The direct-link page twice: the transfer found a page there, and the
    // browser was sent to it for the next step.
    EXPECT_EQ(host.getsOf("/xp/\\w+"), 2);
    EXPECT_EQ(QDir(targetFolder()).entryList(QDir::Files | QDir::Hidden).size(), 11);
    // Led there by a redirect, the file server of another origin gets only
    // the page's origin as Referer, as from a browser; and a GET.
    const auto served = server.fileRequests();
    ASSERT_EQ(served.size(), 1u);
    EXPECT_EQ(served[0].method, "GET");
    EXPECT_EQ(served[0].headers.at("referer"), host.base() + "/");
    EXPECT_EQ(served[0].headers.count("origin"), 0u);
    // A profile's file is asked for in the browser's session, from the page
    // that led to it; the built-in steps' file as designed.
    for (const RecordedRequest& request : host.requests()) {
        if (request.method != "GET" || request.path.find("file") == std::string::npos)
            continue;
        const auto header = [&](const char* name) {
            const auto it = request.headers.find(name);
            return it == request.headers.end() ? std::string() : it->second;
        };
        if (request.path == "/k/file/k.bin") {
            EXPECT_NE(header("cookie").find("xfss="), std::string::npos);
            EXPECT_NE(header("cookie").find("lang=en"), std::string::npos);
            EXPECT_EQ(header("referer"), host.base() + "/k/wait/k.bin");
            EXPECT_NE(header("user-agent").find("QtWebEngine"), std::string::npos);
        } else if (request.path.find("/xp.bin") != std::string::npos) {
            EXPECT_TRUE(std::regex_match(header("referer"), std::regex(".*/xp/\\w+")))
                << header("referer");
        } else if (request.path == "/files/d.bin") {
            EXPECT_EQ(header("referer"), "");
            EXPECT_EQ(header("cookie").find("lang=en"), std::string::npos);
            EXPECT_EQ(header("user-agent"), "Mozilla/3.0 (compatible; Indy Library)");
        }
    }
    EXPECT_TRUE(form.queue().isEmpty());
    EXPECT_TRUE(dialogs.errors.isEmpty());
}

// A script that answered has no time limit left: the page it read outlives
// the limit through a wait longer than it, with after_wait and with
// address_after_wait. Scaled: a 1.5-s limit for the 15 s, waits of 2 s and 4 s
// for 20 s and 40 s.
TEST_F(ProfileCycle, AnsweredScriptsLeaveThePageAliveThroughWaitsLongerThanTheirLimit) {
    TForm1& form = openWithLinks({});
    dynamic_cast<WebEngineBrowser&>(browser()).setScriptTimeout(std::chrono::milliseconds(1500));
    Strings links;
    for (const int wait : {2, 4}) {
        host.setWaitSeconds(wait);
        const std::string countdown = "c" + std::to_string(wait) + ".bin",
                          afterWait = "r" + std::to_string(wait) + ".bin";
        host.addFile(countdown, file(bytes(3'000, 'c')));
        host.addFile(afterWait, file(bytes(4'000, 'r')));
        for (const std::string& link :
             {host.countdownLinkFor(countdown), host.redirectFormLinkFor(afterWait)}) {
            links.push_back(link);
            addLink(link);
        }
        click("inditas");
        ASSERT_TRUE(runsToIdle(60000));
        EXPECT_EQ(downloaded(QString::fromStdString(countdown)),
                  QByteArray::fromStdString(bytes(3'000, 'c')));
        EXPECT_EQ(downloaded(QString::fromStdString(afterWait)),
                  QByteArray::fromStdString(bytes(4'000, 'r')));
    }
    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(4, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(4, "Próbálva:1"));
    EXPECT_TRUE(form.queue().isEmpty());
}

TEST_F(ProfileCycle, HostilePagesEndInTheDesignedOutcomes) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    // A profile whose form is nowhere on the page, beside the test tree's.
    QString reason;
    auto missingForm = parseHostProfile(R"j({"name": "Missing form", "links": ["/link/nomatch"],
        "form": "form#nowhere[", "address": {"pattern": "action=\"([^\"]*)\""}})j",
                                        &reason);
    ASSERT_TRUE(missingForm) << reason.toStdString();
    loaded_.profiles.add(missingForm);
    // A "file removed" page where the file was, as file hosts send it.
    HostedFile removed = file("<html><body><h2>File was removed</h2></body></html>");
    removed.contentType = "text/html; charset=utf-8";
    host.addFile("removed.bin", removed);
    // The last step's form leads to a page, found by the transfer that sent
    // it or at the address it led to: no download comes.
    host.addFile("page.bin", file("p"));
    host.addFile("prg.bin", file("p"));
    host.setXfsEnding("page.bin", TestHost::XfsEnding::DirectLinkPage);
    host.setXfsEnding("prg.bin", TestHost::XfsEnding::RedirectToPage);
    const Strings links{
        host.deadFormLinkFor("x.bin"),           host.linkFor("nomatch.bin"),
        host.countdownLinkFor("busy.bin"),       host.actionFormLinkFor("javascript-x"),
        host.redirectFormLinkFor("nowhere.bin"), host.offlineLinkFor("x.bin"),
        host.actionFormLinkFor("removed.bin"),   host.xfsLinkFor("gone.bin"),
        host.xfsSecondsLinkFor("page.bin"),      host.xfsSecondsLinkFor("prg.bin")};
    openWithLinks(links);
    cycle().setPageTimeout(std::chrono::milliseconds(3000));
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(10, "Hibás link."));
    const std::string unreadable = "Próbálva:1 (Másik rapidos szál futott.)";
    const std::string transfer = "Próbálva:1 (Letöltési hiba.)";
    EXPECT_EQ(logColumn(LogAttempts),
              (Strings{"Próbálva:1", "Próbálva:1", unreadable, unreadable, transfer, "Próbálva:1",
                       "Próbálva:1", "Próbálva:1", transfer, transfer}));
    const Strings tips = statusTips();
    ASSERT_EQ(tips.size(), 10u);
    // The offline pages came with 404; their dead marker still counts, as it
    // does in a page sent where the file was.
    for (const std::size_t dead : {5u, 6u, 7u})
        EXPECT_EQ(tips[dead], "Weblap hiba: az oldal szerint a fájl nem érhető el") << dead;
    // A web page at once, not a page that timed out waiting for a download.
    for (const std::size_t page : {8u, 9u})
        EXPECT_EQ(tips[page], "A fájl helyett weblap érkezett") << page;
    const auto requests = host.fileRequests(); // nothing fetched for the others
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method + " " + requests[0].path, "GET /files/removed.bin");
    EXPECT_FALSE(QFile::exists(targetFolder() + QStringLiteral("/removed.bin")));
}

// "You have to wait N seconds till next download", on the free form's page
// or sent in place of the file: the link waits that long while the others
// go, and its try there is not counted: with one try allowed, it still
// downloads. Both waiting links are of one host, so the second is passed
// over until the first's wait is over, then asks for its own.
TEST_F(ProfileCycle, AHostAskingToWaitIsTriedAgainAfterThatTimeWhileOthersGo) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    const std::string w = bytes(40'000, 'w'), v = bytes(30'000, 'v'), a = bytes(6'000, 'a'),
                      c = bytes(7'000, 'c');
    host.addFile("w.bin", file(w));
    host.addFile("v.bin", file(v));
    host.addFile("a.bin", file(a));
    host.addFile("c.bin", file(c));
    host.setNextDownloadWait("w.bin", 3, "seconds");
    host.setNextDownloadWait("v.bin", 2, "seconds", true);
    const Strings waiting{host.xfsSecondsLinkFor("w.bin"), host.xfsSecondsLinkFor("v.bin")};
    const Strings others{host.xfsLinkFor("a.bin"), host.countdownLinkFor("c.bin")};
    TForm1& form = openWithLinks({waiting[0], waiting[1], others[0], others[1]});
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), (Strings{others[0], others[1], waiting[0], waiting[1]}));
    EXPECT_EQ(logColumn(LogStatus), Strings(4, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(4, "Próbálva:1"));
    EXPECT_EQ(downloaded(QStringLiteral("w.bin")), QByteArray::fromStdString(w));
    EXPECT_EQ(downloaded(QStringLiteral("v.bin")), QByteArray::fromStdString(v));
    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("c.bin")), QByteArray::fromStdString(c));
    // Its page twice: told to wait, then not before the time was over.
    EXPECT_EQ(host.getsOf("/xs/w\\.bin"), 2);
    EXPECT_EQ(host.getsOf("/d/\\w+/w\\.bin"), 1);
    // Its file's address twice: the wait page in place of the file, then it.
    EXPECT_EQ(host.getsOf("/xs/v\\.bin"), 2);
    EXPECT_EQ(host.getsOf("/d/\\w+/v\\.bin"), 2);
    EXPECT_EQ(QDir(targetFolder()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    EXPECT_TRUE(form.queue().isEmpty());
}

// One link at a time: while a host waits an hour, the other hosts' files
// arrive, and the waiting host is not asked again.
TEST_F(ProfileCycle, OtherHostsFilesArriveWhileOneHostWaitsAnHour) {
    host.addFile("h.bin", file(bytes(1'000, 'h')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    host.addFile("e.bin", file(bytes(3'000, 'e')));
    host.setNextDownloadWait("h.bin", 60, "minutes");
    const std::string waiting = host.xfsLinkFor("h.bin");
    TForm1& form = openWithLinks({waiting, host.linkFor("d.bin"), host.linkFor("e.bin")});
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return logged() == 2; }, 30000));
    ASSERT_TRUE(waitFor(
        [this] {
            return control<QLabel>("allapot")->text().startsWith(
                QStringLiteral("Következő próba: "));
        },
        30000));
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Sikeres letöltés"));
    EXPECT_EQ(downloaded(QStringLiteral("e.bin")), QByteArray::fromStdString(bytes(3'000, 'e')));
    EXPECT_EQ(host.getsOf("/x/h\\.bin"), 1);
    EXPECT_EQ(form.queue().url(1), waiting);
    click("Stop");
}

// "Letöltés után megáll": a host that asks to wait ends the run there; the
// next link is not begun.
TEST_F(ProfileCycle, AHostsWaitEndsTheRunWhenItWasToStopAfterThisLink) {
    host.addFile("h.bin", file(bytes(1'000, 'h')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    host.setNextDownloadWait("h.bin", 60, "minutes");
    TForm1& form = openWithLinks({host.xfsLinkFor("h.bin"), host.linkFor("d.bin")});
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->setChecked(true);
    ASSERT_TRUE(
        waitFor([&] { return host.getsOf("/x/h\\.bin") == 1 && !form.downloading(); }, 30000));
    settle();
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_FALSE(control<QLabel>("allapot")->text().startsWith(QStringLiteral("Következő")));
    EXPECT_EQ(host.getsOf("/files/d\\.bin"), 0);
    EXPECT_TRUE(form.log().isEmpty());
}

// Pages whose script does the work, each walked as a browser's user walks
// it: a click that starts an XHR countdown on the same page, waits written
// "00:04" and "0 min 4 s" (the file refused before they are over), an
// address a script writes over "javascript:void(0)" a second after load, a
// form answered with the file itself by GET and by POST, url-encoded and
// multipart (its token good once; the POST's fields, cookie and Referer
// checked), a POST form answered with it four seconds late before a page
// step, and presigned addresses that refuse an Authorization header, from
// the run's second file on. Each file is asked for once (but the late
// POST's), a profile's without the designed request's Authorization and
// Content-Type; the designed link after them keeps them.
TEST_F(ProfileCycle, ScriptedPagesDownloadWithOneRequestEachAsInABrowser) {
    host.setWaitSeconds(4);
    const std::map<std::string, std::string> bodies{
        {"s.bin", bytes(9'000, 's')},  {"w1.bin", bytes(8'000, '1')}, {"w2.bin", bytes(7'000, '2')},
        {"v.bin", bytes(6'000, 'v')},  {"g.bin", bytes(5'000, 'g')},  {"s1.bin", bytes(4'000, 'x')},
        {"s2.bin", bytes(3'000, 'y')}, {"d.bin", bytes(2'000, 'd')},  {"gp.bin", bytes(1'000, 'p')},
        {"mp.bin", bytes(1'100, 'm')}, {"gl.bin", bytes(1'200, 'l')}};
    for (const auto& [name, body] : bodies) {
        HostedFile hosted = file(body);
        hosted.signedAddress = name == "s1.bin" || name == "s2.bin";
        if (name.starts_with('g') || name == "mp.bin")
            hosted.disposition = "attachment; filename=\"" + name + "\"";
        host.addFile(name, hosted);
    }
    const Strings links{host.clickCountdownLinkFor("s.bin"),
                        host.clockWaitLinkFor("w1.bin"),
                        host.wordsWaitLinkFor("w2.bin"),
                        host.placeholderLinkFor("v.bin"),
                        host.getFormLinkFor("g.bin"),
                        host.postFormLinkFor("gp.bin"),
                        host.postFormLinkFor("mp.bin"),
                        host.lateFormLinkFor("gl.bin"),
                        host.placeholderLinkFor("s1.bin"),
                        host.placeholderLinkFor("s2.bin"),
                        host.linkFor("d.bin")};
    TForm1& form = openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle(90000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(11, "Sikeres letöltés"))
        << ::testing::PrintToString(statusTips());
    EXPECT_EQ(logColumn(LogAttempts), Strings(11, "Próbálva:1"));
    for (const auto& [name, body] : bodies)
        EXPECT_EQ(downloaded(toQt(name)), QByteArray::fromStdString(body)) << name;
    EXPECT_EQ(postsTo("/s/start/s.bin"), 1);
    // The last step's form is sent once, by the transfer, as the page
    // would have sent it.
    Strings formRequests;
    for (const RecordedRequest& request : host.requests()) {
        if (request.path.rfind("/g/file/", 0) != 0)
            continue;
        formRequests.push_back(request.method + " " +
                               request.path.substr(0, request.path.find('?')));
        if (request.method != "POST")
            continue;
        EXPECT_EQ(request.headers.count("authorization"), 0u) << request.path;
        EXPECT_EQ(request.headers.at("origin"), host.base()) << request.path;
        EXPECT_EQ(request.headers.at("content-type")
                      .rfind(request.path == "/g/file/mp.bin" ? "multipart/form-data; boundary="
                                                              : "application/x-www-form-urlencoded",
                             0),
                  0u)
            << request.headers.at("content-type");
    }
    // After a GET the designed HEAD follows its file; a form's POST is all
    // the host hears of it.
    EXPECT_EQ(formRequests, (Strings{"GET /g/file/g.bin", "HEAD /g/file/g.bin",
                                     "POST /g/file/gp.bin", "POST /g/file/mp.bin"}));
    // A POST before a page step is the browser's: answered late with the
    // file, it is waited for, not taken for a click that led nowhere, and
    // the file is asked for again.
    EXPECT_EQ(postsTo("/gl/file/gl.bin"), 1);
    EXPECT_EQ(host.getsOf("/gl/file/gl\\.bin"), 1);
    for (const char* address :
         {"/files/s\\.bin", "/w/file/\\w+/w1\\.bin", "/w/file/\\w+/w2\\.bin", "/files/v\\.bin",
          "/g/file/g\\.bin\\?t=\\w+", "/files/s1\\.bin", "/files/s2\\.bin", "/files/d\\.bin"})
        EXPECT_EQ(host.getsOf(address), 1) << address;
    for (const RecordedRequest& request : host.requests()) {
        if (request.method != "GET" || request.path.find(".bin") == std::string::npos ||
            request.path.find("/files/d.bin") == 0)
            continue;
        EXPECT_EQ(request.headers.count("authorization"), 0u) << request.path;
        EXPECT_EQ(request.headers.count("content-type"), 0u) << request.path;
    }
    for (const RecordedRequest& request : host.requests()) {
        if (request.path != "/files/d.bin" || request.method != "GET")
            continue;
        EXPECT_EQ(request.headers.at("authorization"), "Basic Og==");
        EXPECT_EQ(request.headers.at("content-type"), "text/html");
    }
    EXPECT_TRUE(form.queue().isEmpty());
}

// "Premium users only" is given up at its first try, though tries are
// left; "temporarily unavailable" is no try: its host waits the time the
// page gives, else ten minutes.
TEST_F(ProfileCycle, PremiumOnlyIsGivenUpAtOnceAndAHostDownForNowWaitsWithoutATry) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("3"));
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("0"));
    const std::string soon = bytes(5'000, 's');
    host.addFile("soon.bin", file(soon));
    host.addFile("p.bin", file(bytes(100, 'p')));
    host.addFile("later.bin", file(bytes(100, 'l')));
    const Strings links{host.maintenanceLinkFor("soon.bin"), host.premiumLinkFor("p.bin")};
    TForm1& form = openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), (Strings{links[1], links[0]}));
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Sikeres letöltés"}));
    EXPECT_EQ(logColumn(LogAttempts), (Strings{"Próbálva:1", "Próbálva:1"}));
    ASSERT_FALSE(statusTips().empty());
    EXPECT_EQ(statusTips()[0], "Csak prémium felhasználóknak");
    EXPECT_EQ(downloaded(QStringLiteral("soon.bin")), QByteArray::fromStdString(soon));
    EXPECT_EQ(host.getsOf("/p/p\\.bin"), 1);
    EXPECT_EQ(host.getsOf("/t/soon\\.bin"), 2);
    EXPECT_EQ(host.getsOf("/files/p\\.bin"), 0);

    const auto inTenMinutes = [] {
        return QDateTime::currentDateTime().addSecs(10 * 60 + 1).toString(QStringLiteral("HH:mm"));
    };
    const QString earliest = inTenMinutes();
    addLink(host.maintenanceLinkFor("later.bin"));
    click("inditas");
    const QString next = QStringLiteral("Következő próba: ");
    const auto status = [this] { return control<QLabel>("allapot")->text(); };
    ASSERT_TRUE(waitFor([&] { return status().startsWith(next); }, 30000));
    const QString told = status().mid(next.size());
    EXPECT_TRUE(told == earliest || told == inTenMinutes()) << told.toStdString();
    EXPECT_EQ(host.getsOf("/t/later\\.bin"), 1);
    EXPECT_EQ(form.queue().attempts(1), "0"); // not a try
    click("Stop");
}

// The page's own countdown runs at a front tab's pace once the page has
// been looked at and the window put away: its ten one-second ticks take
// under eleven seconds.
TEST_F(ProfileCycle, APagesTimersRunAtFullSpeedInAHiddenWindow) {
    host.setWaitSeconds(10);
    const std::string t = bytes(2'000, 't');
    host.addFile("tick.bin", file(t));
    TForm1& form = openWithLinks({host.countdownLinkFor("tick.bin")});
    auto* pages = control<QTabWidget>("Lapok");
    pages->setCurrentWidget(control<QWidget>("Weblap"));
    ASSERT_TRUE(waitFor([this] { return shownPage() != nullptr; }, 30000));
    pages->setCurrentWidget(control<QWidget>("letolt"));
    form.hide(); // as to the tray
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    const int ticked = host.tickedMilliseconds("tick.bin");
    EXPECT_GE(ticked, 9'000);
    EXPECT_LT(ticked, 11'000);
    EXPECT_EQ(downloaded(QStringLiteral("tick.bin")), QByteArray::fromStdString(t));
}

// A window closed while a host waits, opened again on the same records,
// passes that host's link over until the time it was told: the host is not
// asked again, and the other links go meanwhile.
TEST_F(ProfileCycle, AHostsWaitOutlivesARestart) {
    host.addFile("h.bin", file(bytes(1'000, 'h')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    host.setNextDownloadWait("h.bin", 30, "minutes");
    const std::string waiting = host.xfsLinkFor("h.bin");
    TForm1& form = openWithLinks({waiting});
    click("inditas");
    const auto status = [this] { return control<QLabel>("allapot")->text(); };
    const QString next = QStringLiteral("Következő próba: ");
    ASSERT_TRUE(waitFor([&] { return status().startsWith(next); }, 30000));
    const QString told = status();
    ASSERT_EQ(host.getsOf("/x/h\\.bin"), 1);
    EXPECT_EQ(queueState(1), "Vár " + toStd(told.mid(next.size())) + "-ig");
    ASSERT_TRUE(form.close());

    TForm1& again = open();
    addLink(host.linkFor("d.bin"));
    again.show();
    click("inditas");
    ASSERT_TRUE(
        waitFor([&] { return logColumn(LogStatus).size() == 1 && status() == told; }, 30000));
    settle();
    EXPECT_EQ(logColumn(LogUrl), Strings{host.linkFor("d.bin")});
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(host.getsOf("/x/h\\.bin"), 1);
    EXPECT_EQ(again.queue().url(1), waiting);
    click("Stop");
}

// Takes connections, sends its status line at once and its headers a byte
// a second.
class DrippingServer : public QTcpServer {
  public:
    DrippingServer() {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                socket->write("HTTP/1.1 200 OK\r\n");
                auto* drip = new QTimer(socket);
                connect(drip, &QTimer::timeout, socket, [socket, sent = 0]() mutable {
                    static constexpr char kRest[] =
                        "Content-Type: application/zip\r\nContent-Length: 5\r\n\r\nhello";
                    if (sent < static_cast<int>(sizeof kRest) - 1)
                        socket->write(kRest + sent++, 1);
                });
                drip->start(1000);
            }
        });
    }
};

// The link check reads first pages as sent, or where that lacks what a
// selector reads loads them in pages of its own, and asks other links for
// their headers; nothing is submitted, and its results outlive a
// restart. The offline rows go to the log as dead links; a link only a
// host's silence speaks of is unknown, and that host is not asked again in
// the same check. A page for premium users only is offline and one of a
// host down for now unknown, each saying why, read as text or in the
// browser, whatever the page's status; a page that fails to load with none
// of them is unknown.
TEST_F(ProfileCycle, TheLinkCheckReadsFirstPagesAndHeadersAndTheOfflineRowsGoToTheLog) {
    QString reason;
    // Profiles on servers that take connections and never answer: one read
    // by a selector, one by a pattern, each fetched as text first.
    QTcpServer hung, hungText;
    for (const auto& [server, reader] :
         {std::pair{&hung, "selector\": \"h1"}, std::pair{&hungText, "pattern\": \"<h1>(.*)<"}}) {
        ASSERT_TRUE(server->listen(QHostAddress::LocalHost));
        auto stuck = parseHostProfile(QStringLiteral(R"j({"name": "Stuck %1",
            "links": ["^http://127\\.0\\.0\\.1:%1/"],
            "steps": [{"name": {"%2"}, "submit": "#go"}]})j")
                                          .arg(server->serverPort())
                                          .arg(QLatin1String(reader))
                                          .toUtf8(),
                                      &reason);
        ASSERT_TRUE(stuck) << reason.toStdString();
        loaded_.profiles.add(stuck);
    }
    auto sum = parseHostProfile(R"j({"name": "Checksum host",
        "links": ["^http://127\\.0\\.0\\.1:\\d+/sum/"],
        "steps": [{"name": {"pattern": "<h1>([^<]*)<"}, "size": {"between": ["id=\"size\">", "<"]},
                   "hash": {"selector": "#sum"}, "address": {"selector": "#go", "attribute": "href"}}]})j",
                                &reason);
    ASSERT_TRUE(sum) << reason.toStdString();
    loaded_.profiles.add(sum);
    // The premium and maintenance pages behind a redirect, read by a
    // selector: the premium page by its text, the maintenance page, a 503,
    // in the browser.
    auto redirected = parseHostProfile(R"j({"name": "Redirected premium host",
        "links": ["^http://127\\.0\\.0\\.1:\\d+/away\\?"],
        "premium_only": "for Premium Users only", "temp_offline": "temporarily unavailable",
        "steps": [{"name": {"selector": "h2"}, "address": {"selector": "#go", "attribute": "href"}}]})j",
                                       &reason);
    ASSERT_TRUE(redirected) << reason.toStdString();
    loaded_.profiles.add(redirected);
    const std::string sha256(64, 'c');
    host.showOnPage("a.bin", "1,5 MB", sha256);
    host.showOnPageByScript("b.bin", "1,5 MB", std::string(64, 'd'));
    HostedFile named = file(bytes(3'000, 'f'));
    named.disposition = "attachment; filename=\"F.bin\"";
    host.addFile("f.bin", named);
    QTcpServer silent; // takes connections and never answers
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    int silentConnections = 0;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { ++silentConnections; });
    DrippingServer dripping;
    ASSERT_TRUE(dripping.listen(QHostAddress::LocalHost));
    const std::string silentBase = "http://127.0.0.1:" + std::to_string(silent.serverPort());
    const Strings links{host.checksumLinkFor("a.bin"),
                        host.deadFormLinkFor("x.bin"),
                        host.offlineLinkFor("y.bin"),
                        host.base() + "/files/f.bin",
                        "http://127.0.0.1:1/z.bin",
                        silentBase + "/s.bin",
                        host.base() + "/nohead/f.bin",
                        silentBase + "/t.bin",
                        "http://127.0.0.1:" + std::to_string(dripping.serverPort()) + "/d.bin",
                        "http://127.0.0.1:" + std::to_string(hung.serverPort()) + "/p.bin",
                        "http://127.0.0.1:" + std::to_string(hungText.serverPort()) + "/q.bin",
                        host.premiumLinkFor("p.bin"),
                        host.maintenanceLinkFor("m.bin"),
                        host.redirectAddress(host.premiumLinkFor("pb.bin")),
                        host.redirectAddress(host.maintenanceLinkFor("mb.bin")),
                        host.redirectAddress(host.base() + "/none/n.bin"),
                        host.checksumLinkFor("b.bin")};
    openWithLinks(links);
    // The client gives up on a silent server before the check's own time
    // runs out: its silence is still no proof of a dead link.
    http.setStallSeconds(1);
    form().findChild<LinkCheckRunner*>()->setPageTimeout(std::chrono::milliseconds(4000));
    click("checkLinks");
    ASSERT_TRUE(waitFor(
        [this] {
            return control<QPushButton>("checkLinks")->text() ==
                   QStringLiteral("Linkek ellen&őrzése");
        },
        30000));
    const auto rowText = [this](int row) {
        const QAbstractItemModel* shown = control<QTableView>("Linkek")->model();
        QStringList cells;
        for (int column = 3; column < 6; ++column)
            cells << shown->index(row, column).data().toString();
        return cells.join(u'|').toStdString();
    };
    const Strings expected{"a.bin|1.5 MiB|igen",
                           "||nem",
                           "||nem",
                           "F.bin|2.9 KiB|igen",
                           "||nem",
                           "||ismeretlen",
                           "F.bin|2.9 KiB|igen",
                           "||ismeretlen",
                           "||ismeretlen",
                           "||ismeretlen",
                           "||ismeretlen",
                           "||nem",
                           "||ismeretlen",
                           "||nem",
                           "||ismeretlen",
                           "||ismeretlen",
                           "b.bin|1.5 MiB|igen"};
    const QAbstractItemModel* grid = control<QTableView>("Linkek")->model();
    EXPECT_EQ(silentConnections, 1);
    for (int row = 0; row < 17; ++row)
        EXPECT_EQ(rowText(row), expected[static_cast<std::size_t>(row)]) << links[row];
    for (int row = 11; row < 15; ++row)
        EXPECT_EQ(grid->index(row, 5).data(Qt::ToolTipRole).toString().section(u'\n', 1, 1),
                  row % 2 ? QStringLiteral("Csak prémium felhasználóknak")
                          : QStringLiteral("Átmenetileg nem elérhető"))
            << links[row];
    EXPECT_EQ(grid->index(0, 3).data(Qt::ToolTipRole).toString().toStdString(),
              "SHA-256: " + sha256);
    EXPECT_TRUE(grid->index(5, 5)
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("ismeretlen\nEllenőrizve: ")));
    EXPECT_TRUE(grid->index(1, 1).data(Qt::ForegroundRole).isValid()); // offline: greyed
    EXPECT_FALSE(grid->index(0, 1).data(Qt::ForegroundRole).isValid());
    EXPECT_EQ(postsTo("/b/go/x.bin"), 0); // no form submitted
    EXPECT_EQ(host.getsOf("/files/a\\.bin"), 0);
    // Headers only: a HEAD, and a GET only where the server refuses HEAD.
    Strings asked;
    for (const auto& request : host.requests())
        if (request.path.find("/f.bin") != std::string::npos)
            asked.push_back(request.method + " " + request.path);
    EXPECT_EQ(asked, (Strings{"HEAD /files/f.bin", "HEAD /nohead/f.bin", "GET /nohead/f.bin"}));
    // A first page is fetched as text, once, its selectors read there; the
    // browser loads it only when the text lacks what a selector reads.
    const auto acceptsOfGets = [this](const std::string& path) {
        Strings accepts;
        for (const auto& request : host.requests())
            if (request.method == "GET" && request.path == path)
                accepts.push_back(request.headers.count("accept") ? request.headers.at("accept")
                                                                  : "");
        return accepts;
    };
    EXPECT_EQ(acceptsOfGets("/b/gone/x.bin"), Strings{"text/html, */*"});
    EXPECT_EQ(acceptsOfGets("/sum/a.bin"), Strings{"text/html, */*"});
    const Strings loaded = acceptsOfGets("/sum/b.bin");
    ASSERT_EQ(loaded.size(), 2u);
    EXPECT_EQ(loaded[0], "text/html, */*");
    EXPECT_NE(loaded[1], "text/html, */*");
    EXPECT_EQ(grid->index(16, 3).data(Qt::ToolTipRole).toString().toStdString(),
              "SHA-256: " + std::string(64, 'd'));

    click("removeOfflineItem");
    EXPECT_EQ(form().queue().rowCount() - 1, 12);
    EXPECT_EQ(logColumn(LogUrl), (Strings{links[1], links[2], links[4], links[11], links[13]}));
    EXPECT_EQ(logColumn(LogStatus), Strings(5, "Hibás link."));
    ASSERT_TRUE(form().close());

    open().show();
    EXPECT_EQ(rowText(0), expected[0]);
    EXPECT_EQ(rowText(1), expected[3]);
}

// The user solves the captcha in the shown page: the checkbox widget's token
// is read by captcha_solved and the step's own submit goes on; the image's
// code is typed and the page's own button pressed, and the walk goes on on
// the page that follows. Each form is posted once, only when solved.
TEST_F(ProfileCycle, ACaptchaSolvedInTheShownPageLetsTheWalkGoOn) {
    const std::string a = bytes(5'000, 'a'), b = bytes(6'000, 'b');
    host.addFile("a.bin", file(a));
    host.addFile("b.bin", file(b));
    const Strings links{host.captchaLinkFor("a.bin"), host.imageCaptchaLinkFor("b.bin")};
    openWithLinks(links);
    click("inditas");

    ASSERT_TRUE(captchaAsked());
    EXPECT_EQ(postsTo("/q/a.bin"), 0);
    actInPage(QStringLiteral("document.getElementById('recaptcha-anchor').click();"));
    ASSERT_TRUE(waitFor([this] { return logged() == 1; }, 30000));
    ASSERT_TRUE(captchaAsked());
    const QString code = toQt(host.imageCodeFor("b.bin"));
    ASSERT_FALSE(code.isEmpty());
    actInPage(QStringLiteral("document.querySelector('input[name=code]').value = '%1';"
                             "document.getElementById('go').click();")
                  .arg(code));
    ASSERT_TRUE(runsToIdle(30000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(2, "Próbálva:1"));
    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("b.bin")), QByteArray::fromStdString(b));
    EXPECT_EQ(host.captchaTokensGiven(), 1);
    EXPECT_EQ(postsTo("/q/a.bin"), 1);
    EXPECT_EQ(postsTo("/qi/b.bin"), 1);
    // The user was on "Letöltés" when the run began.
    EXPECT_EQ(control<QTabWidget>("Lapok")->currentWidget(), control<QWidget>("letolt"));
}

// The host refuses a form sent before its countdown ends or without the
// token: solved at once, the submit still waits for the count; counted out,
// it waits for the token; a widget the page puts in only when the count
// ends is asked for then.
TEST_F(ProfileCycle, ACaptchaBesideOrAfterACountdownIsSentOnlyWhenBothAreDone) {
    host.setWaitSeconds(2);
    for (const char* name : {"a.bin", "b.bin", "c.bin"})
        host.addFile(name, file(bytes(3'000, name[0])));
    host.setCaptchaAfterWait("c.bin");
    const Strings links{host.captchaLinkFor("a.bin"), host.captchaLinkFor("b.bin"),
                        host.captchaLinkFor("c.bin")};
    openWithLinks(links);
    const QString solve = QStringLiteral("document.getElementById('recaptcha-anchor').click();");
    const QString counted = QStringLiteral("document.querySelector('span.seconds').textContent");
    click("inditas");

    ASSERT_TRUE(captchaAsked());
    actInPage(solve); // at once
    ASSERT_TRUE(waitFor([this] { return logged() == 1; }, 30000));
    ASSERT_TRUE(captchaAsked());
    ASSERT_TRUE(pageShows(counted, QStringLiteral("0")));
    actInPage(solve); // once the count is over
    ASSERT_TRUE(waitFor([this] { return logged() == 2; }, 30000));
    ASSERT_TRUE(captchaAsked());
    EXPECT_TRUE(pageShows(counted, QStringLiteral("0"), 1000));
    actInPage(solve);
    ASSERT_TRUE(runsToIdle(30000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), Strings(3, "Sikeres letöltés"));
    EXPECT_EQ(logColumn(LogAttempts), Strings(3, "Próbálva:1"));
    for (const char* name : {"a.bin", "b.bin", "c.bin"}) {
        EXPECT_EQ(downloaded(QLatin1String(name)),
                  QByteArray::fromStdString(bytes(3'000, name[0])));
        EXPECT_EQ(postsTo(std::string("/q/") + name), 1) << name;
    }
}

// Nobody solves it: the try fails with its reason and counts, and the
// queue goes on.
TEST_F(ProfileCycle, ACaptchaNotSolvedInTimeFailsTheTryAndTheQueueGoesOn) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(2'000, 'a')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    const Strings links{host.captchaLinkFor("a.bin"), host.linkFor("d.bin")};
    TForm1& form = openWithLinks(links);
    cycle().setCaptchaTimeout(std::chrono::milliseconds(1500));
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Sikeres letöltés"}));
    ASSERT_EQ(logColumn(LogAttempts).size(), 2u);
    EXPECT_EQ(logColumn(LogAttempts)[0].rfind("Próbálva:1", 0), 0u) << logColumn(LogAttempts)[0];
    const QString reason = toQt(statusTips().at(0));
    EXPECT_TRUE(reason.contains(QLatin1String("captcha"), Qt::CaseInsensitive))
        << reason.toStdString();
    EXPECT_EQ(postsTo("/q/a.bin"), 0);
    EXPECT_EQ(downloaded(QStringLiteral("d.bin")), QByteArray::fromStdString(bytes(2'000, 'd')));
    EXPECT_TRUE(form.queue().isEmpty());
}

// A captcha page that crashes or closes itself ends its try at once with
// its reason, long before the user's time would, and the queue goes on.
TEST_F(ProfileCycle, ACaptchaPageThatCrashesOrClosesItselfEndsItsTry) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(2'000, 'a')));
    host.addFile("b.bin", file(bytes(2'000, 'b')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    const Strings links{host.captchaLinkFor("a.bin"), host.imageCaptchaLinkFor("b.bin"),
                        host.linkFor("d.bin")};
    openWithLinks(links);
    cycle().setCaptchaTimeout(std::chrono::minutes(10));
    click("inditas");
    // The engine lets a page close itself only while it is the view's first.
    ASSERT_TRUE(captchaAsked());
    EXPECT_EQ(queueState(1), "Captcha");
    actInPage(QStringLiteral("window.close()"));
    ASSERT_TRUE(waitFor([this] { return logged() == 1; }, 30000));
    ASSERT_TRUE(captchaAsked());
    const qint64 renderer = shownPage()->page()->renderProcessPid();
    ASSERT_GT(renderer, 0);
    ASSERT_EQ(::kill(static_cast<pid_t>(renderer), SIGKILL), 0);
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Hibás link.", "Sikeres letöltés"}));
    EXPECT_NE(statusTips().at(0).find("Weblap hiba: az oldal bezárta magát"), std::string::npos)
        << statusTips().at(0);
    EXPECT_NE(statusTips().at(1).find("Weblap hiba: az oldal összeomlott"), std::string::npos)
        << statusTips().at(1);
    EXPECT_EQ(downloaded(QStringLiteral("d.bin")), QByteArray::fromStdString(bytes(2'000, 'd')));
}

// "kihagyom": nobody is asked; the link goes to the end untried while the
// others download.
TEST_F(ProfileCycle, ACaptchaLinkIsPutAtTheEndUntriedWhenCaptchasAreSkipped) {
    storeSetting(QStringLiteral("Captcha_eseten"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(2'000, 'a')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    host.addFile("p.bin", file(bytes(2'000, 'p')));
    const std::string captcha = host.captchaLinkFor("a.bin");
    // A link whose password would be asked is passed over as well.
    const std::string password = host.passwordLinkFor("p.bin");
    TForm1& form = openWithLinks({captcha, password, host.linkFor("d.bin")});
    const std::string untried = form.queue().attempts(1);
    click("inditas");
    ASSERT_TRUE(waitFor([this] { return logged() == 1; }, 30000));
    ASSERT_TRUE(runsToIdle()); // only links that ask for the user are left

    EXPECT_EQ(logColumn(LogUrl), Strings{host.linkFor("d.bin")});
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    EXPECT_EQ(form.queue().url(1), captcha);
    EXPECT_EQ(form.queue().url(2), password);
    EXPECT_EQ(form.queue().attempts(1), untried);
    EXPECT_EQ(form.queue().attempts(2), untried);
    EXPECT_EQ(form.queue().rowCount(), 3);
    EXPECT_TRUE(dialogs.passwordPrompts.isEmpty());
    EXPECT_TRUE(host.passwordsPosted("p.bin").empty());
    EXPECT_NE(control<QLabel>("allapot")->text(),
              QStringLiteral("Captcha: oldd meg a Weblap lapon!"));
    click("Stop");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(host.captchaTokensGiven(), 0);
    EXPECT_EQ(postsTo("/q/a.bin"), 0);
}

// "kihagyom" with only captcha links: each page is loaded once, and the
// run ends with both still queued.
TEST_F(ProfileCycle, OnlyCaptchaLinksSkippedLoadEachPageOnce) {
    storeSetting(QStringLiteral("Captcha_eseten"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(2'000, 'a')));
    host.addFile("b.bin", file(bytes(2'000, 'b')));
    const Strings links{host.captchaLinkFor("a.bin"), host.captchaLinkFor("b.bin")};
    TForm1& form = openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    settle();
    EXPECT_EQ(host.getsOf("/q/a\\.bin"), 1);
    EXPECT_EQ(host.getsOf("/q/b\\.bin"), 1);
    EXPECT_EQ(form.queue().rowCount(), 3);
    EXPECT_TRUE(form.log().isEmpty());
}

TEST_F(ProfileCycle, StopDuringACaptchaLeavesTheLinkAtTheHeadUntried) {
    host.addFile("a.bin", file(bytes(2'000, 'a')));
    host.addFile("d.bin", file(bytes(2'000, 'd')));
    const Strings links{host.imageCaptchaLinkFor("a.bin"), host.linkFor("d.bin")};
    TForm1& form = openWithLinks(links);
    const std::string untried = form.queue().attempts(1);
    click("inditas");
    ASSERT_TRUE(captchaAsked());
    // Esc, with the keyboard in the page where the captcha is.
    QWidget* focused = QApplication::focusWidget();
    ASSERT_NE(focused, nullptr);
    EXPECT_TRUE(control<QWidget>("lap")->isAncestorOf(focused))
        << focused->metaObject()->className();
    QTest::keyClick(focused, Qt::Key_Escape);
    ASSERT_TRUE(runsToIdle(5000));

    EXPECT_EQ(logged(), 0u);
    EXPECT_EQ(form.queue().url(1), links[0]);
    EXPECT_EQ(form.queue().attempts(1), untried);
    EXPECT_EQ(form.queue().url(2), links[1]);
    EXPECT_EQ(postsTo("/qi/a.bin"), 0);
    EXPECT_TRUE(host.fileRequests().empty());
}

TEST_F(ProfileCycle, AProfileLinksFileIsNamedByTheReplyOrItsPathNeverItsQuery) {
    const std::string a = bytes(2'000, 'a'), b = bytes(3'000, 'b'), c = bytes(4'000, 'c');
    HostedFile named = file(b);
    named.disposition = "attachment; filename=\"fallback.bin\"; "
                        "filename*=UTF-8''%C3%A9kezetes%20n%C3%A9v.bin";
    HostedFile pathNamed = file(c);
    pathNamed.disposition = "attachment; filename=\"../../.hidden name.bin\"";
    // Named by the address it was finally fetched from.
    const std::string d = bytes(5'000, 'd');
    HostedFile redirected = file({});
    redirected.mode = Mode::Redirect;
    redirected.redirectTo = "/files/delta.bin";
    host.addFile("alpha.bin", file(a));
    host.addFile("beta.bin", named);
    host.addFile("gamma.bin", pathNamed);
    host.addFile("redir", redirected);
    host.addFile("delta.bin", file(d));
    openWithLinks({host.actionFormLinkFor("alpha.bin?t=tk2138005&u=1"),
                   host.actionFormLinkFor("beta.bin?t=2"), host.actionFormLinkFor("gamma.bin"),
                   host.actionFormLinkFor("redir")});
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogStatus), Strings(4, "Sikeres letöltés"));
    EXPECT_EQ(downloaded(QStringLiteral("alpha.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("ékezetes név.bin")), QByteArray::fromStdString(b));
    EXPECT_EQ(downloaded(QStringLiteral("hidden name.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(downloaded(QStringLiteral("delta.bin")), QByteArray::fromStdString(d));
    EXPECT_EQ(QDir(targetFolder()).entryList(QDir::Files | QDir::Hidden).size(), 4);
    for (const std::string path :
         {"/files/alpha.bin?t=tk2138005&u=1", "/files/beta.bin?t=2", "/files/gamma.bin"}) {
        const auto requests = host.fileRequests();
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [&](const auto& r) { return r.method == "GET" && r.path == path; }),
                  1)
            << path;
    }
}

// A folder's files take its place in the queue, in its order, each walked
// by its own profile or by the built-in steps, with the names and sizes the
// folder showed; each of its pages is loaded once, the last one's "Next"
// back to the first ending the walk. Queued again, it adds nothing: its
// files are queued already, and the balloon says so.
TEST_F(ProfileCycle, AFoldersFilesTakeItsPlaceInTheQueueOnceWithWhatItShowsOfThem) {
    const std::string a = bytes(2'000, 'a'), c = bytes(3'000, 'c'), x = bytes(4'000, 'x'),
                      z = bytes(500, 'z');
    host.addFile("a.bin", file(a));
    host.addFile("c.bin", file(c));
    host.addFile("z.bin", file(z));
    HostedFile xfs = file(x);
    xfs.referer = host.xfsLinkFor("x.bin");
    host.addFile("x.bin", xfs);
    host.addFolder("f1", {"Nyaralás 2026",
                          {{{"../link/a.bin", "a.bin", "1,9 KB"},
                            {host.xfsLinkFor("x.bin"), "x.bin", "3.9 KB"}},
                           {{"/link/c.bin?from=f1&part=2", " c.bin ", "2.9 KB"}}},
                          true});
    const std::string folder = host.folderLinkFor("f1");
    TForm1& form = openWithLinks({folder, host.linkFor("z.bin")});
    const auto queued = [&form] {
        Strings links;
        for (int row = 1; row < form.queue().rowCount(); ++row)
            links.push_back(form.queue().url(row));
        return links;
    };
    const auto rowText = [this](int row) {
        const QAbstractItemModel* shown = control<QTableView>("Linkek")->model();
        QStringList cells;
        for (int column = 3; column < 6; ++column)
            cells << shown->index(row, column).data().toString();
        return cells.join(u'|').toStdString();
    };
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->click(); // the run ends with the folder read
    ASSERT_TRUE(runsToIdle());
    const Strings files{host.linkFor("a.bin"), host.xfsLinkFor("x.bin"),
                        host.base() + "/link/c.bin?from=f1&part=2", host.linkFor("z.bin")};
    EXPECT_EQ(queued(), files);
    const Strings shown{"a.bin|1.9 KiB|igen", "x.bin|3.9 KiB|igen", "c.bin|2.9 KiB|igen", "||"};
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(rowText(row), shown[static_cast<std::size_t>(row)]) << row;
    EXPECT_EQ(host.getsOf("/folder/f1"), 1);
    EXPECT_EQ(host.getsOf("/folder/f1\\?page=2"), 1);
    EXPECT_EQ(logged(), 0u);
    const auto packages = [this] {
        QFile kept(recordPath("Folders.Vdl"));
        return kept.open(QIODevice::ReadOnly) ? kept.readAll().toStdString() : "<missing>";
    };
    for (int row = 0; row < 3; ++row)
        EXPECT_NE(packages().find(files[static_cast<std::size_t>(row)] + "\tNyaralás 2026\n"),
                  std::string::npos)
            << packages();
    EXPECT_EQ(packages().find(files[3]), std::string::npos);

    addLink(folder);
    control<QueueGridView>("Linkek")->selectDataRow(5);
    click("elore");
    EXPECT_FALSE(control<TTimer>("balloon_hide")->enabled());
    control<QCheckBox>("letoltes_utan_stop")->click();
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->click();
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(queued(), files);
    EXPECT_TRUE(control<TTimer>("balloon_hide")->enabled());
    EXPECT_EQ(host.getsOf("/folder/f1"), 2);

    control<QCheckBox>("letoltes_utan_stop")->click();
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    EXPECT_EQ(logColumn(LogUrl), files);
    EXPECT_EQ(logColumn(LogStatus), Strings(4, "Sikeres letöltés"));
    // The folder's files in a folder of its name; the lone link beside it.
    EXPECT_EQ(downloaded(QStringLiteral("Nyaralás 2026/a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(downloaded(QStringLiteral("Nyaralás 2026/x.bin")), QByteArray::fromStdString(x));
    EXPECT_EQ(downloaded(QStringLiteral("Nyaralás 2026/c.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(downloaded(QStringLiteral("z.bin")), QByteArray::fromStdString(z));
    EXPECT_EQ(host.getsOf("/folder/.*"), 4); // its two pages, twice; no file's page there
    EXPECT_EQ(packages().find('\t'), std::string::npos); // gone with their links
}

// A folder of 1,000 files over 10 pages is read in 10 page loads, and its
// files take its one row, in order.
TEST_F(ProfileCycle, AFolderOfAThousandFilesOverTenPagesTakesTenPageLoads) {
    TestHost::HostedFolder large{"Large", {}};
    for (int page = 0; page < 10; ++page) {
        auto& items = large.pages.emplace_back();
        for (int i = 0; i < 100; ++i) {
            const std::string name = std::to_string(page * 100 + i) + ".bin";
            items.push_back({"/link/" + name, name, "1 KB"});
        }
    }
    host.addFolder("large", large);
    TForm1& form = openWithLinks({host.folderLinkFor("large")});
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->click();
    ASSERT_TRUE(runsToIdle());
    ASSERT_EQ(form.queue().rowCount() - 1, 1000);
    EXPECT_EQ(form.queue().url(1), host.linkFor("0.bin"));
    EXPECT_EQ(form.queue().url(1000), host.linkFor("999.bin"));
    EXPECT_EQ(host.getsOf("/folder/.*"), 10);
    EXPECT_EQ(host.getsOf("/link/.*"), 0); // no file's page loaded for its name or size
}

// A folder in a folder is opened too, each folder once: the link list that
// lists its parent back leaves it out, and an entry that is no http(s)
// address or carries a control character is left out. An empty folder,
// and one the host says (with a 404) does not exist, are dead links; one
// whose next page does not load is not, its try failed.
TEST_F(ProfileCycle, FoldersInFoldersOpenEachOnceAndEmptyOrMissingOnesAreDeadLinks) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    const std::string m = bytes(900, 'm'), n = bytes(700, 'n');
    host.addFile("m.bin", file(m));
    host.addFile("n.bin", file(n));
    host.addFolder("outer", {"Outer",
                             {{{"/list/inner", "inner", ""},
                               {"/link/m.bin", "m.bin", "900 B"},
                               {"ftp://127.0.0.1/m.bin", "m.bin", ""},
                               {"/link/m\x01.bin", "m.bin", ""}}}});
    host.addLinkList("inner",
                     {{"../link/n.bin?a=1&b=2", "n.bin", ""}, {"/folder/outer", "outer", ""}});
    host.addFolder("empty", {"Empty", {{}}});
    TestHost::HostedFolder broken{"Broken", {{{"/link/m.bin", "m.bin", ""}}}};
    broken.lastLinksTo = "http://127.0.0.1:1/folder/broken?page=2"; // nothing answers there
    host.addFolder("broken", broken);
    const Strings links{host.folderLinkFor("outer"), host.folderLinkFor("empty"),
                        host.folderLinkFor("gone"), host.folderLinkFor("broken")};
    openWithLinks(links);
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    EXPECT_EQ(logColumn(LogUrl), (Strings{host.base() + "/link/n.bin?a=1&b=2",
                                          host.linkFor("m.bin"), links[1], links[2], links[3]}));
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Sikeres letöltés", "Sikeres letöltés", "Hibás link.",
                                             "Hibás link.", "Hibás link."}));
    const Strings attempts = logColumn(LogAttempts);
    ASSERT_EQ(attempts.size(), 5u);
    EXPECT_EQ((Strings{attempts[2], attempts[3], attempts[4]}),
              (Strings{"Próbálva:1", "Próbálva:1", "Próbálva:1 (Másik rapidos szál futott.)"}));
    // The inner list's file is the outer folder's package too: one folder.
    EXPECT_EQ(downloaded(QStringLiteral("Outer/n.bin")), QByteArray::fromStdString(n));
    EXPECT_EQ(downloaded(QStringLiteral("Outer/m.bin")), QByteArray::fromStdString(m));
    EXPECT_EQ(host.getsOf("/folder/outer"), 1);
    EXPECT_EQ(host.getsOf("/list/inner"), 1);
    EXPECT_TRUE(form().queue().isEmpty());
}

// A folder behind a link protector's checkbox asks the user once; the page
// the solved form leads to is the folder, read without asking again.
TEST_F(ProfileCycle, AFolderBehindACaptchaAsksTheUserOnce) {
    host.addFile("p.bin", file(bytes(600, 'p')));
    TestHost::HostedFolder guarded{"Guarded", {{{"/link/p.bin", "p.bin", "600 B"}}}};
    guarded.protectedByCaptcha = true;
    host.addFolder("guarded", guarded);
    openWithLinks({host.folderLinkFor("guarded")});
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->click();
    ASSERT_TRUE(captchaAsked());
    actInPage(QStringLiteral("document.querySelector('input[name=human]').click();"
                             "document.querySelector('#protect button').click();"));
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(form().queue().url(1), host.linkFor("p.bin"));
    EXPECT_EQ(postsTo("/folder/guarded"), 1);
}

// A file behind a password: the link's password goes into the field before
// its form is sent. Given by a list file's line, it downloads; a wrong one
// (given in the queue's menu, or by the list for a form answered with the
// file itself, which the transfer sends) fails the try as "Hibás jelszó",
// not as a dead link, and the next try asks; a link without one asks at
// once. A password with a control character is refused in its dialog. A
// folder's password is its files'. The passwords are kept apart from
// Lista.Vdl, for their user only, and leave with their links.
TEST_F(ProfileCycle, APasswordFileTakesItsLinksPasswordAndAsksWhenItHasNoneOrAWrongOne) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("2"));
    const std::string r = bytes(1'000, 'r'), w = bytes(1'100, 'w'), a = bytes(1'200, 'a');
    host.addFile("r.bin", file(r));
    host.addFile("w.bin", file(w));
    host.addFile("x.bin", file(bytes(1'300, 'x')));
    host.addFile("a.bin", file(a));
    host.setFilePassword("r.bin", "titok");
    host.setFilePassword("w.bin", "jó jelszó");
    host.setFilePassword("x.bin", "soha");
    host.setFilePassword("a.bin", "abc");
    const std::string m = bytes(900, 'm');
    host.addFile("m.bin", file(m));
    host.setFilePassword("m.bin", "mappa");
    host.addFolder("locked", {"Locked", {{{"/pw/m.bin", "m.bin", ""}}}});
    const std::string f = bytes(800, 'f');
    host.addFile("f.bin", file(f));
    host.setFilePassword("f.bin", "kód");
    const std::string formLink = host.passwordPostFormLinkFor("f.bin");
    const Strings links{host.passwordLinkFor("r.bin"), host.passwordLinkFor("w.bin"),
                        host.passwordLinkFor("x.bin"), host.passwordLinkFor("a.bin")};
    writeFile(QStringLiteral("links.txt"),
              QByteArray::fromStdString(links[0] + "\ttitok\r\n" + host.folderLinkFor("locked") +
                                        "\tmappa\r\n" + formLink + "\trossz\r\n"));
    TForm1& form = openWithLinks({});
    dialogs.openAnswers.push_back(path(QStringLiteral("links.txt")));
    click("megnyit");
    addLink(links[1]);
    addLink(links[2]);
    addLink(links[3]);
    dialogs.passwordAnswers = {QStringLiteral("rossz\tjelszó"),
                               QStringLiteral("rossz"),
                               QStringLiteral("rossz"),
                               QStringLiteral("abc"),
                               QStringLiteral("kód"),
                               QStringLiteral("jó jelszó"),
                               QStringLiteral("más")};
    for (const int row : {4, 5}) {
        control<QueueGridView>("Linkek")->selectDataRow(row);
        control<QAction>("passwordItem")->trigger();
    }
    EXPECT_EQ(dialogs.errors.size(), 1); // the tab refused
    const QString kept = stateFolder() + QStringLiteral("/Vardelo/Passwords.Vdl");
    QFile passwords(kept);
    ASSERT_TRUE(passwords.open(QIODevice::ReadOnly));
    const QByteArray stored = passwords.readAll();
    EXPECT_TRUE(stored.contains(QByteArray::fromStdString(links[0] + "\ttitok\n")));
    EXPECT_TRUE(stored.contains(QByteArray::fromStdString(links[1] + "\trossz\n")));
    EXPECT_EQ(passwords.permissions() & ~(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadUser | QFileDevice::WriteUser),
              QFileDevice::Permissions());
    passwords.close();
    ASSERT_EQ(form.queue().rowCount() - 1, 6);

    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    EXPECT_EQ(logColumn(LogUrl), (Strings{links[0], host.passwordLinkFor("m.bin"), links[3],
                                          formLink, links[1], links[2]}));
    EXPECT_EQ(logColumn(LogStatus),
              (Strings{"Sikeres letöltés", "Sikeres letöltés", "Sikeres letöltés",
                       "Sikeres letöltés", "Sikeres letöltés", "Hibás link."}));
    EXPECT_EQ(statusTips()[5], "Hibás jelszó\nHibás jelszó"); // each try's reason
    EXPECT_EQ(downloaded(QStringLiteral("f.bin")), QByteArray::fromStdString(f));
    EXPECT_EQ(host.passwordsPosted("f.bin"), (Strings{"rossz", "kód"}));
    EXPECT_EQ(downloaded(QStringLiteral("m.bin")), QByteArray::fromStdString(m));
    EXPECT_EQ(host.passwordsPosted("m.bin"), Strings{"mappa"});
    EXPECT_EQ(downloaded(QStringLiteral("r.bin")), QByteArray::fromStdString(r));
    EXPECT_EQ(downloaded(QStringLiteral("w.bin")), QByteArray::fromStdString(w));
    EXPECT_EQ(downloaded(QStringLiteral("a.bin")), QByteArray::fromStdString(a));
    EXPECT_EQ(host.passwordsPosted("w.bin"), (Strings{"rossz", "jó jelszó"}));
    EXPECT_EQ(host.passwordsPosted("x.bin"), (Strings{"rossz", "más"}));
    EXPECT_EQ(host.passwordsPosted("a.bin"), Strings{"abc"});
    // Asked in the menu twice (the refused one again), then by a, f, w and x.
    EXPECT_EQ(dialogs.passwordPrompts.size(), 7);
    EXPECT_TRUE(dialogs.passwordAnswers.empty());
    ASSERT_TRUE(form.close());
    QFile left(kept);
    ASSERT_TRUE(left.open(QIODevice::ReadOnly));
    EXPECT_FALSE(left.readAll().contains("\t")); // gone with their links
}

// The password's dialog cancelled, or left unanswered for the captcha's
// time, fails the try as an unsolved captcha does, with its reason in the
// log; the next try asks again. A dialog left open goes when its time is
// up, and the status line no longer asks once nobody waits for an answer.
TEST_F(ProfileCycle, APasswordDialogCancelledOrLeftUnansweredFailsTheTryAndTheNextOneAsks) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("2"));
    const std::string c = bytes(1'000, 'c');
    host.addFile("c.bin", file(c));
    host.addFile("t.bin", file(bytes(1'100, 't')));
    host.setFilePassword("c.bin", "egy");
    host.setFilePassword("t.bin", "kettő");
    const Strings links{host.passwordLinkFor("c.bin"), host.passwordLinkFor("t.bin")};
    openWithLinks(links);
    cycle().setCaptchaTimeout(std::chrono::milliseconds(1500));
    // c cancelled, t left open, c answered, t left open again.
    dialogs.passwordAnswers = {std::nullopt, QStringLiteral("egy")};
    dialogs.passwordQuestionsLeftOpen = {1, 3};
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));

    const QString askedForT =
        QStringLiteral("A link jelszót kér:\n%1\nJelszó:").arg(toQt(links[1]));
    EXPECT_EQ(dialogs.passwordPrompts.size(), 4);
    EXPECT_EQ(dialogs.closedPasswordQuestions, (QStringList{askedForT, askedForT}));
    EXPECT_EQ(logColumn(LogUrl), links);
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Sikeres letöltés", "Hibás link."}));
    const std::string notGiven = "Weblap hiba: a link jelszavát nem adták meg";
    EXPECT_EQ(statusTips().at(1), notGiven + "\n" + notGiven);
    EXPECT_EQ(downloaded(QStringLiteral("c.bin")), QByteArray::fromStdString(c));
    EXPECT_EQ(host.passwordsPosted("c.bin"), Strings{"egy"});
    EXPECT_TRUE(host.passwordsPosted("t.bin").empty());
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
}

TEST_F(ProfileCycle, BadProfileFilesAreLeftOutAndReportedOnce) {
    QDir().mkpath(path(QStringLiteral("profiles")));
    const std::pair<const char*, const char*> bad[] = {
        {"1-not-json.json", "{ \"name\": "},
        {"2-array.json", "[1, 2]"},
        {"3-no-name.json", R"j({"links": ["x"], "address": {"pattern": "(a)"}})j"},
        {"4-no-links.json", R"j({"name": "n", "links": [], "address": {"pattern": "(a)"}})j"},
        {"5-no-address.json", R"j({"name": "n", "links": ["x"]})j"},
        {"6-bad-pattern.json",
         R"j({"name": "n", "links": ["(x"], "address": {"pattern": "(a)"}})j"},
        {"7-unknown-reader.json",
         R"j({"name": "n", "links": ["x"], "address": {"xpath": "//a"}})j"},
        {"8-bad-wait.json",
         R"j({"name": "n", "links": ["x"], "wait": {"between": ["a"]}, "after_wait": "#b"})j"},
        {"9-text-as-flag.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "address_after_wait": "yes"})j"},
        {"a-cookie-not-text.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "cookies": {"k": 1}})j"},
        {"b-cookie-unsendable.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "cookies": {"k": "v; y=1"}})j"},
        {"c-rewrite-not-pairs.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "rewrite": [["(a)"]]})j"},
        {"d-settle-too-long.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "settle": 61})j"},
        {"e-steps-empty.json", R"j({"name": "n", "links": ["x"], "steps": []})j"},
        {"f-step-neither.json", R"j({"name": "n", "links": ["x"], "steps": [{"busy": "b"}]})j"},
        {"g-steps-and-form.json",
         R"j({"name": "n", "links": ["x"], "form": "#f", "steps": [{"submit": "#b"}]})j"},
        {"h-retry-unit.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b",
              "retry_after": {"pattern": "(\d+)", "unit": "day"}})j"},
        {"i-hash-type.json",
         R"j({"name": "n", "links": ["x"], "steps": [{"address": {"pattern": "(a)"},
              "hash": {"selector": "#sum", "hash_type": "crc32"}}]})j"},
        {"j-per-host-none.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "per_host": 0})j"},
        {"k-per-host-many.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "per_host": 9})j"},
        {"l-per-host-text.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "per_host": "2"})j"},
        {"m-per-host-part.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "per_host": 1.5})j"},
        {"n-profile-hash-type.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b",
              "hash": {"pattern": "(a)", "hash_type": "crc32"}})j"},
        {"o-nul-in-a-cookie.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "cookies": {"k\u0000\u001b": "v"}})j"},
        {"p-premium-pattern.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "premium_only": "(p"})j"},
        {"q-offline-not-text.json",
         R"j({"name": "n", "links": ["x"], "steps": [{"submit": "#b", "temp_offline": 1}]})j"},
        {"r-wait-unit.json",
         R"j({"name": "n", "links": ["x"], "steps": [{"submit": "#b",
              "wait": {"selector": "#w", "unit": "hours"}}]})j"},
        {"s-files-and-steps.json",
         R"j({"name": "n", "links": ["x"], "files": {"selector": "a", "attribute": "href"},
              "steps": [{"submit": "#b"}]})j"},
        {"t-files-no-reader.json", R"j({"name": "n", "links": ["x"], "files": ["a"]})j"},
        {"u-files-between.json",
         R"j({"name": "n", "links": ["x"], "files": {"between": ["<a", ">"]}})j"},
        {"v-files-name-not-reader.json",
         R"j({"name": "n", "links": ["x"], "files": {"selector": "tr", "name": "a"}})j"},
        {"w-files-mixed-readers.json",
         R"j({"name": "n", "links": ["x"], "files": {"pattern": "href=\"([^\"]+)\"",
              "size": {"selector": "td"}}})j"},
        {"x-next-without-files.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "next": {"selector": "a"}})j"},
        {"y-package-no-group.json",
         R"j({"name": "n", "links": ["x"], "files": {"selector": "a", "attribute": "href"},
              "package": {"pattern": "<h1>"}})j"},
        {"yy-wrong-password-pattern.json",
         R"j({"name": "n", "links": ["x"], "after_wait": "#b", "wrong_password": "(x"})j"},
        {"yz-step-password-not-text.json",
         R"j({"name": "n", "links": ["x"], "steps": [{"submit": "#b", "password": 1}]})j"},
    };
    for (const auto& [name, text] : bad)
        writeFile(QStringLiteral("profiles/") + QLatin1String(name), text);
    writeFile(QStringLiteral("profiles/notes.txt"), "not a profile");
    // An unknown key is named, and its profile used without it.
    writeFile(QStringLiteral("profiles/z-good.json"),
              R"j({"name": "Good", "links": ["//good\\."], "per_host": 8, "steps": [{"submit": "#b",
                  "wiat": {"pattern": "(\\d+)"}}]})j");

    const LoadedProfiles read = loadHostProfiles({path(QStringLiteral("profiles"))});
    EXPECT_EQ(read.profiles.size(), 1u);
    const int badFiles = static_cast<int>(std::size(bad));
    ASSERT_EQ(read.problems.size(), badFiles + 1)
        << read.problems.join(QLatin1Char('\n')).toStdString();
    for (int i = 0; i < badFiles; ++i)
        EXPECT_TRUE(read.problems[i].contains(QLatin1String(bad[i].first))) << i;
    EXPECT_TRUE(read.problems.last().contains(QLatin1String("\"wiat\"")));
    const auto good = read.profiles.forLink("http://good.example/");
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(good->profile().perHost, 8);

    profileProblems = read.problems;
    host.addFile("d.bin", file(bytes(500, 'd')));
    openWithLinks({host.linkFor("d.bin")});
    EXPECT_TRUE(waitFor([this] { return !dialogs.errors.isEmpty(); }, 5000));
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_EQ(dialogs.errors.size(), 1);
    for (const auto& [name, text] : bad)
        EXPECT_TRUE(dialogs.errors[0].contains(QLatin1String(name))) << name;
    EXPECT_TRUE(dialogs.errors[0].contains(QLatin1String("k\\u0000\\u001b")));
    EXPECT_FALSE(std::any_of(dialogs.errors[0].begin(), dialogs.errors[0].end(),
                             [](QChar c) { return c.unicode() < 0x20 && c != u'\n'; }));
    EXPECT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
}

struct ProbeCase {
    const char* name;
    std::string (TestHost::*link)(const std::string&) const;
    bool wait;
    int status;
    // In the lines, BASE stands for the host, OTHER for a second one (another
    // origin) and LINK for the link.
    std::vector<std::string> lines;
    const char* type = "application/octet-stream"; // the file's, as the host declares it
    const char* file = "f.bin";                    // the link's; BASE and OTHER as above
    int hostWait = 1;                              // the host's wait, in seconds
};

void PrintTo(const ProbeCase& c, std::ostream* out) {
    *out << c.name;
}

// The program itself, with the test tree's profiles as the user's own.
class ProbeRun : public ProfileCycle {
  protected:
    std::string probe(const std::string& link, bool wait, int* status,
                      const char* type = "application/octet-stream",
                      const QString& program = QStringLiteral(VARDELO_PROGRAM), int hostWait = 1) {
        host.setWaitSeconds(hostWait);
        HostedFile served = file(bytes(4321, 'f'));
        served.contentType = type;
        host.addFile("f.bin", served);
        other.addFile("f.bin", served);
        const QString userProfiles = path(QStringLiteral("data/Vardelo/HostProfiles"));
        QDir().mkpath(userProfiles);
        for (const QString& name :
             QDir(QStringLiteral(VARDELO_TEST_PROFILES)).entryList(QDir::Files))
            QFile::copy(QStringLiteral(VARDELO_TEST_PROFILES "/") + name,
                        userProfiles + QLatin1Char('/') + name);

        QProcess probe;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        probe.setProcessEnvironment(environment);
        QStringList arguments{QStringLiteral("--probe"), toQt(link)};
        if (wait)
            arguments.append(QStringLiteral("--wait"));
        probe.start(program, arguments);
        EXPECT_TRUE(probe.waitForFinished(60000));
        *status = probe.exitCode();
        errors_ = probe.readAllStandardError().toStdString();
        return probe.readAllStandardOutput().toStdString();
    }
    std::string errors_;
    TestHost other; // another origin
};

class Probe : public ProbeRun, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(Probe, TellsEachStepAndEndsWithTheVerdict) {
    const ProbeCase& c = GetParam();
    const auto placed = [this](std::string text) {
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"BASE", host.base()}, {"OTHER", other.base()}})
            for (std::size_t at; (at = text.find(name)) != std::string::npos;)
                text.replace(at, name.size(), value);
        return text;
    };
    const std::string link = (host.*c.link)(placed(c.file));
    int status = -1;
    const std::string output =
        probe(link, c.wait, &status, c.type, QStringLiteral(VARDELO_PROGRAM), c.hostWait);
    EXPECT_EQ(status, c.status) << output << errors_;
    std::string expected;
    for (const std::string& line : c.lines)
        expected += line + "\n";
    for (std::size_t at; (at = expected.find("LINK")) != std::string::npos;)
        expected.replace(at, 4, link);
    EXPECT_EQ(output, placed(expected));
}

// A page's text with an escape sequence in it (here one that would set the
// terminal's title) reaches the terminal with its controls as "?".
TEST_F(ProbeRun, PrintsWhatAPageWroteWithoutItsControlCharacters) {
    int status = -1;
    const std::string output = probe(host.linkFor("raw:" + host.base() +
                                                  "/files/\x1B]0;x\x07"
                                                  "f.bin"),
                                     false, &status);
    EXPECT_NE(output.find("Address read: " + host.base() + "/files/?]0;x?f.bin\n"),
              std::string::npos)
        << output;
    EXPECT_EQ(output.find_first_of("\x1B\x07"), std::string::npos) << output;
}

// A folder's probe shows its first ten files, how many in all, over how
// many pages, and its package, and ends with 0: nothing is fetched.
TEST_F(ProbeRun, ShowsAFoldersFilesAndThePagesItFollowed) {
    std::vector<TestHost::FolderItem> first, second;
    for (int i = 1; i <= 12; ++i)
        (i <= 8 ? first : second)
            .push_back({"/link/" + std::to_string(i) + ".bin", std::to_string(i) + ".bin",
                        std::to_string(i) + " KB"});
    host.addFolder("p", {"Probed", {first, second}});
    int status = -1;
    const std::string output = probe(host.folderLinkFor("p"), false, &status);
    EXPECT_EQ(status, 0) << output << errors_;
    std::string expected = "Profile: Folder host\nFirst page loaded: " + host.folderLinkFor("p") +
                           "\nFirst page loaded: " + host.folderLinkFor("p") + "?page=2\n";
    for (int i = 1; i <= 10; ++i)
        expected += "Folder lists: " + host.linkFor(std::to_string(i) + ".bin") + " (" +
                    std::to_string(i) + ".bin, " + std::to_string(i) + " KB)\n";
    expected += "Folder read: 12 files over 2 pages, package: Probed\n";
    EXPECT_EQ(output, expected);
    EXPECT_EQ(host.fileRequests().size(), 0u);
}

// Where the browser's module is missing the probe ends at once, saying why,
// instead of waiting for a page that never comes.
TEST_F(ProbeRun, ABrowserThatCannotStartEndsTheProbeSayingWhy) {
    QDir().mkpath(path(QStringLiteral("alone")));
    const QString alone = path(QStringLiteral("alone/vardelo"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(VARDELO_PROGRAM), alone));
    int status = -1;
    const std::string output =
        probe(host.linkFor("f.bin"), false, &status, "application/octet-stream", alone);
    EXPECT_EQ(status, 1) << output << errors_;
    EXPECT_NE(output.find("Failed at: the browser cannot start: " + toStd(alone) + "_webengine.so"),
              std::string::npos)
        << output;
}

INSTANTIATE_TEST_SUITE_P(
    Links, Probe,
    ::testing::Values(
        ProbeCase{"SecondFormHost",
                  &TestHost::redirectFormLinkFor,
                  false,
                  0,
                  {"Profile: Second form host", "First page loaded: BASE/r/f.bin",
                   "Form found and submitted or clicked: step 1: #free",
                   "Wait page loaded: step 2: BASE/r/wait/f.bin", "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Form found and submitted or clicked: step 2: #dl",
                   // The last step's form: the transfer sends it, and
                   // follows its redirect to the file.
                   "Address read: BASE/r/fetch/f.bin",
                   "Wait over; the transfer would fetch: BASE/r/fetch/f.bin",
                   "The transfer would send Referer: BASE/r/wait/f.bin",
                   "The transfer would send Cookie: (none)",
                   "POST BASE/r/fetch/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"}},
        ProbeCase{"SessionHostAskedInTheBrowsersSession",
                  &TestHost::sessionLinkFor,
                  false,
                  0,
                  {"Profile: Session host", "First page loaded: BASE/k/f.bin",
                   "File name read: step 1: f.bin",
                   "Form found and submitted or clicked: step 1: #free",
                   "Wait page loaded: step 2: BASE/k/wait/f.bin", "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/k/file/f.bin",
                   "Wait over; the transfer would fetch: BASE/k/file/f.bin",
                   "The transfer would send Referer: BASE/k/wait/f.bin",
                   // As libcurl sent them: the longest path first, then the newest.
                   "The transfer would send Cookie: dl=1; xfss=k7Tq2; lang=en",
                   "HEAD BASE/k/file/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"}},
        ProbeCase{"APageWhereTheFileWas",
                  &TestHost::linkFor,
                  false,
                  1,
                  {"Profile: built-in (no profile file claims this link)",
                   "First page loaded: BASE/link/f.bin", "Form found and submitted or clicked: #ff",
                   "Wait page loaded: BASE/wait/f.bin", "Address read: BASE/files/f.bin",
                   "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Wait over; the transfer would fetch: BASE/files/f.bin",
                   // Asked as the transfer asks, offering no coding: the
                   // page comes whole, its length told.
                   "HEAD BASE/files/f.bin: status 200, length 4321, type text/html; "
                   "charset=utf-8, file name f.bin",
                   "Result: would not download (the host sent a web page instead of the file)"},
                  "text/html; charset=utf-8"},
        // Not waited out, the reader looks again until the page's script
        // writes the link in.
        ProbeCase{"CountdownReadAgainUntilItsLinkComes",
                  &TestHost::countdownLinkFor,
                  false,
                  0,
                  {"Profile: Countdown host", "First page loaded: BASE/c/f.bin", "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/files/f.bin",
                   "Wait over; the transfer would fetch: BASE/files/f.bin",
                   "The transfer would send Referer: BASE/c/f.bin",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/files/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"}},
        ProbeCase{"CountdownWaitedOut",
                  &TestHost::countdownLinkFor,
                  true,
                  0,
                  {"Profile: Countdown host", "First page loaded: BASE/c/f.bin", "Wait read: 1 s",
                   "Address read: BASE/files/f.bin",
                   "Wait over; the transfer would fetch: BASE/files/f.bin",
                   "The transfer would send Referer: BASE/c/f.bin",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/files/f.bin: status 200, length 4321, type application/octet-stream, "
                   "file name f.bin",
                   "Result: would download"}},
        // To another origin the page goes as its origin alone.
        ProbeCase{"AFileOnAnotherOrigin",
                  &TestHost::countdownLinkFor,
                  false,
                  0,
                  {"Profile: Countdown host", "First page loaded: LINK", "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: OTHER/files/f.bin",
                   "Wait over; the transfer would fetch: OTHER/files/f.bin",
                   "The transfer would send Referer: BASE/",
                   "The transfer would send Cookie: (none)",
                   "HEAD OTHER/files/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"},
                  "application/octet-stream",
                  "raw:OTHER/files/f.bin"},
        // A server that refuses HEAD is asked for the file's first byte.
        ProbeCase{"AServerThatRefusesHead",
                  &TestHost::countdownLinkFor,
                  false,
                  0,
                  {"Profile: Countdown host", "First page loaded: LINK", "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/nohead/f.bin",
                   "Wait over; the transfer would fetch: BASE/nohead/f.bin",
                   "The transfer would send Referer: LINK",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/nohead/f.bin: status 405; asked again as a GET of the first byte",
                   "GET BASE/nohead/f.bin: status 206, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"},
                  "application/octet-stream",
                  "raw:BASE/nohead/f.bin"},
        // The click starts a script, not a navigation: the next step reads
        // the same page once its countdown has run.
        ProbeCase{"AClickThatStartsAScript",
                  &TestHost::clickCountdownLinkFor,
                  false,
                  0,
                  {"Profile: Click countdown host", "First page loaded: BASE/s/f.bin",
                   "Form found and submitted or clicked: step 1: a.btn-free",
                   "Wait page loaded: step 2: BASE/s/f.bin", "Wait read: 0 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/files/f.bin",
                   "Wait over; the transfer would fetch: BASE/files/f.bin",
                   "The transfer would send Referer: BASE/s/f.bin",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/files/f.bin: status 200, length 4321, type application/octet-stream, "
                   "file name f.bin",
                   "Result: would download"}},
        ProbeCase{"AWaitWrittenAsAClock",
                  &TestHost::clockWaitLinkFor,
                  false,
                  0,
                  {"Profile: Written wait host", "First page loaded: BASE/w/clock/f.bin",
                   "Wait read: 65 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/w/file/w1/f.bin",
                   "Wait over; the transfer would fetch: BASE/w/file/w1/f.bin",
                   "The transfer would send Referer: BASE/w/clock/f.bin",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/w/file/w1/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"},
                  "application/octet-stream",
                  "f.bin",
                  65},
        ProbeCase{"AWaitWrittenInWords",
                  &TestHost::wordsWaitLinkFor,
                  false,
                  0,
                  {"Profile: Written wait host", "First page loaded: BASE/w/words/f.bin",
                   "Wait read: 65 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Address read: BASE/w/file/w1/f.bin",
                   "Wait over; the transfer would fetch: BASE/w/file/w1/f.bin",
                   "The transfer would send Referer: BASE/w/words/f.bin",
                   "The transfer would send Cookie: (none)",
                   "HEAD BASE/w/file/w1/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"},
                  "application/octet-stream",
                  "f.bin",
                  65},
        // Neither a download nor a failure: the user would have to act.
        // A form answered with the file is asked for by its POST, as the
        // transfer asks: a HEAD of its address is no request the host answers.
        ProbeCase{"AFormPostedForTheFile",
                  &TestHost::postFormLinkFor,
                  false,
                  0,
                  {"Profile: Form answered with the file", "First page loaded: BASE/gp/f.bin",
                   "Form found and submitted or clicked: step 1: #dl",
                   "Address read: BASE/g/file/f.bin",
                   "Wait over; the transfer would fetch: BASE/g/file/f.bin",
                   "The transfer would send Referer: BASE/gp/f.bin",
                   "The transfer would send Cookie: gsess=g1",
                   "POST BASE/g/file/f.bin: status 200, length 4321, type "
                   "application/octet-stream, file name f.bin",
                   "Result: would download"}},
        ProbeCase{"CaptchaForTheUser",
                  &TestHost::imageCaptchaLinkFor,
                  false,
                  2,
                  {"Profile: Image code host", "First page loaded: BASE/qi/f.bin",
                   "step 1: captcha: the user would solve it in the window"}},
        ProbeCase{"PasswordForTheUser",
                  &TestHost::passwordLinkFor,
                  false,
                  2,
                  {"Profile: Password host", "First page loaded: BASE/pw/f.bin",
                   "step 1: password: the user would be asked for the link's password"}},
        ProbeCase{"DeadPageWithAForm",
                  &TestHost::deadFormLinkFor,
                  false,
                  1,
                  {"Profile: Action form host", "First page loaded: BASE/b/gone/f.bin",
                   "Failed at: step 1: the profile's dead pattern matches the page"}},
        ProbeCase{"DesignedHost",
                  &TestHost::linkFor,
                  false,
                  0,
                  {"Profile: built-in (no profile file claims this link)",
                   "First page loaded: BASE/link/f.bin", "Form found and submitted or clicked: #ff",
                   "Wait page loaded: BASE/wait/f.bin", "Address read: BASE/files/f.bin",
                   "Wait read: 1 s",
                   "Not waiting it out (give --wait to wait; the host may refuse an early press)",
                   "Wait over; the transfer would fetch: BASE/files/f.bin",
                   "HEAD BASE/files/f.bin: status 200, length 4321, type application/octet-stream, "
                   "file name f.bin",
                   "Result: would download"}}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
} // namespace vardelo
