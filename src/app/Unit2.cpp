#include "app/Unit2.h"

#include "app/GridModel.h"
#include "app/QueueGridView.h"
#include "app/TTimer.h"
#include "core/IoError.h"
#include "platform/Dialogs.h"
#include "platform/QtText.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
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
    buildControls();
    buildCycle();
    buildShell();
    connectCommands();
    nameControls();

    recordSaveTimer_ = new QTimer(this);
    recordSaveTimer_->setSingleShot(true);
    recordSaveTimer_->setInterval(3000);
    connect(recordSaveTimer_, &QTimer::timeout, this, &TForm1::saveRecordsQuietly);

    guarded([this] { FormCreate(); });
}

TForm1::~TForm1() = default;

void TForm1::connectCommands() {
    connect(Hozzaad, &QPushButton::clicked, this, guard(&TForm1::HozzaadClick));
    connect(Link_hozza, &QLineEdit::returnPressed, this, guard(&TForm1::HozzaadClick));
    connect(sor_torles, &QPushButton::clicked, this, guard(&TForm1::sor_torlesClick));
    connect(elore, &QPushButton::clicked, this, guard(&TForm1::eloreClick));
    connect(hatra, &QPushButton::clicked, this, guard(&TForm1::hatraClick));
    connect(rls1, &QAction::triggered, this, guard(&TForm1::sor_torlesClick));
    connect(Listalegelejre1, &QAction::triggered, this, guard(&TForm1::eloreClick));
    connect(Listalegvgre1, &QAction::triggered, this, guard(&TForm1::hatraClick));
    connect(Linkek, &QueueGridView::deletePressed, this, guard(&TForm1::sor_torlesClick));
    connect(Linkek, &QueueGridView::mouseDown, this, guard(&TForm1::LinkekMouseDown));
    connect(Linkek, &QueueGridView::mouseUp, this, guard(&TForm1::LinkekMouseUp));
    connect(Linkek, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PMSG->popup(Linkek->viewport()->mapToGlobal(pos)); });
    connect(linkekModel, &GridModel::changed, this, &TForm1::scheduleRecordSave);
    connect(naplosgModel, &GridModel::changed, this, &TForm1::scheduleRecordSave);

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

// Every designed control answers to its designed name, so tests and tools
// find it as a user of the window would.
void TForm1::nameControls() {
    allapot->setObjectName(QStringLiteral("allapot"));
    gauge1->setObjectName(QStringLiteral("gauge1"));
    letoltve->setObjectName(QStringLiteral("letoltve"));
    Lapok->setObjectName(QStringLiteral("Lapok"));
    letolt->setObjectName(QStringLiteral("letolt"));
    Weblap->setObjectName(QStringLiteral("Weblap"));
    beallitasok->setObjectName(QStringLiteral("beallitasok"));
    naplo->setObjectName(QStringLiteral("naplo"));
    fontos->setObjectName(QStringLiteral("fontos"));
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    inditas->setObjectName(QStringLiteral("inditas"));
    Stop->setObjectName(QStringLiteral("Stop"));
    letoltes_utan_stop->setObjectName(QStringLiteral("letoltes_utan_stop"));
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    sLabel1->setObjectName(QStringLiteral("sLabel1"));
    Linkek->setObjectName(QStringLiteral("Linkek"));
    naplosg->setObjectName(QStringLiteral("naplosg"));
    hibasak_ujra->setObjectName(QStringLiteral("hibasak_ujra"));
    button1->setObjectName(QStringLiteral("button1"));
    Mentes_helye->setObjectName(QStringLiteral("Mentes_helye"));
    Button4->setObjectName(QStringLiteral("Button4"));
    auto_le->setObjectName(QStringLiteral("auto_le"));
    vagolap->setObjectName(QStringLiteral("vagolap"));
    ujra->setObjectName(QStringLiteral("ujra"));
    elhalt->setObjectName(QStringLiteral("elhalt"));
    GroupBox6->setObjectName(QStringLiteral("GroupBox6"));
    skin_hasznalata->setObjectName(QStringLiteral("skin_hasznalata"));
    kinezet->setObjectName(QStringLiteral("kinezet"));
    Link_hozza->setObjectName(QStringLiteral("Link_hozza"));
    Hozzaad->setObjectName(QStringLiteral("Hozzaad"));
    sor_torles->setObjectName(QStringLiteral("sor_torles"));
    elore->setObjectName(QStringLiteral("elore"));
    hatra->setObjectName(QStringLiteral("hatra"));
    megnyit->setObjectName(QStringLiteral("megnyit"));
    button3->setObjectName(QStringLiteral("button3"));
    oldb->setObjectName(QStringLiteral("oldb"));
    olm->setObjectName(QStringLiteral("olm"));
    okdb->setObjectName(QStringLiteral("okdb"));
    jldb->setObjectName(QStringLiteral("jldb"));
    jlm->setObjectName(QStringLiteral("jlm"));
    jkdb->setObjectName(QStringLiteral("jkdb"));
    stat_null1->setObjectName(QStringLiteral("stat_null1"));
    Memo2->setObjectName(QStringLiteral("Memo2"));
    Memo3->setObjectName(QStringLiteral("Memo3"));
    hompage->setObjectName(QStringLiteral("hompage"));
    PMSG->setObjectName(QStringLiteral("PMSG"));
    rls1->setObjectName(QStringLiteral("rls1"));
    Listalegelejre1->setObjectName(QStringLiteral("Listalegelejre1"));
    Listalegvgre1->setObjectName(QStringLiteral("Listalegvgre1"));
    PM->setObjectName(QStringLiteral("PM"));
    PM_indit->setObjectName(QStringLiteral("PM_indit"));
    PM_megallit->setObjectName(QStringLiteral("PM_megallit"));
    PM_letoltes_utan_stop->setObjectName(QStringLiteral("PM_letoltes_utan_stop"));
    N2->setObjectName(QStringLiteral("N2"));
    PM_vagolap->setObjectName(QStringLiteral("PM_vagolap"));
    PM_Skin->setObjectName(QStringLiteral("PM_Skin"));
    PM_auto_le->setObjectName(QStringLiteral("PM_auto_le"));
    Vardelo1->setObjectName(QStringLiteral("Vardelo1"));
    Kilps1->setObjectName(QStringLiteral("Kilps1"));
    Timer3->setObjectName(QStringLiteral("Timer3"));
    Timer4->setObjectName(QStringLiteral("Timer4"));
    elhalt_kijelzo->setObjectName(QStringLiteral("elhalt_kijelzo"));
    balloon_hide->setObjectName(QStringLiteral("balloon_hide"));
}

void TForm1::FormCreate() {
    QApplication::setWindowIcon(windowIcon());
    jelenlegi_letoltott_db = 0;
    jelenlegi_letoltott_meret = 0;
    jelenlegi_kihagyott_db = 0;
    showCurrentCounters();
    list_idle = true;
    downloading = false;
    setWindowTitle(QStringLiteral("Vardelo"));
    QApplication::setApplicationDisplayName(QStringLiteral("Vardelo"));
    setGridColumns();
    Stop->setEnabled(false);
    readRecordFiles();
    listSkins();
    loadSettings();
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

void TForm1::closeEvent(QCloseEvent* event) {
    QString failure;
    if (FormClose(&failure)) {
        closed_ = true;
        recordSaveTimer_->stop();
        event->accept();
        return;
    }
    services_.dialogs.showError(failure);
    event->ignore();
}

bool TForm1::closeForTermination(QString* failure) {
    if (!FormClose(failure))
        return false;
    closed_ = true;
    recordSaveTimer_->stop();
    hide();
    return true;
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
