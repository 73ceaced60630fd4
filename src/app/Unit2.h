#pragma once

#include "core/DownloadQueue.h"
#include "core/EventLog.h"
#include "core/Outcome.h"
#include "core/QueueDrag.h"
#include "core/SettingsTable.h"

#include "ui_Unit2.h"

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableView;
class QPlainTextEdit;
class QTimer;

namespace vardelo {

class Browser;
class ClipboardWatcher;
class Dialogs;
class GridModel;
class HttpClient;
class QueueGridView;
class SettingsStore;
class SkinEngine;
class TTesztThread;
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
};

// The main window. It owns the program's whole state for the run; its
// handlers keep the names of the commands they carry out.
class TForm1 final : public QWidget, public Ui::TForm1 {
    Q_OBJECT
  public:
    explicit TForm1(Services services, QWidget* parent = nullptr);
    ~TForm1() override;

    // Closing requested by a termination signal: the same sequence as the
    // close box, but a failure is returned instead of shown in a box.
    bool closeForTermination(QString* failure);

    // --- state of the run -------------------------------------------------
    bool list_idle = false;
    bool first_page = false;
    unsigned char dead_wait_left = 0;
    std::int32_t countdown = 0;
    bool downloading = false;
    bool activated_once = false;
    bool skin_loading = false;
    QueueDrag drag;
    std::int64_t osszes_letoltott_db = 0;
    std::int64_t jelenlegi_letoltott_db = 0;
    std::int64_t jelenlegi_kihagyott_db = 0;
    std::int64_t osszes_kihagyott_db = 0;
    std::int64_t jelenlegi_letoltott_meret = 0;
    std::int64_t osszes_letoltott_meret = 0;
    std::string download_url;
    std::int64_t content_length = 0;
    // The transfer worker started last; Stop abandons it (its own flag is the
    // abort request the worker reads).
    QPointer<TTesztThread> worker;

    DownloadQueue queue;               // shown in Linkek
    EventLog log;                      // shown in naplosg
    std::string Memo1;                 // the page text being read
    std::vector<std::string> ListBox1; // line buffer of list import and export

    // --- controls ----------------------------------------------------------
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
    QAction* Listalegvgre1 = nullptr;

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

    TTimer* Timer3 = nullptr;         // one-shot: the transfer starts
    TTimer* Timer4 = nullptr;         // the countdown's second ticks
    TTimer* elhalt_kijelzo = nullptr; // the dead-link wait's second ticks
    TTimer* balloon_hide = nullptr;   // takes the clipboard's balloon away

    TrayIcon* CTI = nullptr; // the icon in the notification area
    ClipboardWatcher* clipboardWatcher = nullptr;

    GridModel* linkekModel = nullptr;
    GridModel* naplosgModel = nullptr;

    // --- commands ----------------------------------------------------------
    void inditasClick();
    void StopClick();
    void lapDocumentComplete(bool ok);
    void Timer4Timer();
    void Timer3Timer();
    void elhalt_kijelzoTimer();
    void naplozas(OutcomeKind kind);

    void IdHTTP1WorkBegin(qint64 expected, qint64 announcedLength);
    void IdHTTP1Work(qint64 received);
    void IdHTTP1WorkEnd(qint64 received);
    void transferFailed();

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

    // Writes the queue and the log now, as the close does; throws IoError.
    void writeRecordFiles();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
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
    void FormCreate();
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

    QueueGuards queueGuards() const { return {downloading, list_idle}; }
    // Clears list_idle while the queue is rewritten, and always sets it again.
    struct QueueRewrite {
        explicit QueueRewrite(bool& idle) : idle_(idle) { idle_ = false; }
        ~QueueRewrite() { idle_ = true; }
        QueueRewrite(const QueueRewrite&) = delete;
        QueueRewrite& operator=(const QueueRewrite&) = delete;
        bool& idle_;
    };
    void queueChanged();
    void logChanged();

    void readRecordFiles();
    void scheduleRecordSave();
    void saveRecordsQuietly();
    QString recordPath(const char* name) const;

    void loadSettings();
    void loadSetting(const SettingDef& def);
    void applySetting(const SettingDef& def, const std::string& stored);
    void applySettingDefault(const SettingDef& def);
    void storeSettings();
    std::string settingValueToStore(SettingId id) const;
    void autoStart();

    enum class RunState { Running, Transfer, Idle };
    void showRunState(RunState state);
    void onElementSubmitted(quint64 ticket, bool submitted);
    void onBodyMarkupRead(quint64 ticket, bool ok, const QString& markup);
    void readWaitPage(const std::string& page);
    void pageFailed(OutcomeKind kind);
    void startTransfer();
    void dropWorker();
    void setGaugeMaximum(int maximum);
    void setGaugeBytes(std::int64_t value, std::int64_t maximum);
    void countSuccess(std::int64_t bytes);
    void countSkipped();

    void showAllTimeCounters();
    void showCurrentCounters();
    std::string sizeTextOf(std::int64_t bytes) const;

    Services services_;
    // Script answers carry the attempt they were asked for; Start, Stop and
    // every outcome begin a new attempt, so a late answer is dropped.
    quint64 attempt_ = 0;
    bool awaitingSubmit_ = false;
    std::optional<bool> completedWhileSubmitting_;
    bool transferring_ = false;
    std::int64_t gaugeBytes_ = 0; // the transfer's expected size, the gauge's maximum
    QTimer* pageWatchdog_ = nullptr;
    QTimer* recordSaveTimer_ = nullptr;
    bool queueLoaded_ = true; // a file that failed to load is not saved over in the background
    bool logLoaded_ = true;
};

} // namespace vardelo
