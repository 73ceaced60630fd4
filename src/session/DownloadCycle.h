#pragma once

#include "core/AttemptResult.h"
#include "core/ExpectedFile.h"
#include "core/FolderWalk.h"
#include "core/FormPost.h"
#include "core/HostProfile.h"
#include "core/Outcome.h"
#include "core/OutcomePlan.h"
#include "core/SettingsTable.h"
#include "platform/HttpSession.h"
#include "session/RunSettings.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

class QTimer;

namespace vardelo {

class Browser;
struct HeldNavigation;
class DownloadHoursGate;
class HttpClient;
class TTesztThread;
class TTimer;

// Where the cycle is with the queue's head link, in its profile's walk:
// FirstPage and WaitPage, a step's page is loading or being read;
// AfterWait, the wait is over and the page is asked for the file's address;
// Submitted, an element was pressed and the page, the file or the download
// it leads to is awaited; a click that leads nowhere (nothing loading 3 s
// after it) hands the page as it stands to the next step.
enum class CycleState {
    Idle,
    FirstPage,
    WaitPage,
    Countdown,
    AfterWait,
    Submitted,
    Transfer,
    DeadLinkWait,
    Captcha, // the wait is over; the user's captcha is awaited
    Password // the user is asked for the link's password
};

// The page steps as the probe tells them; the session does not listen.
enum class CycleStep {
    FirstPage,
    Submitted,
    WaitPage,
    FileName,
    Captcha,
    FileCheck, // a size or digest the arrived file is checked against
    Wait,
    Address,
    Transfer,
    Failed,
    FolderFile, // one of the first files a folder lists
    Folder,     // what the folder's pages listed
    Password    // a step would ask the user for the link's password
};
using CycleTrace = std::function<void(CycleStep step, const std::string& detail)>;

// The enabled states of Start, Stop and the stop-after switch.
enum class RunControls { Running, Transfer, Idle };

// What a cycle needs of its session: the link to work on, the run's
// settings, and the recording of what became of a link in the queue, the
// log and the statistics. What the cycle shows goes out as its signals.
class CycleSession {
  public:
    // No link waits for this cycle.
    virtual bool queueIsEmpty() const = 0;
    // The link the next attempt works on.
    virtual std::string nextLink() = 0;
    virtual const RunSettings& runSettings() const = 0;
    // The folder the link's file goes to: its package's, or the target folder.
    virtual std::string targetFolderFor(const std::string& link) = 0;
    virtual OutcomePlan recordOutcome(const std::string& link, const AttemptResult& result,
                                      std::int64_t contentLength) = 0;
    // The link's host asked to wait `seconds`: the wait is noted and kept,
    // and the link goes to the queue's end, its tries unchanged.
    virtual void noteHostWait(const std::string& link, const std::string& host,
                              std::int64_t seconds) = 0;
    // The link's pages are a folder's: its files take its place in the queue.
    virtual void expandFolder(const std::string& link, const FolderWalk& walk) = 0;
    // The password given for the link; nothing when none is known.
    virtual std::optional<std::string> passwordOf(const std::string& link) const = 0;
    // The host refused it: the next try asks again.
    virtual void forgetPassword(const std::string& link) = 0;
    // The cycle is free for the next link: the session may hand it one now.
    virtual void cycleFree() = 0;
    // The link goes to the queue's end untried; the links queued.
    virtual int passOver(const std::string& link) = 0;
    // Runs a step of the cycle so that no failure reaches the event loop.
    virtual void runGuarded(const std::function<void()>& step) = 0;

  protected:
    ~CycleSession() = default;
};

// The download cycle: takes the head link through its first page, the wait
// page, the countdown and the transfer, and on to the next link. Every event
// asks the state first; each attempt has an identity, and the answers,
// worker signals and watchdog of an attempt that has ended reach nothing.
class DownloadCycle final : public QObject {
    Q_OBJECT
  public:
    // Creates its timers as its own children, under their designed names,
    // and listens to the browser's page itself; the ticks and the page's
    // answers run through the session's guard.
    DownloadCycle(CycleSession& session, Browser& browser, HttpClient& http,
                  QObject* parent = nullptr);
    ~DownloadCycle() override;

    CycleState state() const { return state_; }
    bool downloading() const;
    // The user is asked to solve the page's captcha.
    bool asksForCaptcha() const { return captcha_ == CaptchaState::Asked; }
    bool asksForPassword() const { return state_ == CycleState::Password; }
    // The user's answer to passwordAsked: the password (already kept for
    // the link), or nothing when the user gave none.
    void passwordAnswered(const std::optional<std::string>& password);
    // The countdown's seconds left, for the running row's state.
    std::int32_t secondsToTransfer() const { return countdown; }
    // The name a host profile's page gave the file, if it gave one.
    const std::string& pageFileName() const { return pageFileName_; }
    // The form the file is asked for with, by POST; none: a GET.
    const std::optional<FormPost>& formPost() const { return formPost_; }
    // How long a page step may take before the link counts as failed.
    void setPageTimeout(std::chrono::milliseconds timeout);
    // A link that one of these claims goes through its profile's steps; any
    // other through the built-in profile's. They must outlive the cycle.
    void setHostProfiles(const HostProfiles* profiles) { profiles_ = profiles; }
    // For the probe: every page step is told, and where the transfer would
    // start, the attempt ends with the address told instead.
    void setTrace(CycleTrace trace) { trace_ = std::move(trace); }
    // Outside the download hours a Start waits, and goes when they open.
    void setHoursGate(DownloadHoursGate* gate);
    // The user's time for a captcha, in place of the setting's minutes.
    void setCaptchaTimeout(std::chrono::milliseconds timeout) { captchaTimeout_ = timeout; }

    void start();
    void stop();
    // A Start during the dead-link wait: the wait is over now.
    void endDeadLinkWait();
    // For the probe: a running countdown ends now, as if its time were up.
    void skipWait();
    // The link the running or last attempt works on.
    const std::string& link() const { return link_; }

  Q_SIGNALS:
    void statusShown(const QString& text);
    void gaugeMaximumShown(int maximum);
    void gaugeValueShown(int value);
    // The gauge in bytes of the transfer.
    void bytesShown(std::int64_t received, std::int64_t expected);
    // The gauge and the transferred amount.
    void transferShown(std::int64_t received, std::int64_t expected, std::int64_t contentLength);
    void transferredCleared();
    // Speed and time left count from the start of a body, and go with it.
    void transferRateCleared();
    void runControlsShown(RunControls controls);
    void emptyQueueRefused();
    // A page asks for a captcha: the user is shown the page and asked.
    void captchaAsked();
    // The captcha was solved or given up: the user's earlier page comes back.
    void captchaEnded();
    // A step needs the link's password and none is known: the user is asked.
    void passwordAsked();
    // Nobody waits for that answer any more: its time is up, or its try ended.
    void passwordAskEnded();
    // The browser cannot start: the run has stopped as Stop stops it.
    void browserFailed(const QString& reason);

  private:
    // The browser's answers, each run through the session's guard.
    void documentComplete(bool ok);
    void elementSubmitted(quint64 ticket, bool submitted);
    void bodyMarkupRead(quint64 ticket, bool ok, const QString& markup);
    void elementRead(quint64 ticket, bool ok, const QString& text);
    void downloadRequested(const QString& url);
    void navigationHeld(const HeldNavigation& held);
    void browserCannotStart(const QString& reason);
    // The timers' ticks, likewise.
    void countdownTick();
    void transferDue();
    void deadWaitTick();
    // Every attempt ends here: the outcome is recorded and the next step chosen.
    void naplozas(const AttemptResult& result);

    // The transfer's signals, of the running attempt only.
    void transferBegun(qint64 expected, qint64 announcedLength);
    void transferProgress(qint64 received);
    void transferChecked(const QString& note);
    void transferStored(const QString& path);
    void transferEnded(qint64 received);
    void transferFailed(const FailureReason& reason);
    void transferSentPage(const QByteArray& page, const QString& contentType);

    TTimer* Timer3 = nullptr;         // one-shot: the transfer starts
    TTimer* Timer4 = nullptr;         // the countdown's second ticks
    TTimer* elhalt_kijelzo = nullptr; // the dead-link wait's second ticks

    std::int32_t countdown = 0;
    unsigned char dead_wait_left = 0;
    std::string download_url;
    std::int64_t content_length = 0; // kept from one transfer to the next
    std::string Memo1;               // the page text being read
    QPointer<TTesztThread> worker;   // the transfer running now, if any

    TTimer* makeTimer(const char* name, void (DownloadCycle::*tick)());

  private:
    bool heldBackByHours();
    void hoursOpened();
    void beginAttempt(CycleState state);
    void endAttempt();
    void armCountdown(std::int32_t seconds);
    void concludeAttempt(const AttemptResult& result);

    // The profile's walk (DownloadCycleProfile.cpp): what a step page is
    // read for, and what an awaited answer is.
    enum class ProfileRead {
        None,
        Page,
        RetryAfter,
        Busy, // the page's busy patterns, checked in the reads' order
        FileName,
        Size,
        Hash,
        CaptchaAtStart,
        CaptchaAfterWait,
        CaptchaSolved,
        Wait,
        Address,
        Countdown, // the step's wait, counted down in the reads' order
        Submit,
        FolderEntries,
        Package,
        NextPage,
        Password
    };
    // A step's captcha: none asked, asked of the user, or solved.
    enum class CaptchaState { None, Asked, Solved };
    const ProfileStep& currentStep() const;
    // A failure in the step's own words where it has them.
    static std::string failureText(const std::string& own, std::string general);
    std::string stepName() const;
    std::string stepLine(const std::string& detail) const; // a page line of the step
    quint64 profileRequest(ProfileRead read);
    void requestMarkup(ProfileRead read);
    void requestValue(ProfileRead read, const PageReader& reader);
    // A step page's reads, in order (DownloadCycleReads.cpp).
    static std::span<const ProfileRead> stepReads();
    void readFrom(ProfileRead read);
    void readNext();
    bool startRead(ProfileRead read);
    const PageReader* readerOf(ProfileRead read) const;
    std::optional<std::string> readInText(ProfileRead read, std::string_view text) const;
    void readValue(ProfileRead read);
    void readValueAfresh(ProfileRead read);
    void valueRead(ProfileRead read, const std::optional<std::string>& text);
    bool readsOn(ProfileRead read, const std::optional<std::string>& text);
    bool readAgainLater(ProfileRead read);
    void beginStep(bool pageLoaded);
    bool readsAgainDuringWait() const;
    void pageNotLoaded();
    void profileMarkupRead(bool ok, const std::string& markup);
    void checkStepPage(const std::string& markup);
    bool retryAfterRead(const std::optional<std::string>& text);
    void hostTemporarilyOffline(std::size_t step, const std::string& markup);
    void hostAsksToWait(std::int64_t seconds);
    bool stepChecked();
    bool fileNameRead(const std::optional<std::string>& text);
    // What the page says of the file (DownloadCycleExpected.cpp).
    bool stepSizeRead(const std::optional<std::string>& text);
    bool stepHashRead(const std::optional<std::string>& text);
    void readStepWait();
    void readDesignedWaitPage();
    bool stepWaitRead(const std::optional<std::string>& text);
    bool stepAddressRead(const std::optional<std::string>& text);
    // The step's element pressed, and where it leads (DownloadCycleSubmit.cpp).
    void stepAfterWait();
    void pressOrRead();
    void submitForm();
    void formSubmitted();
    // A step's captcha (DownloadCycleCaptcha.cpp).
    void buildCaptchaTimers();
    void checkCaptcha(ProfileRead at);
    bool captchaChecked(ProfileRead at, bool present);
    bool askCaptcha(ProfileRead at);
    void pollCaptcha();
    void captchaSolvedRead(const std::optional<std::string>& text);
    void captchaSolved();
    bool captchaTakesPage(bool ok);
    void captchaTimedOut();
    void endCaptcha();
    // A folder's pages (DownloadCycleFolder.cpp).
    void readFolderPage();
    void readFolderEntries();
    void folderEntriesRead(quint64 ticket, bool ok, const QList<QStringList>& entries, bool more);
    void addFolderEntries(const std::vector<FolderEntry>& entries, bool more);
    void readFolderPackage();
    void folderPackageRead(const std::optional<std::string>& text);
    void readNextFolderPage();
    void nextFolderPageRead(const std::optional<std::string>& text);
    void folderRead();
    bool beyondFirstFolderPage() const;
    // A page that fails now makes the link a dead one.
    bool firstPageFailure() const;
    // A step's password field (DownloadCyclePassword.cpp).
    void buildPasswordTimer();
    void fillPassword();
    void passwordFilled(bool filled);
    void askPassword();
    void endPasswordAsk();
    bool refusesPassword(const std::string& markup);
    // Unattended: the link goes to the queue's end untried; false when the
    // user is there to ask.
    bool passOverUnattended(const char* what);
    void stepSubmitted(bool submitted);
    void clickLedNowhere(quint64 attempt, std::size_t pressed);
    void fileFound(const std::string& address);
    bool walkOnFromPage();
    std::optional<HttpSession> profileSession() const;
    std::optional<std::string> fetchableAddress(const std::string& text) const;
    void tell(CycleStep step, const std::string& detail) const;
    void tellPage(CycleStep step) const; // with the page's address
    void tellFailure(const std::string& why) const;
    void pageFailed(OutcomeKind kind, FailureKind reason, std::string why);
    void logResult(const AttemptResult& result) const;
    void armWatchdog();
    void pageTimedOut(quint64 attempt);
    void pageLost(bool crashed);
    void startTransfer();
    bool isCurrentTransfer(quint64 attempt) const;

    CycleSession& session_;
    Browser& browser_;
    HttpClient& http_;
    CycleState state_ = CycleState::Idle;
    std::string link_;    // the queue link of the running or last attempt
    quint64 attempt_ = 0; // changes whenever an attempt begins or ends
    // A step's form was submitted and the answer is awaited; a page that
    // completes before it is kept here and handled after it.
    bool awaitingSubmit_ = false;
    std::optional<bool> completedWhileSubmitting_;
    std::int64_t gaugeBytes_ = 0; // the transfer's expected size
    // Runs in the First page and Wait page states only, for the attempt
    // that armed it.
    QTimer* pageWatchdog_ = nullptr;
    quint64 watchdogAttempt_ = 0;
    bool linkRefused_ = false; // the head link is no address the browser takes
    // The step's page came with an error status (or not at all); a profile
    // still reads it for its dead marker.
    bool pageFailedStatus_ = false;

    const HostProfiles* profiles_ = nullptr;
    std::shared_ptr<const CompiledProfile> profile_; // the head link's, for this attempt
    std::size_t step_ = 0;                           // the walk's step on the page now
    ProfileRead reading_ = ProfileRead::None;        // what the awaited answer is
    std::size_t nextRead_ = 0;                       // of the step page's reads
    // The address of a held navigation the transfer fetches; a page there
    // goes back to the browser for the next step.
    std::string heldAddress_;
    // The last step's form, held for the transfer to send as the page would
    // have; kept until the next attempt, for the probe.
    std::optional<FormPost> formPost_;
    std::string pageFileName_;  // the name a step's `name` reader read
    ExpectedFile expectedFile_; // what the `size` and `hash` readers read
    std::string fileChecked_;   // the transfer's note of a digest that matched
    std::string storedAs_;      // where the transfer put the file
    CaptchaState captcha_ = CaptchaState::None;
    QTimer* captchaLimit_ = nullptr; // the user's time for it
    QTimer* captchaPoll_ = nullptr;  // reads its solved reader
    std::optional<std::chrono::milliseconds> captchaTimeout_;
    int captchaSkips_ = 0;      // links passed over for a captcha since the last try
    QElapsedTimer settleClock_; // since a reader of this page first found nothing
    quint64 profileTicket_ = 0; // the awaited answer's ticket
    quint64 profileRequests_ = 0;
    CycleTrace trace_;
    DownloadHoursGate* hours_ = nullptr;
    // A folder's walk over its pages; its captcha is asked once.
    struct FolderRead {
        FolderWalk walk;
        bool captchaAsked = false;
    };
    std::optional<FolderRead> folder_;
    // The link's password went into this attempt's page.
    bool passwordSent_ = false;
    QTimer* passwordLimit_ = nullptr; // the user's time for it
};

} // namespace vardelo
