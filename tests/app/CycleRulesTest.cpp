// The download cycle's rules with a browser whose answers the test gives.
#include "WaitFor.h"
#include "WindowFixture.h"

#include "core/RowState.h"
#include "platform/HostProfileFiles.h"
#include "platform/LazyBrowser.h"
#include "platform/RecordFiles.h"
#include "session/DownloadCycle.h"
#include "session/DownloadHoursGate.h"
#include "session/TTimer.h"
#include "session/letolto.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>

namespace vardelo {
namespace {

const QString kWaitPage =
    QStringLiteral("<form name=\"dlf\" action=\"http://127.0.0.1:9/files/a.bin\"></form>"
                   "<script>var c=%1;</script>");

class CycleInTheWindow : public WindowFixture {
  protected:
    TForm1& openWithLinks(const std::vector<std::string>& links) {
        storeSetting(QStringLiteral("Elhalt"), QStringLiteral("3"));
        TForm1& form = open();
        for (const auto& link : links)
            addLink(link);
        return form;
    }
    // Drives the browser through the first page and the submission.
    void reachWaitPage() {
        Q_EMIT browser().documentComplete(true);
        Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), true);
        Q_EMIT browser().documentComplete(true);
    }
    void answerWaitPage(const QString& markup) {
        Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, markup);
    }
};

// The session without a window, against the fake browser: what it shows
// and what became of its links are recorded from its signals.
class SessionAlone : public ::testing::Test {
  protected:
    SessionAlone() {
        session.appendLinks({"http://h/link/a", "http://h/link/b"});
        session.listReady();
        QObject::connect(&session, &DownloadSession::statusShown,
                         [this](const QString& text) { status = text; });
        QObject::connect(&session, &DownloadSession::gaugeMaximumShown,
                         [this](int maximum) { gaugeMaximum = maximum; });
        QObject::connect(&session, &DownloadSession::gaugeValueShown,
                         [this](int value) { gaugeValue = value; });
        QObject::connect(&session, &DownloadSession::outcomeRecorded,
                         [this](const std::string&, const AttemptResult& result) {
                             outcomes.push_back(result.outcome);
                         });
    }
    void startToWaitPage(const QString& markup) {
        session.start();
        Q_EMIT browser.documentComplete(true);
        Q_EMIT browser.elementSubmitted(browser.submitTickets.back(), true);
        Q_EMIT browser.documentComplete(true);
        Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, markup);
    }
    // Host P's pages may ask its links to wait.
    static HostProfiles waitingHostProfiles() {
        QString reason;
        HostProfiles set;
        set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"],
            "retry_after": {"pattern": "wait (\\d+) s", "unit": "s"},
            "address": {"selector": "#a", "attribute": "href"}})j",
                                 &reason));
        return set;
    }
    TTimer* timer(const char* name) {
        return cycle.findChild<TTimer*>(QLatin1String(name), Qt::FindDirectChildrenOnly);
    }

    FakeBrowser browser;
    HttpClient http;
    DownloadSession session{browser, http, nullptr};
    DownloadCycle& cycle = *session.findChild<DownloadCycle*>();
    QString status;
    int gaugeMaximum = -1;
    int gaugeValue = -1;
    std::vector<OutcomeKind> outcomes;
};

TEST_F(SessionAlone, WaitPageArrivingBeforeTheSubmitAnswerIsStillRead) {
    std::vector<std::string> read; // the address and the wait, as the cycle tells them
    cycle.setTrace([&](CycleStep step, const std::string& detail) {
        if (step == CycleStep::Address || step == CycleStep::Wait)
            read.push_back(detail);
    });
    session.start();
    Q_EMIT browser.documentComplete(true);
    Q_EMIT browser.documentComplete(true); // the wait page, before the answer
    Q_EMIT browser.elementSubmitted(browser.submitTickets.back(), true);
    ASSERT_EQ(browser.readTickets.size(), 1);
    Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, kWaitPage.arg(5));
    EXPECT_EQ(read, (std::vector<std::string>{"http://127.0.0.1:9/files/a.bin", "5"}));
    EXPECT_EQ(timer("Timer3")->interval(), 6000);
    EXPECT_EQ(gaugeMaximum, 6);
}

TEST_F(SessionAlone, NegativeOrHugeWaitingTimesAreUnreadable) {
    for (const QString& seconds : {QStringLiteral("-1"), QStringLiteral("86401")}) {
        outcomes.clear();
        startToWaitPage(kWaitPage.arg(seconds));
        EXPECT_EQ(outcomes, std::vector{OutcomeKind::WaitPageUnreadable}) << seconds.toStdString();
        EXPECT_FALSE(timer("Timer3")->enabled());
        EXPECT_FALSE(cycle.downloading());
    }
}

// The wait page loaded again asks for its text; the transfer that begins
// before the answer comes is not turned back into a countdown by it.
TEST_F(SessionAlone, AWaitPageAnswerAfterTheTransferBegunIsNotHeard) {
    startToWaitPage(kWaitPage.arg(10));
    Q_EMIT browser.documentComplete(true);
    cycle.skipWait();
    ASSERT_EQ(cycle.state(), CycleState::Transfer);
    Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, kWaitPage.arg(10));
    EXPECT_EQ(cycle.state(), CycleState::Transfer);
    EXPECT_FALSE(timer("Timer3")->enabled());
    cycle.stop();
    for (auto* transfer : cycle.findChildren<QThread*>())
        transfer->wait();
}

TEST_F(SessionAlone, CountdownTickAfterStopSaysStopped) {
    startToWaitPage(kWaitPage.arg(10));
    EXPECT_TRUE(timer("Timer4")->enabled());
    session.stop();
    timeUp(timer("Timer4")); // a tick already on its way
    EXPECT_EQ(status, QStringLiteral("Letöltés megállítva!"));
    EXPECT_EQ(gaugeValue, 0);
    EXPECT_FALSE(timer("Timer4")->enabled());
    EXPECT_TRUE(outcomes.empty());
}

// A session told no record folder (the probe's) keeps a host's wait in
// memory only: no file is written anywhere.
TEST_F(SessionAlone, AHostsWaitWithoutARecordFolderWritesNoFile) {
    const HostProfiles set = waitingHostProfiles();
    ASSERT_EQ(set.size(), 1U);
    DownloadSession probing{browser, http, &set};
    probing.appendLinks({"http://p.example/f/1"});
    probing.start();
    Q_EMIT browser.documentComplete(true);
    Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, QStringLiteral("wait 60 s"));
    EXPECT_FALSE(probing.hostWaitUntil("http://p.example/f/1").isEmpty());
    EXPECT_FALSE(QFile::exists(QStringLiteral("/HostWaits.Vdl")));
}

// The page the last step's element led to, where the file was awaited,
// ends the try; what any step's patterns say of it counts first.
TEST_F(SessionAlone, APageAfterTheLastStepIsNoFile) {
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "S", "links": ["//s\\.example/"],
        "steps": [{"dead": "Link expired", "submit": "#go"}]})j",
                             &reason));
    ASSERT_EQ(set.size(), 1U) << reason.toStdString();
    const struct {
        QString page;
        OutcomeKind outcome;
        std::string failure;
    } pages[] = {
        {QStringLiteral("<p>Thank you</p>"), OutcomeKind::WaitPageUnreadable,
         "step 2: the last step led to a page, not to the file"},
        {QStringLiteral("<p>Link expired</p>"), OutcomeKind::DeadLink,
         "step 2: the profile's dead pattern matches the page"},
    };
    for (const auto& page : pages) {
        DownloadSession walking{browser, http, &set};
        std::vector<OutcomeKind> ended;
        QObject::connect(&walking, &DownloadSession::outcomeRecorded,
                         [&](const std::string&, const AttemptResult& result) {
                             ended.push_back(result.outcome);
                         });
        std::string failure;
        walking.findChild<DownloadCycle*>()->setTrace(
            [&](CycleStep step, const std::string& detail) {
                if (step == CycleStep::Failed)
                    failure = detail;
            });
        walking.appendLinks({"http://s.example/f/1"});
        walking.start();
        Q_EMIT browser.documentComplete(true);
        Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true,
                                      QStringLiteral("<a id=go>"));
        ASSERT_FALSE(browser.activated.isEmpty());
        Q_EMIT browser.elementSubmitted(browser.activated.back().first, true);
        Q_EMIT browser.documentComplete(true);
        Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, page.page);
        EXPECT_EQ(failure, page.failure);
        EXPECT_EQ(ended, std::vector{page.outcome}) << page.failure;
    }
}

// A session told a record folder keeps its records itself, with no window
// to ask it: a change of the queue within the background save's delay, an
// outcome at once, both on disk while the session still runs.
TEST_F(SessionAlone, KeepsItsOwnRecordsWithoutAWindow) {
    QTemporaryDir folder;
    DownloadSession keeping{browser, http, nullptr};
    keeping.keepRecordsIn(folder.path());
    keeping.loadRecords();
    keeping.listReady();
    const QString stored = folder.filePath(QStringLiteral("Lista.Vdl"));
    // The second row's link and tries as stored; nothing before it is.
    const auto storedSecond = [&stored]() -> std::pair<std::string, std::string> {
        DownloadQueue queue;
        if (QFile::exists(stored))
            readRecordFile(stored, queueRecordLayout(), queue.grid());
        if (queue.rowCount() < 3)
            return {};
        return {queue.url(2), queue.attempts(2)};
    };
    keeping.appendLinks({"http://h/link/kept", "http://h/link/next"});
    ASSERT_TRUE(waitFor([&] { return storedSecond().first == "http://h/link/next"; }, 10000));

    keeping.start();
    Q_EMIT browser.documentComplete(true);
    Q_EMIT browser.elementSubmitted(browser.submitTickets.back(), false); // a dead link's page
    ASSERT_EQ(keeping.queue().attempts(2), "1");
    // Well inside the delay of a background save of any other change.
    EXPECT_TRUE(waitFor([&] { return storedSecond().second == "1"; }, 1500));
    keeping.stop();
}

// Three at once: the first link of each free host in queue order, each on
// a page of its own; an outcome goes to its link's row and that cycle takes
// the next link, a failed link's host after the dead-link wait; the
// stop-after switch starts none; Stop stops every one.
TEST_F(SessionAlone, SeveralAtOnceTakeEachFreeHostsFirstLinkInQueueOrder) {
    session.appendLinks({"http://h2/link/c", "http://h3/link/d"});
    session.settings().Egyszerre = 3;
    session.settings().elhalt = 1;
    session.start();
    ASSERT_EQ(browser.hiddenPages.size(), 2);
    FakeBrowser& pageC = *browser.hiddenPages[0];
    FakeBrowser& pageD = *browser.hiddenPages[1];
    EXPECT_EQ(browser.navigated, QStringList{QStringLiteral("http://h/link/a")});
    EXPECT_EQ(pageC.navigated, QStringList{QStringLiteral("http://h2/link/c")});
    EXPECT_EQ(pageD.navigated, QStringList{QStringLiteral("http://h3/link/d")});
    EXPECT_FALSE(session.isRunning("http://h/link/b")); // its host runs a already
    // Running rows take none of the user's commands.
    EXPECT_FALSE(session.deleteRow(3));
    EXPECT_FALSE(session.moveToEnd(3));
    EXPECT_EQ(session.rowState(4).kind, RowState::Kind::Page);

    Q_EMIT pageC.documentComplete(false); // c's page does not load
    EXPECT_EQ(outcomes, std::vector{OutcomeKind::DeadLink});
    EXPECT_EQ(session.queue().url(4), "http://h2/link/c");
    EXPECT_EQ(session.queue().attempts(4), "1");
    // Its host waits the dead-link wait; the others go on meanwhile.
    settle();
    EXPECT_EQ(pageC.navigated.size(), 1);
    EXPECT_EQ(session.rowState(4).kind, RowState::Kind::DeadLinkWait);
    EXPECT_TRUE(session.isRunning("http://h3/link/d"));
    ASSERT_TRUE(waitFor([&] { return pageC.navigated.size() == 2; }, 5000));
    EXPECT_TRUE(session.isRunning("http://h2/link/c"));

    session.stop(); // three running
    EXPECT_FALSE(session.downloading());
    EXPECT_EQ(outcomes.size(), 1U);

    session.start(); // a, d and c again, each on the first free page
    EXPECT_EQ(pageC.navigated.back(), QStringLiteral("http://h3/link/d"));
    EXPECT_EQ(pageD.navigated.back(), QStringLiteral("http://h2/link/c"));
    EXPECT_EQ(session.pressRow(4, 1), QueueDrag::Press::Refused);
    session.settings().letoltes_utan_stop = true;
    Q_EMIT pageC.documentComplete(false); // d's
    settle();
    EXPECT_EQ(pageC.navigated.size(), 3);
    EXPECT_FALSE(session.isRunning("http://h3/link/d"));
    EXPECT_TRUE(session.isRunning("http://h2/link/c"));
    // Offline rows leave the queue; the running ones stay.
    EXPECT_EQ(session.removeAsDead([](const std::string&) { return true; }).size(), 2U);
    EXPECT_EQ(session.queue().rowCount(), 3);
    // A page whose engine cannot start stops them all.
    Q_EMIT pageD.cannotStart(QStringLiteral("no engine"));
    EXPECT_FALSE(session.downloading());
}

// A queued copy of the running link is only queued: the running row alone
// shows what its attempt does.
TEST_F(SessionAlone, AQueuedCopyOfARunningLinkShowsItsOwnState) {
    session.appendLinks({"http://h/link/a"});
    session.start();
    EXPECT_EQ(session.rowState(1).kind, RowState::Kind::Page);
    EXPECT_EQ(session.rowState(3).kind, RowState::Kind::None);
}

// The link check runs in the session alone: with several links at once, a
// link that starts running while the check runs is not loaded by the check
// when its turn comes, and what the check found goes with a link that
// leaves the queue.
TEST_F(SessionAlone, TheLinkCheckLoadsNoRunningLinksPage) {
    QString reason;
    HostProfiles known;
    known.add(parseHostProfile(QByteArray(R"({"name": "A", "links": [":1/a/"], "per_host": 2,
                       "dead": "Gone", "steps": [{"name": {"selector": "h1"}, "submit": "#b"}]})"),
                               &reason));
    DownloadSession checking{browser, http, &known};
    checking.appendLinks(
        {"http://127.0.0.1:1/a/1", "http://127.0.0.1:1/a/2", "http://127.0.0.1:1/a/3"});
    checking.listReady();
    checking.settings().Egyszerre = 2;
    checking.checkLinks(); // a port nothing listens on: the text is refused, a page loads
    ASSERT_TRUE(waitFor([&] { return browser.hiddenPages.size() == 1; }, 5000));
    checking.start();
    ASSERT_TRUE(waitFor(
        [&] {
            return browser.hiddenPages.size() == 2 && browser.hiddenPages[1]->navigated.size() == 1;
        },
        2000));
    ASSERT_EQ(browser.hiddenPages[1]->navigated,
              QStringList{QStringLiteral("http://127.0.0.1:1/a/2")});
    // a/1's check finds it dead, then a/2's turn comes while its cycle works on it.
    Q_EMIT browser.hiddenPages[0]->documentComplete(true);
    Q_EMIT browser.hiddenPages[0]->bodyMarkupRead(browser.hiddenPages[0]->readTickets.back(), true,
                                                  QStringLiteral("Gone"));
    EXPECT_TRUE(waitFor([&] { return browser.hiddenPages[0]->navigated.size() == 2; }, 2000));
    EXPECT_EQ(browser.hiddenPages[0]->navigated,
              (QStringList{QStringLiteral("http://127.0.0.1:1/a/1"),
                           QStringLiteral("http://127.0.0.1:1/a/3")}));
    checking.stop();
    ASSERT_NE(checking.linkFactsOf("http://127.0.0.1:1/a/1"), nullptr);
    EXPECT_EQ(checking.linkFactsOf("http://127.0.0.1:1/a/1")->availability, Availability::Offline);
    checking.removeOfflineLinks();
    EXPECT_EQ(checking.linkFactsOf("http://127.0.0.1:1/a/1"), nullptr);
}

// Once no link has run for the rest time, every page goes, hidden ones
// too (the engine's processes with them), once; the next Start opens a
// page again.
TEST_F(SessionAlone, PagesAreLetGoAtRestAndTheNextStartOpensOneAgain) {
    session.setPageRestTime(std::chrono::milliseconds(20));
    session.appendLinks({"http://h2/link/c"});
    session.settings().Egyszerre = 2;
    session.start();
    ASSERT_EQ(browser.hiddenPages.size(), 1);
    FakeBrowser& pageC = *browser.hiddenPages[0];
    Q_EMIT pageC.documentComplete(false); // c is given up; a runs on
    settle();
    auto* rest = session.findChild<QTimer*>(QStringLiteral("pageRest"));
    timeUp(rest);
    EXPECT_EQ(browser.released + pageC.released, 0);
    session.stop();
    ASSERT_TRUE(waitFor([&] { return browser.released == 1 && pageC.released == 1; }, 5000));
    // Closed pages do not rest again.
    Q_EMIT session.rowStatesChanged(); // the rest is weighed again
    settle();
    EXPECT_FALSE(rest->isActive());
    // A link stopped before the session looked opened its page all the same.
    session.start();
    EXPECT_EQ(browser.navigated.size(), 2);
    session.stop();
    EXPECT_TRUE(waitFor([&] { return browser.released == 2; }, 5000));
}

// A host that asks to wait parks only its own links; the others run on, and
// its next link starts when its wait is over.
TEST_F(SessionAlone, AWaitingHostsLinksArePassedOverUntilItsWaitEnds) {
    const HostProfiles set = waitingHostProfiles();
    DownloadSession several{browser, http, &set};
    several.appendLinks({"http://p.example/1", "http://p.example/2", "http://q.example/3"});
    several.settings().Egyszerre = 2;
    several.start();
    ASSERT_EQ(browser.hiddenPages.size(), 1);
    EXPECT_EQ(browser.hiddenPages[0]->navigated, QStringList{QStringLiteral("http://q.example/3")});
    Q_EMIT browser.documentComplete(true);
    Q_EMIT browser.bodyMarkupRead(browser.readTickets.back(), true, QStringLiteral("wait 1 s"));
    EXPECT_EQ(several.queue().url(3), "http://p.example/1");
    settle();
    EXPECT_EQ(browser.navigated.size(), 1); // p/2 waits with its host
    EXPECT_TRUE(several.isRunning("http://q.example/3"));
    ASSERT_TRUE(waitFor([&] { return browser.navigated.size() == 2; }, 10000));
    EXPECT_EQ(browser.navigated.back(), QStringLiteral("http://p.example/2"));
}

TEST_F(CycleInTheWindow, StartRefusesAnEmptyQueueWithAMessage) {
    TForm1& form = openWithLinks({});
    control<QLabel>("allapot")->setText(QStringLiteral("x"));
    control<QAction>("PM_indit")->trigger();
    EXPECT_EQ(dialogs.informations, QStringList{QStringLiteral("Üres a letöltési lista!")});
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
    EXPECT_FALSE(form.downloading());
}

TEST_F(CycleInTheWindow, StartLoadsTheHeadAndSetsTheRunControls) {
    TForm1& form = openWithLinks({"http://h/link/a", "http://h/link/b"});
    control<QPushButton>("inditas")->click();
    EXPECT_EQ(fakeBrowser().navigated, QStringList{QStringLiteral("http://h/link/a")});
    EXPECT_TRUE(form.downloading());
    EXPECT_FALSE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_FALSE(control<QAction>("PM_indit")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("Stop")->isEnabled());
    EXPECT_TRUE(control<QAction>("PM_megallit")->isEnabled());
    EXPECT_TRUE(control<QCheckBox>("letoltes_utan_stop")->isEnabled());
    click("inditas"); // a second Start while running does nothing
    EXPECT_EQ(fakeBrowser().navigated.size(), 1);
}

TEST_F(CycleInTheWindow, FormIsSubmittedAndTheWaitPageArmsTheCountdown) {
    openWithLinks({"http://h/link/a"});
    click("inditas");
    reachWaitPage();
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Weblap betöltése"));
    answerWaitPage(kWaitPage.arg(30));
    EXPECT_EQ(control<TTimer>("Timer3")->interval(), 31000);
    EXPECT_EQ(control<QProgressBar>("gauge1")->maximum(), 31);
    EXPECT_TRUE(control<TTimer>("Timer3")->enabled());
    EXPECT_TRUE(control<TTimer>("Timer4")->enabled());

    timeUp(control<TTimer>("Timer4"));
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("29 mp múlva indul a letöltés"));
    EXPECT_EQ(control<QProgressBar>("gauge1")->value(), 29);
}

TEST_F(CycleInTheWindow, ReReadingTheSameWaitKeepsTheTransfersTime) {
    openWithLinks({"http://h/link/a"});
    click("inditas");
    reachWaitPage();
    answerWaitPage(kWaitPage.arg(30));
    ASSERT_TRUE(waitFor([&] { return control<TTimer>("Timer3")->remainingTime() < 30800; }, 5000));
    const int remaining = control<TTimer>("Timer3")->remainingTime();
    Q_EMIT browser().documentComplete(true); // a frame of the wait page
    answerWaitPage(kWaitPage.arg(30));
    EXPECT_LE(control<TTimer>("Timer3")->remainingTime(), remaining);
    answerWaitPage(kWaitPage.arg(20));
    EXPECT_EQ(control<TTimer>("Timer3")->interval(), 21000);
    EXPECT_GT(control<TTimer>("Timer3")->remainingTime(), 20800);
}

TEST_F(CycleInTheWindow, AnswersOfAnAbandonedAttemptAreDropped) {
    TForm1& form = openWithLinks({"http://h/link/a", "http://h/link/b"});
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    const quint64 oldTicket = fakeBrowser().submitTickets.back();
    click("Stop");
    click("inditas");
    Q_EMIT browser().elementSubmitted(oldTicket, false);          // would be a dead link
    Q_EMIT browser().bodyMarkupRead(oldTicket, false, QString()); // likewise
    EXPECT_TRUE(form.log().isEmpty());
    EXPECT_TRUE(form.downloading());
    EXPECT_EQ(form.queue().attempts(1), "0");
}

TEST_F(CycleInTheWindow, AStaleAnswerAfterTheNextAttemptsFirstPageIsDropped) {
    TForm1& form = openWithLinks({"http://h/link/a", "http://h/link/b"});
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    const quint64 oldTicket = fakeBrowser().submitTickets.back();
    click("Stop");
    click("inditas");
    Q_EMIT browser().documentComplete(true); // the new attempt asks for its own submission
    Q_EMIT browser().elementSubmitted(oldTicket, true);
    Q_EMIT browser().documentComplete(true);
    EXPECT_TRUE(fakeBrowser().readTickets.isEmpty()); // still the first page
    Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), false);
    EXPECT_EQ(form.queue().attempts(2), "1");
}

TEST_F(CycleInTheWindow, APageThatNeverFinishesIsGivenUpAndStopped) {
    TForm1& form = openWithLinks({"http://h/link/a", "http://h/link/b"});
    cycle().setPageTimeout(std::chrono::milliseconds(100));
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return form.queue().attempts(2) == "1"; }, 5000));
    EXPECT_EQ(form.queue().url(2), "http://h/link/a");
    EXPECT_EQ(fakeBrowser().abandoned, 1);
    EXPECT_TRUE(control<TTimer>("elhalt_kijelzo")->enabled());
}

TEST_F(CycleInTheWindow, DeadLinkIsRequeuedAndTheWaitCountsDown) {
    DownloadQueue handEdited;
    handEdited.append("http://h/dead");
    handEdited.setAttempts(1, "x"); // counts as 0
    storeQueue(handEdited);
    TForm1& form = openWithLinks({"http://h/link/b"});
    click("inditas");
    Q_EMIT browser().elementSubmitted(0, false); // a stray answer changes nothing
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), false);

    EXPECT_EQ(form.queue().url(2), "http://h/dead");
    EXPECT_EQ(form.queue().attempts(2), "1");
    EXPECT_TRUE(form.log().isEmpty());
    EXPECT_TRUE(form.listIdle());
    EXPECT_TRUE(control<TTimer>("elhalt_kijelzo")->enabled());
    EXPECT_EQ(control<QProgressBar>("gauge1")->maximum(), 3);
    EXPECT_EQ(control<QProgressBar>("gauge1")->minimum(), 0);
    for (const char* shown : {"3", "2", "1"}) {
        timeUp(control<TTimer>("elhalt_kijelzo"));
        EXPECT_EQ(control<QLabel>("allapot")->text(),
                  QStringLiteral("Elhalt link utáni várakozás, még ") + QLatin1String(shown) +
                      QStringLiteral(" másodperc"));
        EXPECT_EQ(fakeBrowser().navigated.size(), 1);
    }
    timeUp(control<TTimer>("elhalt_kijelzo")); // the tick that shows 0 starts the next link
    EXPECT_FALSE(control<TTimer>("elhalt_kijelzo")->enabled());
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Weblap betöltése"));
    EXPECT_EQ(fakeBrowser().navigated.back(), QStringLiteral("http://h/link/b"));
}

TEST_F(CycleInTheWindow, UnreadableWaitPageOfTheOnlyLinkIsGivenUpAndDisarmsTheTimers) {
    TForm1& form = openWithLinks({"http://h/link/a"});
    click("inditas");
    reachWaitPage();
    answerWaitPage(kWaitPage.arg(30));
    Q_EMIT browser().documentComplete(true);
    answerWaitPage(QStringLiteral("<p>Már töltesz egy fájlt.</p>"));
    EXPECT_EQ(form.log().grid().cell(1, LogAttempts), "Próbálva:5 (Másik rapidos szál futott.)");
    EXPECT_FALSE(control<TTimer>("Timer3")->enabled());
    EXPECT_FALSE(control<TTimer>("Timer4")->enabled());
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("1"));
}

TEST_F(CycleInTheWindow, WhyALinkWasGivenUpIsItsStatusCellsTooltip) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    openWithLinks({"h/no-scheme", "http://h/link/b", "http://h/link/c"});
    const auto nextLink = [&] {
        for (int tick = 0; tick <= 3; ++tick)
            timeUp(control<TTimer>("elhalt_kijelzo"));
    };
    click("inditas");
    Q_EMIT browser().documentComplete(false); // the browser refuses what is no address
    nextLink();
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().elementSubmitted(fakeBrowser().submitTickets.back(), false);
    nextLink();
    Q_EMIT browser().documentComplete(false);
    EXPECT_EQ(statusTips(), (std::vector<std::string>{
                                "Elutasított cím: csak http vagy https cím tölthető le",
                                "Weblap hiba: a link oldalán nincs ingyenes letöltési űrlap",
                                "Weblap hiba: az oldal nem töltődött be"}));
}

// What the program says to its diagnostics while a test listens.
QStringList& toldLines() {
    static QStringList lines;
    return lines;
}

void keepTold(QtMsgType, const QMessageLogContext&, const QString& text) {
    toldLines() << text;
}

// The program's browser: the engine is made at its first need, or fails.
class LazyEngine : public CycleInTheWindow {
  protected:
    std::unique_ptr<Browser> makeBrowser() override {
        return std::make_unique<LazyBrowser>([this](QObject* parent, QString* failure) -> Browser* {
            ++made;
            if (!engineStarts) // the real loader, where no module loads
                return LazyBrowser::loadEngineModuleFrom(
                    {path(QStringLiteral("missing")), path(QStringLiteral("broken"))}, parent,
                    failure);
            engine = new FakeBrowser;
            engine->setParent(parent);
            return engine;
        });
    }
    int made = 0;
    bool engineStarts = true;
    FakeBrowser* engine = nullptr;
};

TEST_F(LazyEngine, IsMadeAtTheFirstLookOrStartAndOnlyOnce) {
    TForm1& form = openWithLinks({"http://h/link/a"});
    form.show(); // the first activation passes the "Weblap" page
    QCoreApplication::processEvents();
    EXPECT_EQ(made, 0);
    control<QTabWidget>("Lapok")->setCurrentWidget(control<QWidget>("Weblap"));
    ASSERT_TRUE(waitFor([this] { return made == 1; }, 5000));
    click("inditas");
    EXPECT_EQ(made, 1);
    EXPECT_EQ(engine->navigated, QStringList{QStringLiteral("http://h/link/a")});
    // The walk asks it before it takes a quiet click for one that started a script.
    engine->loading = true;
    EXPECT_TRUE(browser().isLoading());
}

// A module that does not load is this computer's fault: the run stops as
// Stop stops it, every link stays untried, and the box says what was looked
// for and what the loader answered. Each Start says it again.
TEST_F(LazyEngine, ThatCannotStartStopsTheRunLeavingTheQueueAndSaysWhy) {
    engineStarts = false;
    QDir().mkpath(path(QStringLiteral("broken")));
    QFile broken(path(QStringLiteral("broken/vardelo_webengine.so")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("not a library");
    broken.close();
    // A profile that presets a cookie asks the browser twice before its page:
    // still one box a Start.
    QString reason;
    HostProfiles known;
    known.add(parseHostProfile(R"j({"name": "H", "links": ["//h/link/"], "after_wait": "#b",
        "cookies": {"lang": "en"}})j",
                               &reason));
    profiles = &known;
    TForm1& form = openWithLinks({"http://h/link/a", "http://h/link/b"});
    toldLines().clear();
    const QtMessageHandler before = qInstallMessageHandler(&keepTold);
    for (int start = 1; start <= 2; ++start) {
        click("inditas");
        ASSERT_TRUE(waitFor([&] { return dialogs.errors.size() == start; }, 5000));
        settle(); // the failed answer that follows the telling
        EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
        EXPECT_FALSE(form.downloading());
        EXPECT_FALSE(control<TTimer>("elhalt_kijelzo")->enabled());
    }
    qInstallMessageHandler(before);
    EXPECT_FALSE(toldLines().filter(QStringLiteral("cannot start")).isEmpty());
    EXPECT_TRUE(toldLines().filter(QStringLiteral("module loaded")).isEmpty());
    EXPECT_EQ(made, 1);
    EXPECT_EQ(form.queue().url(1), "http://h/link/a");
    EXPECT_EQ(form.queue().url(2), "http://h/link/b");
    EXPECT_EQ(form.queue().attempts(1), "0");
    EXPECT_TRUE(form.log().isEmpty());
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("0"));
    const QString& box = dialogs.errors[0];
    EXPECT_TRUE(box.startsWith(QStringLiteral("A program böngészőrészét nem sikerült betölteni")))
        << box.toStdString();
    EXPECT_TRUE(box.contains(path(QStringLiteral("missing/vardelo_webengine.so"))))
        << box.toStdString();
    EXPECT_TRUE(box.contains(path(QStringLiteral("broken/vardelo_webengine.so"))))
        << box.toStdString();
    EXPECT_TRUE(box.contains(QStringLiteral("No such file"))) << box.toStdString();
    EXPECT_EQ(dialogs.errors[1], box);
    EXPECT_EQ(dialogs.errors.size(), 2);
    // Several at once: no page without the engine, and still one box a Start.
    control<QSpinBox>("Egyszerre")->setValue(3);
    click("inditas");
    ASSERT_TRUE(waitFor([&] { return dialogs.errors.size() == 3; }, 5000));
    settle();
    EXPECT_EQ(dialogs.errors.size(), 3);
    EXPECT_FALSE(form.downloading());
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
}

TEST_F(CycleInTheWindow, ADeadLinkWaitOfZeroLeavesTheGaugeEmptyNotBusy) {
    storeSetting(QStringLiteral("Elhalt"), QStringLiteral("0"));
    open();
    addLink("http://h/dead");
    addLink("http://h/link/b");
    click("inditas");
    Q_EMIT browser().documentComplete(false);
    EXPECT_TRUE(control<TTimer>("elhalt_kijelzo")->enabled());
    EXPECT_GT(control<QProgressBar>("gauge1")->maximum(),
              0); // a 0..0 range would be Qt's busy animation
    EXPECT_EQ(control<QProgressBar>("gauge1")->value(), 0);
}

TEST_F(CycleInTheWindow, StopAfterMirrorsBothWaysAndStopClearsBoth) {
    openWithLinks({"http://h/link/a"});
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->click();
    EXPECT_TRUE(control<QAction>("PM_letoltes_utan_stop")->isChecked());
    control<QAction>("PM_letoltes_utan_stop")->trigger();
    EXPECT_FALSE(control<QCheckBox>("letoltes_utan_stop")->isChecked());
    EXPECT_FALSE(control<QAction>("PM_letoltes_utan_stop")->isChecked());
    control<QAction>("PM_letoltes_utan_stop")->trigger();
    EXPECT_TRUE(control<QCheckBox>("letoltes_utan_stop")->isChecked());
    click("Stop");
    EXPECT_FALSE(control<QCheckBox>("letoltes_utan_stop")->isChecked());
    EXPECT_FALSE(control<QAction>("PM_letoltes_utan_stop")->isChecked());
    EXPECT_FALSE(control<QAction>("PM_letoltes_utan_stop")->isEnabled());
}

TEST_F(CycleInTheWindow, OutsideTheDownloadHoursStartWaitsGoesWhenTheyOpenAndStopEndsTheWait) {
    storeSetting(QStringLiteral("Idoablak"), QStringLiteral("1"));
    storeSetting(QStringLiteral("Idoablak_kezdete"), QStringLiteral("1350")); // 22:30
    storeSetting(QStringLiteral("Idoablak_vege"), QStringLiteral("360"));     // 06:00
    openWithLinks({"http://h/dead", "http://h/link/b"});
    QTime now(22, 10); // the hour has come, its minutes not yet
    auto* gate = control<DownloadHoursGate>("hoursGate");
    gate->setClock([&now] { return now; });
    const QString waiting = QStringLiteral("Letöltés 22:30-kor indul");

    control<QPushButton>("inditas")->click();
    EXPECT_TRUE(fakeBrowser().navigated.isEmpty());
    EXPECT_EQ(control<QLabel>("allapot")->text(), waiting);
    EXPECT_FALSE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_TRUE(control<QPushButton>("Stop")->isEnabled());
    now = QTime(22, 30);
    ASSERT_TRUE(waitFor([&] { return fakeBrowser().navigated.size() == 1; }, 5000));
    EXPECT_EQ(control<QLabel>("allapot")->text(), QStringLiteral("Weblap betöltése"));

    // Past midnight the link runs on to its outcome; the next one waits.
    now = QTime(6, 0);
    Q_EMIT browser().documentComplete(false);
    for (int tick = 0; tick < 4; ++tick)
        timeUp(control<TTimer>("elhalt_kijelzo"));
    EXPECT_EQ(fakeBrowser().navigated.size(), 1);
    EXPECT_EQ(control<QLabel>("allapot")->text(), waiting);
    EXPECT_TRUE(gate->waiting());

    click("Stop");
    EXPECT_FALSE(gate->waiting());
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());

    // Several at once wait alike, and say so.
    control<QSpinBox>("Egyszerre")->setValue(2);
    click("inditas");
    EXPECT_EQ(fakeBrowser().navigated.size(), 1);
    EXPECT_EQ(control<QLabel>("allapot")->text(), waiting);
    click("Stop");
    EXPECT_EQ(control<QLabel>("allapot")->text(), QString());
}

TEST_F(CycleInTheWindow, SettingsCheckBoxesAndTrayItemsMirror) {
    openWithLinks({});
    control<QAction>("PM_auto_le")->trigger();
    EXPECT_TRUE(control<QCheckBox>("auto_le")->isChecked());
    EXPECT_TRUE(control<QAction>("PM_auto_le")->isChecked());
    control<QCheckBox>("vagolap")->click();
    EXPECT_TRUE(control<QAction>("PM_vagolap")->isChecked());
    control<QAction>("PM_vagolap")->trigger();
    EXPECT_FALSE(control<QCheckBox>("vagolap")->isChecked());
    EXPECT_FALSE(control<QAction>("PM_vagolap")->isChecked());
}

TEST_F(CycleInTheWindow, LogClearsOnlyAfterYesAndRequeuesFailedLinks) {
    storeLog(
        {successEntry("http://ok", "1 MB"), givenUpEntry("http://bad", OutcomeKind::DeadLink, 5)});
    TForm1& form = openWithLinks({"http://h/q"});
    dialogs.nextAnswer = false;
    control<QPushButton>("button1")->click();
    EXPECT_EQ(dialogs.questions,
              QStringList{QStringLiteral("Biztosan törlöd a napló összes elemét?")});
    EXPECT_EQ(form.log().grid().rowCount(), 3);
    control<QPushButton>("hibasak_ujra")->click();
    EXPECT_EQ(form.queue().url(2), "http://bad");
    EXPECT_EQ(form.log().grid().rowCount(), 2);
    dialogs.nextAnswer = true;
    control<QPushButton>("button1")->click();
    EXPECT_TRUE(form.log().isEmpty());
}

TEST_F(CycleInTheWindow, ResetClearsOnlyTheCurrentRun) {
    storeSetting(QStringLiteral("osszes_letoltott_db"), QStringLiteral("9"));
    TForm1& form = openWithLinks({"http://h/gone"});
    giveUpHeadLink();
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("1"));
    click("stat_null1");
    EXPECT_EQ(control<QLabel>("jkdb")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QLabel>("jldb")->text(), QStringLiteral("0"));
    EXPECT_EQ(control<QLabel>("jlm")->text(), QStringLiteral("0 MB"));
    EXPECT_EQ(control<QLabel>("okdb")->text(), QStringLiteral("1"));
    EXPECT_EQ(form.statistics().osszes_letoltott_db, 9);
}

// A host profile's steps take only their own answers, and the download the
// page leads to only once the wait is over and the attempt still runs.
TEST_F(CycleInTheWindow, ProfileStepsTakeOnlyTheirOwnAnswersInTheirOwnTime) {
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"], "form": "#go",
        "wait": {"selector": "#s"}, "after_wait": "#dl"})j",
                             &reason));
    profiles = &set;
    TForm1& form = openWithLinks({"http://p.example/f/1"});
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    const quint64 firstRead = fakeBrowser().readTickets.back();
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().navigated.size(), true,
                                    QString()); // not its ticket
    Q_EMIT browser().elementSubmitted(firstRead, true);
    EXPECT_TRUE(fakeBrowser().activated.isEmpty());
    Q_EMIT browser().bodyMarkupRead(firstRead, true, QStringLiteral("<a id=go>"));
    ASSERT_EQ(fakeBrowser().activated.size(), 1);
    EXPECT_EQ(fakeBrowser().activated[0].second, QStringLiteral("#go"));

    Q_EMIT browser().elementSubmitted(fakeBrowser().activated[0].first, true);
    Q_EMIT browser().documentComplete(true);
    const quint64 waitPageRead = fakeBrowser().readTickets.back();
    Q_EMIT browser().bodyMarkupRead(waitPageRead, true, QString());
    ASSERT_EQ(fakeBrowser().elementReads.size(), 1);
    Q_EMIT browser().elementRead(waitPageRead, true, QStringLiteral("1")); // another step's ticket
    EXPECT_EQ(cycle().state(), CycleState::WaitPage);
    Q_EMIT browser().elementRead(fakeBrowser().elementReads[0].first, true, QStringLiteral(" 5 "));
    EXPECT_EQ(control<TTimer>("Timer3")->interval(), 6000);
    Q_EMIT browser().downloadRequested(QStringLiteral("http://p.example/early.bin"));
    EXPECT_EQ(cycle().state(), CycleState::Countdown);

    timeUp(control<TTimer>("Timer3"));
    ASSERT_EQ(fakeBrowser().activated.size(), 2);
    EXPECT_EQ(fakeBrowser().activated[1].second, QStringLiteral("#dl"));
    click("PM_megallit"); // the button is off once the wait is over

    Q_EMIT browser().downloadRequested(QStringLiteral("http://p.example/late.bin"));
    EXPECT_EQ(cycle().state(), CycleState::Idle);
    EXPECT_FALSE(form.downloading());
    EXPECT_TRUE(form.log().isEmpty());
}

// A captcha beside a countdown holds the file back until it is solved, also
// where the address was read before the wait.
TEST_F(CycleInTheWindow, AnUnsolvedCaptchaHoldsTheTransferBackAfterTheWait) {
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"], "captcha": "#c",
        "wait": {"selector": "#w"}, "address": {"selector": "#a", "attribute": "href"}})j",
                             &reason));
    profiles = &set;
    openWithLinks({"http://p.example/f/1"});
    fakeBrowser().address = QStringLiteral("http://p.example/f/1");
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, QString());
    const auto answer = [&](int read, const char* text) {
        ASSERT_GT(fakeBrowser().elementReads.size(), read);
        Q_EMIT browser().elementRead(fakeBrowser().elementReads[read].first, true,
                                     QString::fromLatin1(text));
    };
    answer(0, "captcha");
    answer(1, "1");
    answer(2, "http://p.example/f.bin");
    ASSERT_EQ(cycle().state(), CycleState::Countdown);
    timeUp(control<TTimer>("Timer3"));
    EXPECT_EQ(cycle().state(), CycleState::Captcha);
    EXPECT_EQ(control<QLabel>("allapot")->text(),
              QStringLiteral("Captcha: oldd meg a Weblap lapon!"));
}

// With a solved reader, only it answers: the page moving on (to another
// host) and a blank token leave the captcha asked; when the user's time is
// over the status line no longer asks.
TEST_F(CycleInTheWindow, OnlyTheSolvedReaderSolvesACaptcha) {
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"], "captcha": "#c",
        "captcha_solved": {"selector": "#token", "attribute": "value"},
        "address": {"selector": "#a", "attribute": "href"}})j",
                             &reason));
    profiles = &set;
    openWithLinks({"http://p.example/f/1"});
    cycle().setCaptchaTimeout(std::chrono::milliseconds(3000));
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, QString());
    ASSERT_EQ(fakeBrowser().elementReads.size(), 1);
    Q_EMIT browser().elementRead(fakeBrowser().elementReads[0].first, true, QStringLiteral("x"));
    const QString asked = QStringLiteral("Captcha: oldd meg a Weblap lapon!");
    ASSERT_EQ(control<QLabel>("allapot")->text(), asked);
    ASSERT_EQ(fakeBrowser().elementReads.back().second, QStringLiteral("#a"));
    Q_EMIT browser().elementRead(fakeBrowser().elementReads.back().first, true,
                                 QStringLiteral("http://p.example/f.bin"));
    fakeBrowser().address = QStringLiteral("http://elsewhere.example/");
    Q_EMIT browser().documentComplete(true);
    const auto tokenRead = [&] {
        return waitFor(
            [&] {
                return !fakeBrowser().elementReads.isEmpty() &&
                       fakeBrowser().elementReads.back().second == QStringLiteral("#token");
            },
            3000);
    };
    ASSERT_TRUE(tokenRead());
    Q_EMIT browser().elementRead(fakeBrowser().elementReads.back().first, true,
                                 QStringLiteral(" &#32;\t"));
    EXPECT_EQ(control<QLabel>("allapot")->text(), asked);
    EXPECT_EQ(queueState(1), "Captcha");

    ASSERT_TRUE(waitFor([&] { return control<QLabel>("allapot")->text() != asked; }, 10000));
}

// A link passed over for its captcha ends the run when the user asked to
// stop after the link at hand; it waits at the queue's end, untried.
TEST_F(CycleInTheWindow, ASkippedCaptchaEndsTheRunWhenItWasToStopAfterThisLink) {
    storeSetting(QStringLiteral("Captcha_eseten"), QStringLiteral("1"));
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"], "captcha": "#c",
        "address": {"selector": "#a", "attribute": "href"}})j",
                             &reason));
    profiles = &set;
    TForm1& form = openWithLinks({"http://p.example/f/1", "http://p.example/f/2"});
    click("inditas");
    control<QCheckBox>("letoltes_utan_stop")->setChecked(true);
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, QString());
    ASSERT_EQ(fakeBrowser().elementReads.size(), 1);
    Q_EMIT browser().elementRead(fakeBrowser().elementReads[0].first, true, QStringLiteral("x"));
    EXPECT_FALSE(form.downloading());
    EXPECT_EQ(fakeBrowser().navigated.size(), 1); // the next link was not begun
    EXPECT_EQ(form.queue().url(1), "http://p.example/f/2");
    EXPECT_EQ(form.queue().url(2), "http://p.example/f/1");
    EXPECT_TRUE(form.log().isEmpty());
}

// A profile's address is fetched only over http or https, and the last
// step's form only as its page would have sent it: anything else ends the
// try there, with no transfer asked for.
TEST_F(CycleInTheWindow, AFileThatCannotBeAskedForAsThePageWouldEndsTheTryWithNoRequest) {
    storeSetting(QStringLiteral("Ujraprobalkozasok"), QStringLiteral("1"));
    QString reason;
    HostProfiles set;
    set.add(parseHostProfile(R"j({"name": "P", "links": ["//p\\.example/"],
        "address": {"selector": "#a", "attribute": "href"}})j",
                             &reason));
    set.add(parseHostProfile(R"j({"name": "Q", "links": ["//q\\.example/"],
        "steps": [{"submit": "#go"}, {"submit": "#dl"}]})j",
                             &reason));
    profiles = &set;
    TForm1& form = openWithLinks({"http://p.example/f/1", "http://q.example/f/2"});
    fakeBrowser().address = QStringLiteral("http://p.example/f/1");
    click("inditas");
    Q_EMIT browser().documentComplete(true);
    Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, QString());
    ASSERT_EQ(fakeBrowser().elementReads.size(), 1);
    Q_EMIT browser().elementRead(fakeBrowser().elementReads[0].first, true,
                                 QStringLiteral("ftp://p.example/f.bin"));
    EXPECT_FALSE(control<TTimer>("Timer3")->enabled());
    EXPECT_EQ(form.log().grid().cell(1, LogStatus), "Hibás link.");

    // Only the last step's form may be held for the transfer to post.
    const auto press = [&](const QString& selector) {
        Q_EMIT browser().documentComplete(true);
        Q_EMIT browser().bodyMarkupRead(fakeBrowser().readTickets.back(), true, QString());
        ASSERT_FALSE(fakeBrowser().activated.isEmpty());
        EXPECT_EQ(fakeBrowser().activated.back().second, selector);
        Q_EMIT browser().elementSubmitted(fakeBrowser().activated.back().first, true);
    };
    ASSERT_TRUE(waitFor([&] { return fakeBrowser().navigated.size() == 2; }, 5000));
    press(QStringLiteral("#go"));
    EXPECT_EQ(fakeBrowser().holds.back(), NavigationHold::Moves);
    press(QStringLiteral("#dl"));
    EXPECT_EQ(fakeBrowser().holds.back(), NavigationHold::MovesAndPostForm);
    Q_EMIT browser().navigationHeld(
        {QStringLiteral("http://q.example/d"), HeldNavigation::Kind::UnreadableForm, {}});
    EXPECT_EQ(form.log().grid().cell(2, LogStatus), "Hibás link.");
    EXPECT_EQ(statusTips().at(1), "Weblap hiba: az oldal szövege nem olvasható");
    EXPECT_TRUE(form.findChildren<TTesztThread*>().isEmpty());
    EXPECT_TRUE(form.queue().isEmpty());
}

} // namespace
} // namespace vardelo
