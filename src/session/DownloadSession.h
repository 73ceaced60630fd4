#pragma once

#include "core/AttemptResult.h"
#include "core/DownloadQueue.h"
#include "core/DownloadStatistics.h"
#include "core/EventLog.h"
#include "core/FolderWalk.h"
#include "core/HostProfile.h"
#include "core/HostWaits.h"
#include "core/LinkCheck.h"
#include "core/LinkPasswords.h"
#include "core/QueueDrag.h"
#include "session/DownloadCycle.h"
#include "session/GridFeed.h"
#include "session/RunSettings.h"

#include "core/RowState.h"
#include "core/TransferRate.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QTimer;

namespace vardelo {

class BackgroundSave;
class Browser;
class DownloadHoursGate;
class HttpClient;
class LinkCheckRunner;
class PackageRun;
class PageRest;
class RecordStore;

// A download run without a window: the queue, the log, the statistics, the
// hosts' waits, the run's settings and the cycle that works the queue. Its
// commands change them; its signals say what a view shows. Every step runs
// guarded: a failure is told through stepFailed, never thrown at the event
// loop.
class DownloadSession final : public QObject {
    Q_OBJECT
  public:
    DownloadSession(Browser& browser, HttpClient& http, const HostProfiles* profiles,
                    QObject* parent = nullptr);
    ~DownloadSession() override;

    // --- what the run holds, to read -----------------------------------------
    const DownloadQueue& queue() const { return queue_; }
    const EventLog& log() const { return log_; }
    const DownloadStatistics& statistics() const { return statistics_; }
    const RunFailures& runFailures() const { return runFailures_; }
    bool downloading() const; // a cycle works on a link
    bool listIdle() const { return list_idle; }
    // The guards' "downloading" is the head's: the user's commands on any
    // other running row are refused by the session itself.
    QueueGuards queueGuards() const { return {isRunning(queue_.url(1)), list_idle}; }
    // A link a cycle works on now.
    bool isRunning(const std::string& link) const;
    // What the queue row shows: its link's attempt on the first row of that
    // link, its host's wait, or nothing.
    RowState rowState(int row) const;
    // The page a running link's cycle works on; nothing for a link not running.
    Browser* pageOf(const std::string& link) const;
    // The speed of all transfers together, once measured; a transfer that
    // receives nothing counts slower with every call.
    std::optional<double> transferSpeed();
    // The window's controls write these when they change.
    RunSettings& settings() { return settings_; }
    // The grids, for views to read and listen to; they change through the
    // commands only.
    const GridFeed& queueFeed() const { return queueFeed_; }
    const GridFeed& logFeed() const { return logFeed_; }

    // The package a queued link belongs to; empty for a link of its own.
    std::string packageOf(const std::string& link) const;
    // What the link's package waits for or does ("Hiányzó rész: ...",
    // "Kicsomagolás 45 %"); empty when nothing.
    QString packageStateOf(const std::string& link) const;
    // How many of the link's package's parts have come ("3/12 rész"); empty
    // for a link of its own or a package of one file.
    QString packagePartsOf(const std::string& link) const;
    // Links put in a package, or a package renamed (its folder's name with it).
    void placeInPackage(const std::vector<std::string>& links, const std::string& package);
    void renamePackage(const std::string& from, const std::string& to);
    // The user's answer for a package that needs a password.
    void givePackagePassword(const std::string& package, const std::string& password);
    // The passwords every archive is tried with.
    void setArchivePasswords(std::vector<std::string> passwords);

    // The links get the password; one with a control character is refused.
    void setPassword(const std::vector<std::string>& links, const std::string& password);
    bool hasPassword(const std::string& link) const { return passwords_.find(link) != nullptr; }
    // The user's answer to passwordAsked: kept for the link, and handed to
    // the cycle that asked; nothing: none given.
    void answerPassword(const std::string& link, const std::optional<std::string>& password);

    // The host key of a link: its profile's name; empty for any other link.
    std::string hostOf(const std::string& link) const;
    // "HH:MM" of the end of the wait the link's host asked for; empty when none.
    QString hostWaitUntil(const std::string& link) const;
    // Until when the link's host asked to wait, as a sentence; empty when none.
    QString hostWaitText(const std::string& link) const;

    // --- the link check ---------------------------------------------------------
    // Checks every queued link no cycle works on; a cycle's link is left
    // alone also when its turn in the check comes. A check that runs
    // already is left to run.
    void checkLinks();
    void stopLinkCheck();
    bool linkCheckRunning() const;
    // The check's progress: links done of those it took.
    std::size_t linkCheckDone() const;
    std::size_t linkCheckTotal() const;
    // What the check, or the folder it came in, found of a queued link;
    // nothing when nothing is known.
    const LinkFacts* linkFactsOf(const std::string& link) const;
    // The rows the check found offline leave the queue as dead links given
    // up (see removeAsDead).
    std::vector<QueuedLink> removeOfflineLinks();

    // --- the stored queue, log and host waits -----------------------------------
    // Where Lista.Vdl, Naplo.Vdl and HostWaits.Vdl are kept; a session told
    // no folder keeps nothing. Told one, it saves them itself: a change of
    // the queue or the log a few seconds later, an attempt's outcome at once.
    void keepRecordsIn(const QString& folder);
    // Start-up: the queue and the log (throws the first failure), then the
    // host waits.
    void loadRecords();
    // The links' passwords, kept in `folder` (the state folder) from now
    // on, those of links no longer queued let go.
    void keepPasswordsIn(const QString& folder);
    // Closing: throws the first file's failure.
    void saveRecordsAtClosing();
    // Returns once the saves handed to the background are written.
    void waitForRecordSaves();

    // --- commands -------------------------------------------------------------
    void start();
    void stop();
    // Outside the download hours a Start waits, and goes when they open.
    void setHoursGate(DownloadHoursGate* gate);
    // How long the pages stay open once nothing needs them (kPageRestTime);
    // then they go.
    void setPageRestTime(std::chrono::milliseconds rest);

    // The links to queue: the new ones, and those a host profile knew to be
    // queued already in another form.
    LinksToQueue sortLinks(const std::vector<std::string>& links) const;
    void appendLinks(const std::vector<std::string>& links);
    // Refused (false) where the guards refuse them.
    bool deleteRow(int row);
    // The package's rows leave the queue, a running one refused as
    // deleteRow refuses it; how many left. A package left with no row is
    // forgotten: what of it arrived is not unpacked.
    int deletePackage(const std::string& package);
    bool moveToTop(int row);
    bool moveToEnd(int row);
    QueueDrag::Press pressRow(int row, int column);
    QueueDrag::Release releaseRow(int row, int column);
    // The rows `pick` chooses leave the queue and are logged as dead links
    // given up, as the cycle logs them; the running head stays.
    std::vector<QueuedLink> removeAsDead(const std::function<bool(const std::string&)>& pick);
    void clearLog();
    // The given-up links leave the log for the queue's end.
    void requeueFailedLinks();
    void resetCurrentRun() { statistics_.resetCurrentRun(); }
    // Start-up: the all-time counters the settings kept.
    void restoreAllTimeCount(AllTimeCount which, std::int64_t value) {
        statistics_.restoreAllTime(which, value);
    }

    // The queue is rewritten by `rewrite` (an import with its file dialog):
    // the guards refuse the user's queue commands meanwhile.
    void rewriteQueue(const std::function<void()>& rewrite);
    // Start-up has read what it reads: the queue takes commands.
    void listReady() { list_idle = true; }

    // --- for the probe -----------------------------------------------------------
    // Every cycle tells its page steps, and ends its attempt with the
    // file's address told where its transfer would start.
    void setTrace(CycleTrace trace);
    // Running countdowns end now, as if their time were up.
    void skipWaits();
    // How the link's last attempt would have asked for its file: the form
    // it would send, and the name its page gave.
    struct FileAsk {
        std::optional<FormPost> form;
        std::string pageFileName;
    };
    FileAsk fileAskOf(const std::string& link) const;

  Q_SIGNALS:
    void statusShown(const QString& text);
    void gaugeMaximumShown(int maximum);
    void gaugeValueShown(int value);
    void bytesShown(std::int64_t received, std::int64_t expected);
    void transferShown(std::int64_t received, std::int64_t expected, std::int64_t contentLength);
    void transferredCleared();
    void transferRateCleared();
    void runControlsShown(RunControls controls);
    void emptyQueueRefused();
    void captchaAsked(const std::string& link);
    void captchaEnded();
    // A step needs the link's password, and none is known.
    void passwordAsked(const std::string& link);
    // Nobody waits for that answer any more.
    void passwordAskEnded(const std::string& link);
    void browserFailed(const QString& reason);
    // An attempt's outcome is in the queue, the log and the statistics.
    void outcomeRecorded(const std::string& link, const AttemptResult& result);
    // What the "Állapot" column shows may have changed.
    void rowStatesChanged();
    // The folder's files took its place in the queue: those added, with the
    // names and sizes it showed, and those queued already.
    void folderExpanded(const std::string& folder, const FolderToQueue& placed);
    // The link check found more since the last time (at most every 100 ms).
    void linkCheckProgressed();
    void linkCheckEnded(bool stopped);
    // The link's host asked it to wait; it was passed over.
    void hostAskedToWait(const std::string& link);
    // Every part of the package arrived and what was in it is unpacked.
    void packageReady(const QString& package);
    // No password known fits the package's archive.
    void packagePasswordWanted(const QString& package);
    // A step failed with this error; the run goes on as the step left it.
    void stepFailed(const QString& what);

  private:
    // A cycle with its page, and its view of the session.
    class Slot;

    // The queue is rewritten while it lives.
    class QueueRewrite {
      public:
        explicit QueueRewrite(bool& idle) : idle_(idle) { idle_ = false; }
        ~QueueRewrite() { idle_ = true; }
        QueueRewrite(const QueueRewrite&) = delete;
        QueueRewrite& operator=(const QueueRewrite&) = delete;

      private:
        bool& idle_;
    };

    OutcomePlan recordOutcome(const std::string& link, const AttemptResult& result,
                              std::int64_t contentLength);
    void noteHostWait(const std::string& link, const std::string& host, std::int64_t seconds);
    int passOver(const std::string& link);
    void expandFolder(const std::string& link, const FolderWalk& walk);
    // The key the run's slots count a link's host by: its profile's, or its
    // address's host and port.
    std::string runHostOf(const std::string& link) const;
    // Until when the link's host holds it back: a wait it asked for, or the
    // dead-link wait after a failure there.
    std::optional<std::int64_t> heldUntil(const std::string& link, std::int64_t at) const;
    // Waiting links that stand before `row` go to the queue's end, their
    // order kept; the row `row` then stands at.
    std::size_t passOverWaitingBefore(std::size_t row, std::int64_t at);
    void runGuarded(const std::function<void()>& step);

    Slot& addSlot(Browser& page);
    void connectSlot(Slot& slot);
    // The free cycles take the next links the queue offers; with none to
    // take and none running, the run waits for the soonest host or ends.
    void fillSlots();
    void scheduleFill();
    void runEnded();
    // With one link at once the run's displays are its cycle's own.
    bool oneAtOnce() const { return atOnce_ <= 1; }
    bool anyRowRunning() const;
    bool isShown(const Slot& slot) const;
    int rowOfRunning(const Slot& slot) const;

    Browser& browser_;
    HttpClient& http_;
    const HostProfiles* profiles_;
    DownloadHoursGate* hours_ = nullptr;
    bool list_idle = false;
    CycleTrace trace_; // the probe's, handed to every cycle
    DownloadQueue queue_;
    EventLog log_;
    DownloadStatistics statistics_;
    GridFeed queueFeed_{queue_.grid()};
    GridFeed logFeed_{log_.grid()};
    RunFailures runFailures_;   // why this run's attempts failed, by link
    HostWaits hostWaits_;       // until when hosts asked their links to wait
    FolderTree folders_;        // the packages of links that came in folders
    bool packagesKept_ = false; // Folders.Vdl read (or absent): it may be written
    LinkPasswords passwords_;
    QString passwordFolder_; // empty: they are not kept
    void savePasswordsNow();
    void forgetLeftLinks();
    RunSettings settings_;
    QueueDrag drag_;
    QString recordFolder_;
    std::unique_ptr<RecordStore> records_; // after the grids it saves, so it ends first
    std::vector<std::unique_ptr<Slot>> slots_;
    int atOnce_ = 0;        // the links this run downloads at once; 0 while none runs
    bool stopping_ = false; // the cycles are being stopped: none takes a link
    bool fillDue_ = false;
    HostWaits deadLinkWaits_;            // hosts whose last attempt failed, for "Elhalt" seconds
    QTimer* deadLinkWaitTick_ = nullptr; // their rows count the seconds down
    QTimer* hostsWait_ = nullptr;        // a free cycle waits for a host's wait to end
    PageRest* pageRest_ = nullptr;
    PackageRun* packages_ = nullptr;

    // The link check and LinkCheck.Vdl.
    void buildLinkCheck();
    void loadLinkResults();
    void saveLinkResultsInBackground();
    void saveLinkResultsAtClosing();
    // What the folder showed of its files stands for a check of them.
    void noteFolderFacts(const FolderToQueue& placed);
    void forgetLeftLinkFacts(const std::vector<std::string>& queued);
    LinkCheckRunner* linkCheck_ = nullptr;
    std::unique_ptr<BackgroundSave> linkResultsSaver_;
};

} // namespace vardelo
