// Hostile pages and replies: each attempt ends in one outcome for its own
// link, and the queue goes on.
#include "CycleFixture.h"

#include "app/QueueGridView.h"
#include "platform/HttpClient.h"
#include "session/DownloadCycle.h"
#include "session/letolto.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <thread>

namespace vardelo {
namespace {

using Strings = std::vector<std::string>;
using Mode = HostedFile::Mode;

class HostileHost : public CycleFixture {};

TEST_F(HostileHost, FinalRedirectRepliesAreFailedTransfers) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    for (const int status : {300, 302, 304}) { // the 302 has no Location
        HostedFile reply = file("", Mode::Status);
        reply.status = status;
        host.addFile(std::to_string(status) + ".bin", reply);
    }

    openWithLinks({host.linkFor("300.bin"), host.linkFor("302.bin"), host.linkFor("304.bin")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings(3, "Próbálva:1 (Letöltési hiba.)"));
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("0"));
    for (const char* name : {"/300.bin", "/302.bin", "/304.bin"})
        EXPECT_FALSE(QFile::exists(targetFolder() + QLatin1String(name))) << name;
}

TEST_F(HostileHost, AWebPageInPlaceOfTheFileIsAFailedTryNeverTheFile) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    const std::string html = "<!DOCTYPE html><html><body>Not the file</body></html>";
    const std::string data = bytes(3'000, 'u');
    HostedFile hotlink = file(bytes(5'000, 'h'));
    hotlink.referer = host.base() + "/download-page"; // never sent by the transfer
    HostedFile untypedPage = file("\xEF\xBB\xBF\r\n  <HTML><body>Not the file</body></html>");
    untypedPage.contentType = "";
    HostedFile lying = file(html); // declared a file: it is one
    HostedFile untypedFile = file(data);
    untypedFile.contentType = "";
    HostedFile page = file(html);
    page.contentType = "text/html";
    host.addFile("Hotlink_protected.iso", hotlink);
    host.addFile("untyped.iso", untypedPage);
    host.addFile("lying.iso", lying);
    host.addFile("untyped.bin", untypedFile);
    host.addFile("page.html", page);
    openWithLinks({host.linkFor("Hotlink_protected.iso"), host.linkFor("untyped.iso"),
                   host.linkFor("lying.iso"), host.linkFor("untyped.bin"),
                   host.linkFor("page.html")});
    click("inditas");
    ASSERT_TRUE(runsToIdle());

    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Hibás link.", "Sikeres letöltés",
                                             "Sikeres letöltés", "Sikeres letöltés"}));
    EXPECT_EQ(logColumn(LogAttempts)[0], "Próbálva:1 (Letöltési hiba.)");
    const Strings tips = statusTips();
    ASSERT_EQ(tips.size(), 5u);
    EXPECT_EQ(tips[0], "A fájl helyett weblap érkezett");
    EXPECT_EQ(tips[1], "A fájl helyett weblap érkezett");
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("3"));
    EXPECT_EQ(downloaded(QStringLiteral("lying.iso")), QByteArray::fromStdString(html));
    EXPECT_EQ(downloaded(QStringLiteral("untyped.bin")), QByteArray::fromStdString(data));
    EXPECT_EQ(downloaded(QStringLiteral("page.html")), QByteArray::fromStdString(html));
    // Neither a file nor a partial file is left of the pages.
    EXPECT_EQ(QDir(targetFolder()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    int hotlinkGets = 0;
    for (const auto& request : host.fileRequests())
        hotlinkGets += request.method == "GET" && request.path == "/files/Hotlink_protected.iso";
    EXPECT_EQ(hotlinkGets, 1);
}

TEST_F(HostileHost, CodedBodiesAreStoredDecodedOrFail) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    const std::string body = bytes(100'000, 'g');
    host.addFile("g.bin", file(body));
    openWithLinks({host.linkFor("raw:" + host.gzipFileAddress("g.bin")),
                   host.linkFor("raw:" + host.unknownCodingFileAddress("g.bin"))});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Sikeres letöltés", "Hibás link."}));
    EXPECT_EQ(downloaded(QStringLiteral("g.bin")), QByteArray::fromStdString(body));
    for (const auto& request : host.requests()) {
        if (request.path.rfind("/gzip/", 0) == 0) { // the browser's own requests may offer codings
            EXPECT_EQ(request.headers.count("accept-encoding"), 0u);
        }
    }
}

TEST_F(HostileHost, ACodedBodyCutShortIsAFailureNotAShorterFile) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("c.bin", file(bytes(300'000, 'c')));
    openWithLinks({host.linkFor("raw:" + host.cutGzipFileAddress("c.bin"))});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogAttempts), Strings{"Próbálva:1 (Letöltési hiba.)"});
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("0"));
    EXPECT_FALSE(QFile::exists(targetFolder() + QStringLiteral("/c.bin")));
}

TEST_F(HostileHost, AuthorisationFollowsARedirectToAnotherHost) {
    TestHost other;
    host.addFile("a.bin", file(bytes(100, 'a')));
    other.addFile("b.bin", file(bytes(100, 'b')));

    openWithLinks({host.linkFor("a.bin"),
                   host.linkFor("raw:" + host.redirectAddress(other.base() + "/files/b.bin"))});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings(2, "Sikeres letöltés"));
    const auto requests = other.fileRequests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0].headers.count("authorization"), 1u);
    EXPECT_EQ(requests[0].headers.at("authorization"), "Basic Og==");
}

TEST_F(HostileHost, AHungPageCostsItsOwnLinkOnly) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("good.bin", file(bytes(1000, 'g')));
    openWithLinks({host.hangLinkFor("hung.bin"), host.linkFor("good.bin")});
    cycle().setPageTimeout(std::chrono::seconds(4));
    click("inditas");
    ASSERT_TRUE(runsToIdle(60000));
    EXPECT_EQ(logColumn(LogUrl), (Strings{host.hangLinkFor("hung.bin"), host.linkFor("good.bin")}));
    EXPECT_EQ(logColumn(LogStatus), (Strings{"Hibás link.", "Sikeres letöltés"}));
}

TEST_F(HostileHost, ProgressReachesTheWindowAtMostAboutTwentyFiveTimesASecond) {
    HostedFile many = file(bytes(1'000'000, 'm'), Mode::Slow);
    many.pieceBytes = 2000;
    many.pieceDelayMs = 1;
    host.addFile("many.bin", many);
    openWithLinks({host.linkFor("many.bin")});
    int updates = 0;
    QElapsedTimer clock;
    QObject::connect(control<QProgressBar>("gauge1"), &QProgressBar::valueChanged, [&](int value) {
        if (value <= 0)
            return;
        if (updates++ == 0)
            clock.start();
    });
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    ASSERT_EQ(logColumn(LogStatus), Strings{"Sikeres letöltés"});
    const qint64 spanMs = clock.isValid() ? clock.elapsed() : 0;
    EXPECT_GT(updates, 1);
    EXPECT_LE(updates, spanMs / 40 + 3) << "over " << spanMs << " ms";
}

TEST_F(HostileHost, TheHeadAddressGoesToTheBrowserAsItIs) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    host.addFile("a.bin", file(bytes(100, 'a')));
    const std::string withoutScheme = host.linkFor("a.bin").substr(std::string("http://").size());
    openWithLinks({withoutScheme});
    click("inditas");
    ASSERT_TRUE(runsToIdle());
    EXPECT_EQ(logColumn(LogStatus), Strings{"Hibás link."}); // no scheme is guessed
    EXPECT_TRUE(host.requests().empty());
}

// The client's own rules, below the worker's checks.
TEST(HttpClientRules, OnlyA2xxOfHttpCarriesTheFile) {
    TestHost host;
    HostedFile choice;
    choice.mode = Mode::Status;
    choice.status = 300;
    host.addFile("300.bin", choice);
    QTemporaryDir dir;
    const QString local = dir.filePath(QStringLiteral("local.txt"));
    QFile out(local);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write("a local file");
    out.close();

    HttpClient http;
    const std::atomic<bool> abort{false};
    const struct {
        std::string address;
        std::string reason;
    } cases[] = {
        {host.base() + "/files/300.bin", "the server answered 300"},
        // A redirect out of http and https is not followed.
        {host.redirectAddress("file://" + local.toStdString()), "not an http or https address"},
    };
    for (const auto& c : cases) {
        std::string written;
        HttpBody body;
        body.write = [&](const char* data, std::size_t size) {
            written.append(data, size);
            return true;
        };
        const HttpResult result = http.get(c.address, body, abort);
        EXPECT_EQ(result.status, HttpResult::Status::Failed) << c.address;
        EXPECT_EQ(result.error, c.reason) << c.address;
        EXPECT_EQ(written, "") << c.address;
    }
}

// The time the speed limit holds a body back is no stall: of 3 KB at
// 512 B/s, the last KiB is held two seconds, a stall time, after the first
// two came at once.
TEST(HttpClientRules, TimeHeldBackByTheSpeedLimitIsNoStall) {
    TestHost host;
    HostedFile served;
    served.body = std::string(3 * 1024, 's');
    served.mode = Mode::Slow;
    served.pieceBytes = 2048;
    served.pieceDelayMs = 300;
    host.addFile("s.bin", served);
    HttpClient http;
    http.setStallSeconds(2);
    http.setReceiveLimit(512);
    const std::atomic<bool> abort{false};
    HttpBody body;
    body.write = [](const char*, std::size_t) { return true; };
    QElapsedTimer took;
    took.start();
    const HttpResult result = http.get(host.base() + "/files/s.bin", body, abort);
    EXPECT_EQ(result.status, HttpResult::Status::Ok) << result.error;
    EXPECT_EQ(result.received, 3 * 1024);
    EXPECT_GE(took.elapsed(), 1900); // it was held back
}

// Two bodies at once share one limit: together they take about as long as
// their sum at that limit (2 s here), not as long as one of them (1 s).
TEST(HttpClientRules, TransfersAtOnceShareTheSpeedLimit) {
    TestHost host;
    HostedFile served;
    served.body = std::string(256 * 1024, 'l');
    host.addFile("a.bin", served);
    host.addFile("b.bin", served);
    HttpClient http;
    http.setReceiveLimit(256 * 1024);
    const std::atomic<bool> abort{false};
    const auto fetch = [&](const std::string& name, HttpResult* result) {
        HttpBody body;
        body.write = [](const char*, std::size_t) { return true; };
        *result = http.get(host.base() + "/files/" + name, body, abort);
    };
    HttpResult a, b;
    QElapsedTimer took;
    took.start();
    std::thread first(fetch, "a.bin", &a);
    std::thread second(fetch, "b.bin", &b);
    first.join();
    second.join();
    EXPECT_EQ(a.status, HttpResult::Status::Ok) << a.error;
    EXPECT_EQ(b.status, HttpResult::Status::Ok) << b.error;
    EXPECT_EQ(a.received + b.received, 512 * 1024);
    // The first piece arrives before the pace begins: a little under 2 s.
    EXPECT_GT(took.elapsed(), 1500);
    EXPECT_LT(took.elapsed(), 15000);
}

// A script left unanswered by a hung page ends that page only: the next
// link's page, loaded after Stop and Start, outlives the old time-out.
TEST(BrowserScripts, ATimeOutEndsOnlyThePageItsScriptWasAskedOf) {
    TestHost host;
    WebEngineBrowser browser;
    browser.setScriptTimeout(std::chrono::milliseconds(1000));
    std::vector<bool> loads;
    std::vector<std::pair<quint64, bool>> reads;
    int rendererEnds = 0;
    QObject::connect(&browser, &Browser::documentComplete, [&](bool ok) { loads.push_back(ok); });
    QObject::connect(
        &browser, &Browser::bodyMarkupRead,
        [&](quint64 ticket, bool ok, const QString&) { reads.emplace_back(ticket, ok); });
    browser.navigate(QString::fromStdString(host.linkFor("a.bin")));
    // The engine's view comes with the first page.
    QWebEnginePage* page = browser.widget()->findChild<QWebEngineView*>()->page();
    QObject::connect(page, &QWebEnginePage::renderProcessTerminated, [&] { ++rendererEnds; });
    ASSERT_TRUE(waitFor([&] { return loads.size() == 1; }, 15000));
    page->runJavaScript(QStringLiteral("for (;;) {}"));
    browser.readBodyMarkup(1);
    browser.navigate(QString::fromStdString(host.linkFor("b.bin")));
    ASSERT_TRUE(waitFor([&] { return loads.size() == 2; }, 15000));
    EXPECT_TRUE(loads[1]);
    ASSERT_TRUE(waitFor([&] { return !reads.empty(); }, 5000));
    EXPECT_EQ(reads, (std::vector<std::pair<quint64, bool>>{{1, false}}));
    const int endsSoFar = rendererEnds;

    EXPECT_FALSE(waitFor([&] { return rendererEnds > endsSoFar; }, 2500));
    browser.readBodyMarkup(2);
    ASSERT_TRUE(waitFor([&] { return reads.size() == 2; }, 5000));
    EXPECT_EQ(reads.back(), std::make_pair(quint64{2}, true));
}

// The browser is the test's: it can complete a page and answer a script
// at the worst moment, while the transfer is real.
class LateAnswers : public WindowFixture {
  protected:
    void SetUp() override {
        WindowFixture::SetUp();
        QDir().mkpath(targetFolder());
        storeSetting(QStringLiteral("Mentes_helye"), targetFolder());
        storeSetting(QStringLiteral("Elhalt"), QStringLiteral("0"));
    }
    QString waitPage(const std::string& address) const {
        return QStringLiteral("<form name=\"dlf\" action=\"%1\"></form><script>var c=0;</script>")
            .arg(QString::fromStdString(address));
    }
    TestHost host;
};

// A signal of a stopped transfer that comes while the next link's transfer
// runs belongs to the old attempt: it is not heard.
TEST_F(LateAnswers, AStoppedTransfersLateSignalCannotEndTheNextOne) {
    HostedFile slow;
    slow.body = std::string(200'000, 's');
    slow.mode = Mode::Slow;
    slow.pieceBytes = 16 * 1024;
    slow.pieceDelayMs = 100;
    host.addFile("old.bin", slow);
    host.addFile("new.bin", slow);
    TForm1& form = open();
    addLink(host.linkFor("old.bin"));
    addLink(host.linkFor("new.bin"));
    // Each link to its transfer at once, without the event loop in between.
    const auto toTransfer = [&](const std::string& name) {
        click("inditas");
        Q_EMIT browser().documentComplete(true);
        Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), true);
        Q_EMIT browser().documentComplete(true);
        Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true,
                                        waitPage(host.base() + "/files/" + name));
        timeUp(control<TTimer>("Timer3"));
        ASSERT_EQ(cycle().state(), CycleState::Transfer);
    };
    toTransfer("old.bin");
    const QPointer<TTesztThread> stopped = cycle().findChild<TTesztThread*>();
    ASSERT_NE(stopped, nullptr);
    click("PM_megallit"); // the button is off during a transfer
    control<QueueGridView>("Linkek")->selectDataRow(1);
    click("sor_torles"); // the stopped link goes
    toTransfer("new.bin");
    ASSERT_NE(stopped, nullptr); // not yet deleted: no event loop has run
    Q_EMIT stopped->workEnd(1234);
    EXPECT_EQ(cycle().state(), CycleState::Transfer);
    ASSERT_TRUE(waitFor([&] { return !form.downloading(); }, 20000));
    ASSERT_EQ(form.log().grid().rowCount(), 2); // one entry
    EXPECT_EQ(form.log().grid().cell(1, LogUrl), host.linkFor("new.bin"));
    EXPECT_EQ(form.log().grid().cell(1, LogStatus), "Sikeres letöltés");
    QFile stored(targetFolder() + QStringLiteral("/new.bin"));
    EXPECT_EQ(stored.size(), 200'000);
}

TEST_F(LateAnswers, AReReadDuringTheCountdownCannotTouchTheTransfer) {
    HostedFile slow;
    slow.body = std::string(300'000, 's');
    slow.mode = Mode::Slow;
    slow.pieceBytes = 16 * 1024;
    slow.pieceDelayMs = 120;
    host.addFile("slow.bin", slow);
    TForm1& form = open();
    addLink(host.linkFor("slow.bin"));
    addLink(host.linkFor("next.bin"));
    cycle().setPageTimeout(std::chrono::milliseconds(1500));

    click("inditas");
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), true);
    Q_EMIT browser().documentComplete(true);
    const QString page = waitPage(host.base() + "/files/slow.bin");
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, page);
    Q_EMIT browser().documentComplete(true); // the page again; its reading is slow
    const quint64 lateRead = fakeBrowser().readTickets.back();
    ASSERT_TRUE(waitFor([&] { return cycle().state() == CycleState::Transfer; }, 5000));
    Q_EMIT browser().bodyMarkupRead(lateRead, true, page);

    ASSERT_TRUE(waitFor([&] { return fakeBrowser().navigated.size() == 2; }, 15000));
    EXPECT_EQ(fakeBrowser().navigated.back(), QString::fromStdString(host.linkFor("next.bin")));
    ASSERT_EQ(form.log().grid().rowCount(), 2); // one entry
    EXPECT_EQ(form.log().grid().cell(1, LogUrl), host.linkFor("slow.bin"));
    EXPECT_EQ(form.log().grid().cell(1, LogStatus), "Sikeres letöltés");
    EXPECT_EQ(form.queue().url(1), host.linkFor("next.bin"));
    EXPECT_EQ(form.queue().attempts(1), "0"); // never tried
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("0"));
    click("Stop");
}

} // namespace
} // namespace vardelo
