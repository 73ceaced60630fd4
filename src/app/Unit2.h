#pragma once

#include "core/DownloadQueue.h"
#include "core/DownloadStatistics.h"
#include "core/EventLog.h"
#include "core/HostProfile.h"
#include "core/LinkCheck.h"
#include "core/ListText.h"
#include "core/SettingsRun.h"
#include "core/SettingsTable.h"
#include "core/TransferRate.h"
#include "session/DownloadSession.h"

#include "ui_Unit2.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QTableView;
class QTimer;

namespace vardelo {

class Browser;
class ClipboardWatcher;
class Dialogs;
class DownloadHoursGate;
class GridModel;
class HttpClient;
struct SettingBinding;
class SettingsStore;
class SkinEngine;
class TTimer;
class TrayIcon;

// What the window is given by the program's entry (or by a test).
struct Services {
    SettingsStore& settings;
    Dialogs& dialogs;
    Browser& browser;            // shown on the "Weblap" page
    HttpClient& http;            // the transfers' client, one for the run
    SkinEngine& skins;           // sSkinManager1: draws the window in a skin
    QString recordFolder;        // where Lista.Vdl and Naplo.Vdl live
    QString defaultTargetFolder; // offered on a first start
    // The hosts beside the built-in one, and the profile files left out
    // (shown once, when the window first appears).
    const HostProfiles* profiles = nullptr;
    QStringList profileProblems;
    // The links this start was given; queued before auto-start looks.
    std::vector<std::string> startupLinks;
    std::vector<ListEntry> startupPasswords{}; // their list lines' passwords
    // The archives' password list ("Jelszavak"), a file of this user only
    // beside the settings; empty: the list is not kept.
    QString archivePasswordsFile{};
};

// The main window: the view and controller of its download session. Its
// handlers keep the names of the commands they carry out.
class TForm1 final : public QWidget, private Ui::TForm1 {
    Q_OBJECT
  public:
    explicit TForm1(Services services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Closing requested by a termination signal: the same sequence as the
    // close box, but a failure is returned instead of shown in a box.
    bool closeForTermination(QString* failure);
    // The one way the program ends in order (close box, "Kilépés", signals):
    // the close sequence, then the event loop ends. On failure nothing ends
    // and the reason is returned.
    bool closeProgram(QString* failure);

    // What the run holds, for the program's tools and the tests to read; it
    // changes only through the window's own commands.
    const DownloadQueue& queue() const { return session_->queue(); }
    const EventLog& log() const { return session_->log(); }
    const DownloadStatistics& statistics() const { return session_->statistics(); }
    bool downloading() const { return session_->downloading(); } // a cycle works on a link
    bool listIdle() const { return session_->listIdle(); }

    // Links a command line brings, this program's or a later start's: they
    // are queued as copied links are; no links at all brings the window to
    // the front. Returns the canonical forms of those a host profile knew to
    // be queued already; nullopt once the window has closed: nothing is
    // queued then.
    std::optional<std::vector<std::string>>
    takeHandedLinks(const std::vector<std::string>& links, bool bringToFront,
                    const std::vector<ListEntry>& passwords = {});

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // --- state of the run -------------------------------------------------
    bool activated_once = false;
    bool skin_loading = false;
    std::vector<std::string> ListBox1; // line buffer of list import and export

    // --- commands ----------------------------------------------------------
    void inditasClick();
    void StopClick();

    void linket_hozzaad(const std::string& url);
    void HozzaadClick();
    void sor_torlesClick();
    void eloreClick();
    void hatraClick();
    void LinkekMouseDown(Qt::MouseButton button, int row, int column);
    void LinkekMouseUp(Qt::MouseButton button, int row, int column);

    void megnyitClick();
    void button3Click();

    void Button4Click();
    void auto_leClick();
    void vagolapClick();
    void skin_hasznalataClick();
    void kinezetChange();
    void letoltes_utan_stopClick();
    void PM_auto_leClick();
    void PM_vagolapClick();
    void PM_SkinClick();
    void PM_letoltes_utan_stopClick();

    void CTIClick();
    void Vardelo1Click();
    void Kilps1Click();
    void balloon_hideTimer();
    void hompageClick();
    void WMDrawClipboard(); // the clipboard changed

    void stat_null1Click();
    void button1Click();
    void hibasak_ujraClick();

    // --- controls (tests and tools find them by their object names) ------
    // The form (Unit2.ui) provides the designed controls; these are the ones
    // that live in the log page and the statistics box.
    QTableView* naplosg = nullptr;
    QPushButton* hibasak_ujra = nullptr;
    QPushButton* button1 = nullptr;
    QLabel* oldb = nullptr;
    QLabel* olm = nullptr;
    QLabel* okdb = nullptr;
    QLabel* jldb = nullptr;
    QLabel* jlm = nullptr;
    QLabel* jkdb = nullptr;
    QPushButton* stat_null1 = nullptr;

    QMenu* PMSG = nullptr;
    QAction* rls1 = nullptr;
    QAction* Listalegelejre1 = nullptr;
    QAction* passwordItem = nullptr;
    QAction* Listalegvgre1 = nullptr;
    QAction* csomag_torlese = nullptr;
    QAction* csomag_atnevezese = nullptr;
    bool archivePasswordsKept_ = true;       // false: the file was refused, and is not written over
    QTimer* archivePasswordsSave_ = nullptr; // a change of the list waits for its write

    QAction* checkLinksItem = nullptr;
    QAction* removeOfflineItem = nullptr;

    QMenu* PM = nullptr;
    QAction* PM_indit = nullptr;
    QAction* PM_megallit = nullptr;
    QAction* PM_letoltes_utan_stop = nullptr;
    QMenu* N2 = nullptr;
    QAction* PM_vagolap = nullptr;
    QAction* PM_Skin = nullptr;
    QAction* PM_auto_le = nullptr;
    QAction* Vardelo1 = nullptr;
    QAction* Kilps1 = nullptr;

    TTimer* balloon_hide = nullptr; // takes the clipboard's balloon away

    TrayIcon* CTI = nullptr; // the icon in the notification area
    ClipboardWatcher* clipboardWatcher = nullptr;

    GridModel* linkekModel = nullptr;
    GridModel* naplosgModel = nullptr;

    void buildControls();
    void takeSubformControls();
    void setTabOrderOfSubforms();
    void buildMenus();
    void setGridColumns();
    void nameSkinSections();
    void listSkins();
    void connectCommands();
    void nameControls();

    void buildCycle();
    void buildShell();
    void hideToTray();
    void buildAccess();
    void LinkekPaste(); // Ctrl+V in the queue
    void queueWithBalloon(const std::vector<std::string>& links);
    LinksToQueue queueLinks(const std::vector<std::string>& links);
    void showQueuedBalloon(const LinksToQueue& sorted);
    void FormCreate();
    void takeStartupLinks();
    void FormActivate();
    bool FormClose(QString* failure);

    // Runs a handler; any failure is shown in the standard error box, so no
    // exception ever reaches the event loop.
    void guarded(const std::function<void()>& handler);

    // A slot for connect(): runs the handler guarded, with the signal's
    // arguments when the handler takes them.
    template <typename... HandlerArgs> auto guard(void (TForm1::*handler)(HandlerArgs...)) {
        return [this, handler](auto... args) {
            guarded([&] {
                if constexpr (sizeof...(HandlerArgs) == 0)
                    (this->*handler)();
                else
                    (this->*handler)(args...);
            });
        };
    }
    void reportError(const std::exception& error);

    void readRecordFiles();
    // Writes the queue and the log now, as the close does; throws the first
    // file's failure.
    void writeRecordFiles();

    std::vector<SettingBinding> settingBindings();
    void rememberStartingSettings();
    enum class SettingsPart { UpToAutoStart, Rest };
    void loadSettings(SettingsPart part);
    void loadSetting(const SettingDef& def, const SettingBinding& binding);
    void applySkinIndex(std::int64_t index);
    void storeSettings();
    void storeSettings(std::span<const SettingId> ids);
    void storeAllTimeCounters();
    void autoStart();

    // What the session shows (Unit2Cycle.cpp, Unit2Transfer.cpp, Unit2Captcha.cpp).
    void showSession();
    void writeRunSettings();
    void showBrowserFailure(const QString& reason);
    void showStatus(const QString& text);
    void setGaugeMaximum(int maximum);
    void showBytes(std::int64_t received, std::int64_t expected);
    void showTransferred(std::int64_t received, std::int64_t expected, std::int64_t contentLength);
    void showRunControls(RunControls controls);
    void clearTransferRate();
    void askForCaptcha(const std::string& link);
    void showPageOf(const std::string& link);
    void captchaOver();
    // The queue's "Állapot" column (Unit2RowState.cpp).
    void addRowStateColumn();
    QString rowStateText(int row) const;
    void showRowStates();

    // The queue's "Csomag" column and the packages' commands (Unit2Packages.cpp).
    // The column comes after the link check's three and "Állapot".
    static constexpr int kPackageColumn = 7;
    void buildPackages();
    QString packageTip(int row) const;
    void csomag_torleseClick();
    void csomag_atnevezeseClick();
    void packageReady(const QString& package);
    void askPackagePassword(const QString& package);
    void loadArchivePasswords();
    void archivePasswordsEdited();
    void saveArchivePasswords();

    // The link check and its columns in the queue (Unit2LinkCheck.cpp).
    void buildLinkCheck();
    void addLinkCheckColumns();
    void checkLinksClick();
    void removeOfflineLinksClick();
    void stopLinkCheck();
    void linkCheckProgressed();
    void linkCheckEnded(bool stopped);
    const LinkFacts* linkFactsOf(int row) const;
    QString linkCheckTip(int row, int column) const;
    // Link passwords (Unit2Passwords.cpp).
    void passwordItemClick();
    void askForPassword(const std::string& link);
    // Nobody waits for the link's password any more: its dialog goes.
    void passwordAskOver(const std::string& link);
    // The user's password, asked until it has no control character;
    // nothing when cancelled.
    std::optional<std::string> passwordFromUser(const QString& prompt);
    void setListPasswords(const std::vector<ListEntry>& entries);
    // A folder's files show the names and sizes it listed at once.
    void showFolderFiles(const std::string& folder, const FolderToQueue& placed);

    // The list file the user picks goes to the queue's end (Unit2Lists.cpp).
    void importListFile();

    // The speed limit and the download hours (Unit2Limits.cpp).
    void buildLimits();
    void limitsChanged();

    // Speed and time left during a transfer (Unit2Rate.cpp).
    void buildTransferRate();
    void rateReceived(std::int64_t received, std::int64_t expected);
    void showTransferRate();

    void showAllTimeCounters();
    void showCurrentCounters();
    std::string sizeTextOf(std::int64_t bytes) const;

    Services services_;
    DownloadSession* session_ = nullptr;
    DownloadHoursGate* hoursGate_ = nullptr;
    SettingsRun settingsRun_;
    bool closedInOrder_ = false; // the close has written everything; nothing may change now
    QTimer* rateTimer_ = nullptr;
    TransferRate rate_;
    QPointer<QWidget> beforeCaptcha_; // the page the user was on when a captcha came
    std::int64_t rateBytes_ = -1;     // the last amount reported, -1 before the first
    std::int64_t rateExpected_ = 0;   // the transfer's whole size
};

} // namespace vardelo
