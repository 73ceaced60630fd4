// What the form (Unit2.ui) cannot say: the window's font, the grids'
// models, texts made at run time, the menus and the skin sections.
#include "app/GridModel.h"
#include "app/InfoTexts.h"
#include "app/QueueGridView.h"
#include "app/Unit2.h"
#include "core/ClipboardLinks.h"
#include "platform/QtText.h"
#include "platform/SkinEngine.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>

// The pictures live in the static library; tie them into the program.
static void initIconResources() {
    Q_INIT_RESOURCE(icons);
}

namespace vardelo {
namespace {

QIcon picture(const char* name) {
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

void makeRegular(QWidget* widget) {
    QFont font = widget->font();
    font.setBold(false);
    widget->setFont(font);
}

QFont windowFont() {
    // The design's "MS Sans Serif" 8 pt; the desktop's sans-serif stands in.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arial"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    font.setBold(true);
    return font;
}

// The design places each group's first row 16 pixels down, under a caption
// that sits on the frame line; the desktop style draws the line below the
// caption, through that row. The line goes back to the caption's middle.
void putCaptionsOnTheFrame(const QList<QGroupBox*>& groups) {
    for (QGroupBox* group : groups)
        group->setStyleSheet(QStringLiteral(
            "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 6px;"
            " padding-top: 9px; }"
            "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
}

void setColumnWidths(QTableView* grid, std::initializer_list<int> widths) {
    int column = 0;
    for (const int width : widths)
        grid->setColumnWidth(column++, width);
}

} // namespace

void TForm1::buildControls() {
    initIconResources();
    setupUi(this);
    takeSubformControls();
    setFont(windowFont());
    resize(773, 714); // the design's 781 x 741 outer size, less the frame
    move(186, 106);
    setAutoFillBackground(true);
    setWindowIcon(picture("vardelo"));

    for (QWidget* regular : std::initializer_list<QWidget*>{
             Label1, allapot, letoltve, transferRate, sLabel1, Link_hozza, Mentes_helye, kinezet})
        makeRegular(regular);
    gauge1->setRange(0, 100);

    linkekModel = new GridModel(
        session_->queueFeed(),
        {QStringLiteral("Sorszám"), QStringLiteral("URL"), QStringLiteral("Próbálkozások")}, this);
    Linkek->setModel(linkekModel);
    naplosgModel =
        new GridModel(session_->logFeed(),
                      {QStringLiteral("Sorszám"), QStringLiteral("URL"), QStringLiteral("Állapot"),
                       QStringLiteral("Méret"), QStringLiteral("Próbálkozás")},
                      this);
    naplosg->setModel(naplosgModel);
    // A waiting host's row tells until when; the check's columns what it found.
    linkekModel->setToolTips([this](int row, int column) {
        if (column == kPackageColumn)
            return packageTip(row);
        if (column > QueueAttempts)
            return linkCheckTip(row, column);
        return column == QueueUrl ? session_->hostWaitText(queue().grid().cell(row, QueueUrl))
                                  : QString();
    });
    // A given-up link's status cell tells why its attempts of this run
    // failed; a downloaded one's, what its check found.
    naplosgModel->setToolTips([this](int row, int column) {
        const std::string& status = log().grid().cell(row, LogStatus);
        if (column != LogStatus || (status != kStatusFailed && status != kStatusSuccess))
            return QString();
        return toQt(session_->runFailures().reasonsOf(log().grid().cell(row, LogUrl)));
    });
    for (QTableView* grid : {static_cast<QTableView*>(Linkek), naplosg})
        grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);

    vagolap->setText(QStringLiteral("Vágólap fig&yelő (a '") + toQt(kHostAddress) +
                     QStringLiteral("' kezdetű linkekre figyel csak)"));
    for (QPlainTextEdit* memo : {Memo2, Memo3}) {
        memo->setBackgroundRole(QPalette::Button);
        memo->viewport()->setBackgroundRole(QPalette::Button);
    }
    Memo2->setPlainText(importantText());
    hompage->setToolTip(contactText());
    Memo3->setPlainText(changeHistoryText());

    buildMenus();
    setTabOrderOfSubforms();
    nameSkinSections();
    // A style sheet drops fonts a control only inherits; each control keeps
    // the window's font (or its own regular one) whatever the skin.
    for (QWidget* control : findChildren<QWidget*>())
        control->setFont(control->font());
    // Only now: a group's own sheet resets the fonts its controls inherit.
    putCaptionsOnTheFrame(findChildren<QGroupBox*>());
}

// The log page and the statistics box are forms of their own; the handlers
// reach their controls by the designed names.
void TForm1::takeSubformControls() {
    naplosg = naplo->naplosg;
    hibasak_ujra = naplo->hibasak_ujra;
    button1 = naplo->button1;
    oldb = GroupBox3->oldb;
    olm = GroupBox3->olm;
    okdb = GroupBox3->okdb;
    jldb = GroupBox3->jldb;
    jlm = GroupBox3->jlm;
    jkdb = GroupBox3->jkdb;
    stat_null1 = GroupBox3->stat_null1;
}

// The form's tab stops cannot name controls inside the log page and the
// statistics box; they take their designed places here. The page control
// leads by being created first: naming it as a tab stop (its focus goes to
// its tab bar) makes Qt 6.4 cut the stops out of the window's chain.
void TForm1::setTabOrderOfSubforms() {
    setTabOrder(elhalt, naplosg);
    setTabOrder(naplosg, hibasak_ujra);
    setTabOrder(hibasak_ujra, button1);
    setTabOrder(button1, Memo2);
    setTabOrder(hatra, stat_null1);
    setTabOrder(stat_null1, letoltes_utan_stop);
}

void TForm1::nameSkinSections() {
    const char* property = "skinSection";
    // The skin draws the window's client area, not the window: dialogs that
    // have the window as their parent stay out of the skin's reach.
    clientArea->setAttribute(Qt::WA_StyledBackground);
    clientArea->setProperty(property, QStringLiteral("FORM"));
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setProperty(property, QStringLiteral("BUTTON"));
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setProperty(property, QStringLiteral("CHECKBOX"));
    for (QLineEdit* edit : {Link_hozza, Mentes_helye})
        edit->setProperty(property, QStringLiteral("EDIT"));
    kinezet->setProperty(property, QStringLiteral("COMBOBOX"));
    services_.skins.setTarget(clientArea);
}

void TForm1::setGridColumns() {
    // The check's columns and the state take their room from the address.
    setColumnWidths(Linkek, {50, 140, 90, 90, 60, 58, 90});
    // A narrow address keeps its file's name, the end that tells links apart.
    Linkek->setTextElideMode(Qt::ElideMiddle);
    setColumnWidths(naplosg, {50, 300, 70, 70, 100});
}

void TForm1::buildMenus() {
    PMSG = new QMenu(this);
    rls1 = PMSG->addAction(picture("delete"), QStringLiteral("Törlés"));
    Listalegelejre1 = PMSG->addAction(picture("top"), QStringLiteral("Lista legelejére"));
    Listalegvgre1 = PMSG->addAction(picture("bottom"), QStringLiteral("Lista legvégére"));
    passwordItem = PMSG->addAction(QStringLiteral("Jelszó megadása…"));
    passwordItem->setObjectName(QStringLiteral("passwordItem"));

    PM = new QMenu(this);
    PM_indit = PM->addAction(picture("start"), QStringLiteral("Letöltés &indítása"));
    PM_megallit = PM->addAction(picture("stop"), QStringLiteral("Letöltés &megállítása"));
    PM_megallit->setEnabled(false);
    PM_letoltes_utan_stop = PM->addAction(QStringLiteral("Letöltés után állj"));
    PM_letoltes_utan_stop->setCheckable(true);
    PM_letoltes_utan_stop->setEnabled(false);
    PM->addSeparator();
    N2 = PM->addMenu(picture("settings"), QStringLiteral("Beállítások"));
    PM_vagolap = N2->addAction(QStringLiteral("Vágólap figyelése"));
    PM_Skin = N2->addAction(QStringLiteral("Skinek használata"));
    PM_auto_le = N2->addAction(QStringLiteral("Induláskor autómatikus letöltés"));
    for (QAction* mirror : {PM_vagolap, PM_Skin, PM_auto_le})
        mirror->setCheckable(true);
    PM->addSeparator();
    Vardelo1 = PM->addAction(picture("window"), QStringLiteral("Vardelo"));
    Kilps1 = PM->addAction(picture("exit"), QStringLiteral("Kilépés"));
}

} // namespace vardelo
