#include "app/Unit2.h"

#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "core/IoError.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"
#include "platform/TrayIcon.h"
#include "session/TTimer.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>

namespace vardelo {

TForm1::TForm1(Services services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    session_ = new DownloadSession(services_.browser, services_.http, services_.profiles, this);
    session_->keepRecordsIn(services_.recordFolder);
    buildControls();
    buildCycle();
    buildLimits();
    buildShell();
    buildTransferRate();
    connectCommands();
    buildLinkCheck(); // after Stop's own handler: the check's end is told last
    addRowStateColumn();
    buildPackages();
    nameControls();

    rememberStartingSettings();
    guarded([this] { FormCreate(); });
    guarded([this] { takeStartupLinks(); }); // also when start-up stopped before them
}

// The models listen to the queue's and the log's grids, which go with the
// session.
TForm1::~TForm1() {
    if (archivePasswordsSave_ && archivePasswordsSave_->isActive())
        saveArchivePasswords(); // the last keys of the list are not lost
    delete linkekModel;
    delete naplosgModel;
    delete session_;
}

void TForm1::connectCommands() {
    connect(Hozzaad, &QPushButton::clicked, this, guard(&TForm1::HozzaadClick));
    connect(Link_hozza, &QLineEdit::returnPressed, this, guard(&TForm1::HozzaadClick));
    connect(sor_torles, &QPushButton::clicked, this, guard(&TForm1::sor_torlesClick));
    connect(elore, &QPushButton::clicked, this, guard(&TForm1::eloreClick));
    connect(hatra, &QPushButton::clicked, this, guard(&TForm1::hatraClick));
    connect(rls1, &QAction::triggered, this, guard(&TForm1::sor_torlesClick));
    connect(Listalegelejre1, &QAction::triggered, this, guard(&TForm1::eloreClick));
    connect(passwordItem, &QAction::triggered, this, guard(&TForm1::passwordItemClick));
    connect(Listalegvgre1, &QAction::triggered, this, guard(&TForm1::hatraClick));
    connect(Linkek, &QueueGridView::deletePressed, this, guard(&TForm1::sor_torlesClick));
    connect(Linkek, &QueueGridView::mouseDown, this, guard(&TForm1::LinkekMouseDown));
    connect(Linkek, &QueueGridView::mouseUp, this, guard(&TForm1::LinkekMouseUp));
    connect(Linkek, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PMSG->popup(Linkek->viewport()->mapToGlobal(pos)); });

    connect(megnyit, &QPushButton::clicked, this, guard(&TForm1::megnyitClick));
    connect(button3, &QPushButton::clicked, this, guard(&TForm1::button3Click));

    connect(Button4, &QPushButton::clicked, this, guard(&TForm1::Button4Click));
    connect(auto_le, &QCheckBox::toggled, this, guard(&TForm1::auto_leClick));
    connect(vagolap, &QCheckBox::toggled, this, guard(&TForm1::vagolapClick));
    connect(skin_hasznalata, &QCheckBox::toggled, this, guard(&TForm1::skin_hasznalataClick));
    connect(kinezet, &QComboBox::currentTextChanged, this, guard(&TForm1::kinezetChange));
    connect(letoltes_utan_stop, &QCheckBox::toggled, this, guard(&TForm1::letoltes_utan_stopClick));
    connect(PM_auto_le, &QAction::triggered, this, guard(&TForm1::PM_auto_leClick));
    connect(PM_vagolap, &QAction::triggered, this, guard(&TForm1::PM_vagolapClick));
    connect(PM_Skin, &QAction::triggered, this, guard(&TForm1::PM_SkinClick));
    connect(PM_letoltes_utan_stop, &QAction::triggered, this,
            guard(&TForm1::PM_letoltes_utan_stopClick));

    connect(inditas, &QPushButton::clicked, this, guard(&TForm1::inditasClick));
    connect(Stop, &QPushButton::clicked, this, guard(&TForm1::StopClick));
    connect(PM_indit, &QAction::triggered, this, guard(&TForm1::inditasClick));
    connect(PM_megallit, &QAction::triggered, this, guard(&TForm1::StopClick));
    connect(Kilps1, &QAction::triggered, this, guard(&TForm1::Kilps1Click));
    connect(Vardelo1, &QAction::triggered, this, guard(&TForm1::Vardelo1Click));
    connect(hompage, &QPushButton::clicked, this, guard(&TForm1::hompageClick));

    connect(stat_null1, &QPushButton::clicked, this, guard(&TForm1::stat_null1Click));
    connect(button1, &QPushButton::clicked, this, guard(&TForm1::button1Click));
    connect(hibasak_ujra, &QPushButton::clicked, this, guard(&TForm1::hibasak_ujraClick));
}

// The form names its controls; the menus and timers built in code answer to
// their designed names as well.
void TForm1::nameControls() {
    const std::initializer_list<std::pair<QObject*, const char*>> named{
        {PMSG, "PMSG"},
        {rls1, "rls1"},
        {Listalegelejre1, "Listalegelejre1"},
        {Listalegvgre1, "Listalegvgre1"},
        {PM, "PM"},
        {PM_indit, "PM_indit"},
        {PM_megallit, "PM_megallit"},
        {PM_letoltes_utan_stop, "PM_letoltes_utan_stop"},
        {N2, "N2"},
        {PM_vagolap, "PM_vagolap"},
        {PM_Skin, "PM_Skin"},
        {PM_auto_le, "PM_auto_le"},
        {Vardelo1, "Vardelo1"},
        {Kilps1, "Kilps1"},
        {balloon_hide, "balloon_hide"},
        {CTI, "CTI"},
    };
    for (const auto& [object, name] : named)
        object->setObjectName(QLatin1String(name));
}

void TForm1::FormCreate() {
    QApplication::setWindowIcon(windowIcon());
    session_->resetCurrentRun();
    showCurrentCounters();
    session_->listReady();
    setWindowTitle(QStringLiteral("Vardelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vardelo"));
    setGridColumns();
    Stop->setEnabled(false);
    readRecordFiles();
    takeStartupLinks(); // after the stored queue, and before auto-start looks at it
    listSkins();
    // Auto-start comes right after its own setting, as designed: the
    // settings read after it cannot hold it back.
    loadSettings(SettingsPart::UpToAutoStart);
    autoStart();
    loadSettings(SettingsPart::Rest);
}

void TForm1::FormActivate() {
    if (activated_once)
        return;
    activated_once = true;
    Lapok->setCurrentWidget(Weblap);
    Lapok->setCurrentIndex(0);
}

bool TForm1::FormClose(QString* failure) {
    try {
        storeSettings();
        writeRecordFiles();
        return true;
    } catch (const std::exception& error) {
        *failure = toQt(withFinalPeriod(error.what()));
        return false;
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FormActivate();
}

bool TForm1::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QWidget::event(event);
}

void TForm1::guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        reportError(error);
    }
}

void TForm1::reportError(const std::exception& error) {
    services_.dialogs.showError(toQt(withFinalPeriod(error.what())));
}

} // namespace vardelo
