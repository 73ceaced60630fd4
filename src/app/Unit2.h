#pragma once

#include "core/DownloadQueue.h"
#include "core/EventLog.h"
#include "core/QueueDrag.h"
#include "core/SettingsTable.h"

#include <QWidget>

#include <cstdint>
#include <functional>
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

class Dialogs;
class GridModel;
class QueueGridView;
class SettingsStore;

// What the window is given by the program's entry (or by a test).
struct Services {
    SettingsStore& settings;
    Dialogs& dialogs;
    QString recordFolder;        // where Lista.Vdl and Naplo.Vdl live
    QString defaultTargetFolder; // offered on a first start
};

// The main window. It owns the program's whole state for the run; its
// handlers keep the names of the commands they carry out.
class TForm1 final : public QWidget {
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

    DownloadQueue queue;                // shown in Linkek
    EventLog log;                       // shown in naplosg
    std::string Memo1;                  // the page text being read
    std::vector<std::string> ListBox1; // line buffer of list import and export

    // --- controls ----------------------------------------------------------
    QLabel* allapot = nullptr;
    QProgressBar* gauge1 = nullptr;
    QLabel* letoltve = nullptr;
    QTabWidget* Lapok = nullptr;
    QWidget* letolt = nullptr;
    QWidget* Weblap = nullptr;
    QWidget* beallitasok = nullptr;
    QWidget* naplo = nullptr;
    QWidget* fontos = nullptr;
    QWidget* TabSheet1 = nullptr;
    QPushButton* inditas = nullptr;
    QPushButton* Stop = nullptr;
    QCheckBox* letoltes_utan_stop = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QLabel* sLabel1 = nullptr;

    QueueGridView* Linkek = nullptr;
    QTableView* naplosg = nullptr;
    QPushButton* hibasak_ujra = nullptr;
    QPushButton* button1 = nullptr;

    QLineEdit* Mentes_helye = nullptr;
    QPushButton* Button4 = nullptr;
    QCheckBox* auto_le = nullptr;
    QCheckBox* vagolap = nullptr;
    QSpinBox* ujra = nullptr;
    QSpinBox* elhalt = nullptr;
    QGroupBox* GroupBox6 = nullptr;
    QCheckBox* skin_hasznalata = nullptr;
    QComboBox* kinezet = nullptr;

    QLineEdit* Link_hozza = nullptr;
    QPushButton* Hozzaad = nullptr;
    QPushButton* sor_torles = nullptr;
    QPushButton* elore = nullptr;
    QPushButton* hatra = nullptr;
    QPushButton* megnyit = nullptr;
    QPushButton* button3 = nullptr;

    QLabel* oldb = nullptr;
    QLabel* olm = nullptr;
    QLabel* okdb = nullptr;
    QLabel* jldb = nullptr;
    QLabel* jlm = nullptr;
    QLabel* jkdb = nullptr;
    QPushButton* stat_null1 = nullptr;

    QPlainTextEdit* Memo2 = nullptr;
    QPlainTextEdit* Memo3 = nullptr;
    QPushButton* hompage = nullptr;

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

    GridModel* linkekModel = nullptr;
    GridModel* naplosgModel = nullptr;

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
    void letoltes_utan_stopClick();
    void PM_auto_leClick();
    void PM_vagolapClick();
    void PM_SkinClick();
    void PM_letoltes_utan_stopClick();

    void stat_null1Click();
    void button1Click();
    void hibasak_ujraClick();

    // Writes the queue and the log now, as the close does; throws IoError.
    void writeRecordFiles();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    void buildControls();
    void buildListGroup();
    void buildStatisticsGroup();
    void buildSettingsPage();
    void buildLogPage();
    void buildInfoPages();
    void buildMenus();
    void setGridColumns();
    void connectCommands();

    void FormCreate();
    void FormActivate();
    bool FormClose(QString* failure);

    // Runs a handler; any failure is shown in the standard error box, so no
    // exception ever reaches the event loop.
    void guarded(const std::function<void()>& handler);

    // A slot for connect(): runs the handler guarded, with the signal's
    // arguments when the handler takes them.
    template <typename... HandlerArgs>
    auto guard(void (TForm1::*handler)(HandlerArgs...)) {
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

    void showAllTimeCounters();
    void showCurrentCounters();
    std::string sizeTextOf(std::int64_t bytes) const;

    Services services_;
    QTimer* recordSaveTimer_ = nullptr;
    bool queueLoaded_ = true; // a file that failed to load is not saved over in the background
    bool logLoaded_ = true;
};

} // namespace vardelo
