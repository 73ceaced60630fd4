// The window's controls at their design places. Controls keep their
// positions and sizes when the window is resized, as designed.
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

template <typename W> W* place(W* widget, int x, int y, int width, int height) {
    widget->setGeometry(x, y, width, height);
    return widget;
}

QLabel* caption(QWidget* parent, const QString& text, int x, int y) {
    auto* label = new QLabel(text, parent);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QPushButton* button(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    return place(new QPushButton(text, parent), x, y, width, height);
}

QIcon picture(const char* name) {
    return QIcon(QStringLiteral(":/icons/") + QLatin1String(name) + QStringLiteral(".svg"));
}

// The design's buttons with a 32 x 32 picture beside the caption.
QPushButton* pictureButton(QWidget* parent, const QString& text, const char* icon, int x, int y,
                           int width, int height) {
    QPushButton* b = button(parent, text, x, y, width, height);
    b->setIcon(picture(icon));
    b->setIconSize(QSize(32, 32));
    return b;
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

void setUpGrid(QTableView* grid) {
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setShowGrid(true);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    grid->horizontalHeader()->setHighlightSections(false);
    grid->horizontalHeader()->setStretchLastSection(false);
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

void setColumnWidths(QTableView* grid, std::initializer_list<int> widths) {
    int column = 0;
    for (const int width : widths)
        grid->setColumnWidth(column++, width);
}

} // namespace

void TForm1::buildControls() {
    initIconResources();
    setFont(windowFont());
    resize(773, 714); // the design's 781 x 741 outer size, less the frame
    move(186, 106);
    setAutoFillBackground(true);

    auto* statusCaption = caption(this, QStringLiteral("Állapot:"), 8, 8);
    makeRegular(statusCaption);
    statusCaption->adjustSize();
    allapot = place(new QLabel(this), 48, 8, 545, 13);
    makeRegular(allapot);
    gauge1 = place(new QProgressBar(this), 8, 24, 593, 17);
    gauge1->setRange(0, 100);
    gauge1->setValue(0);
    gauge1->setTextVisible(false);
    letoltve = place(new QLabel(this), 608, 24, 160, 17);
    makeRegular(letoltve);

    Lapok = place(new QTabWidget(this), 8, 48, 593, 441);
    letolt = new QWidget;
    Weblap = new QWidget;
    beallitasok = new QWidget;
    naplo = new QWidget;
    fontos = new QWidget;
    TabSheet1 = new QWidget;
    Lapok->addTab(letolt, QStringLiteral("Letöltés"));
    Lapok->addTab(Weblap, QStringLiteral("Weblap"));
    Lapok->addTab(beallitasok, QStringLiteral("Beállitások"));
    Lapok->addTab(naplo, QStringLiteral("Naplózás"));
    Lapok->addTab(fontos, QStringLiteral("Fontos"));
    Lapok->addTab(TabSheet1, QStringLiteral("Fejlesztések"));

    Linkek = place(new QueueGridView(letolt), 0, 0, 585, 409);
    setUpGrid(Linkek);
    Linkek->verticalHeader()->setDefaultSectionSize(20);
    linkekModel = new GridModel(
        queue.grid(),
        {QStringLiteral("Sorszám"), QStringLiteral("URL"), QStringLiteral("Próbálkozások")}, this);
    Linkek->setModel(linkekModel);
    Linkek->setContextMenuPolicy(Qt::CustomContextMenu);

    setWindowIcon(picture("vardelo"));
    inditas = pictureButton(this, QStringLiteral("  Indítás   "), "start", 608, 72, 105, 40);
    Stop = pictureButton(this, QStringLiteral("Megállítás"), "stop", 608, 120, 105, 40);
    letoltes_utan_stop =
        place(new QCheckBox(QStringLiteral("Letöltés után megáll"), this), 608, 168, 160, 19);
    letoltes_utan_stop->setEnabled(false);

    buildStatisticsGroup();
    buildListGroup();
    buildSettingsPage();
    buildLogPage();
    buildInfoPages();
    buildMenus();

    sLabel1 = caption(this,
                      QStringLiteral("Amennyiben tetszik és használható a progi kérlek jelezd! "
                                     "Fontos lapon megtalálod a további információkat!"),
                      8, 688);
    makeRegular(sLabel1);
    sLabel1->adjustSize();

    // Tab order as designed.
    setTabOrder(Lapok, megnyit);
    setTabOrder(megnyit, button3);
    setTabOrder(button3, sor_torles);
    setTabOrder(sor_torles, Hozzaad);
    setTabOrder(Hozzaad, Link_hozza);
    setTabOrder(Link_hozza, elore);
    setTabOrder(elore, hatra);
    setTabOrder(hatra, stat_null1);
    setTabOrder(stat_null1, letoltes_utan_stop);
    setTabOrder(letoltes_utan_stop, Stop);
    setTabOrder(Stop, inditas);
    setTabOrder(ujra, Mentes_helye);
    setTabOrder(Mentes_helye, Button4);
    setTabOrder(Button4, auto_le);
    setTabOrder(auto_le, vagolap);
    setTabOrder(vagolap, kinezet);
    setTabOrder(kinezet, skin_hasznalata);
    setTabOrder(skin_hasznalata, elhalt);

    Lapok->setCurrentWidget(beallitasok); // the design's page; first activation shows "Letöltés"
    nameSkinSections();
    // A style sheet drops fonts a control only inherits; each control keeps
    // the window's font (or its own regular one) whatever the skin.
    for (QWidget* control : findChildren<QWidget*>())
        control->setFont(control->font());
}

void TForm1::nameSkinSections() {
    const char* property = "skinSection";
    setObjectName(QStringLiteral("TForm1"));
    setAttribute(Qt::WA_StyledBackground);
    setProperty(property, QStringLiteral("FORM"));
    for (QPushButton* b : findChildren<QPushButton*>())
        b->setProperty(property, QStringLiteral("BUTTON"));
    for (QCheckBox* box : findChildren<QCheckBox*>())
        box->setProperty(property, QStringLiteral("CHECKBOX"));
    for (QLineEdit* edit : {Link_hozza, Mentes_helye})
        edit->setProperty(property, QStringLiteral("EDIT"));
    kinezet->setProperty(property, QStringLiteral("COMBOBOX"));
    services_.skins.setTarget(this);
}

void TForm1::setGridColumns() {
    setColumnWidths(Linkek, {50, 438, 90});
    setColumnWidths(naplosg, {50, 300, 70, 70, 100});
}

void TForm1::buildListGroup() {
    GroupBox1 = place(new QGroupBox(QStringLiteral("Lista kezelés"), this), 8, 496, 593, 185);
    caption(GroupBox1, QStringLiteral("Link hozzáadása:"), 8, 16);
    Link_hozza = place(new QLineEdit(GroupBox1), 8, 32, 481, 21);
    makeRegular(Link_hozza);
    Hozzaad = pictureButton(GroupBox1, QStringLiteral("Hozzáadás"), "add", 8, 56, 113, 40);
    sor_torles =
        pictureButton(GroupBox1, QStringLiteral("   Törlés    "), "delete", 128, 56, 113, 40);
    elore = pictureButton(GroupBox1, QStringLiteral("Lista elejére"), "top", 248, 56, 113, 40);
    hatra = pictureButton(GroupBox1, QStringLiteral("Lista végére"), "bottom", 376, 56, 113, 40);
    megnyit = pictureButton(GroupBox1, QStringLiteral("Megnyitás"), "open", 8, 112, 113, 40);
    button3 = pictureButton(GroupBox1, QStringLiteral(" Mentés   "), "save", 128, 112, 113, 40);

    auto* order =
        place(new QGroupBox(QStringLiteral("Linkek sorrendjének változtatása"), GroupBox1), 376,
              128, 215, 57);
    caption(order, QStringLiteral("Egérrel,gombokkal"), 8, 16);
    caption(order, QStringLiteral("Törlése:delete gomb vagy gomb"), 8, 32);

    // The design keeps hint texts on these buttons but never shows them.
    Hozzaad->setStatusTip(QStringLiteral("Link hozzáadása"));
    sor_torles->setStatusTip(QStringLiteral("Kijelölt sor törlése"));
    elore->setStatusTip(QStringLiteral("Kijelölt a lista legelejére"));
    hatra->setStatusTip(QStringLiteral("Kijelölt a lista legvégére"));
    megnyit->setStatusTip(QStringLiteral("Lista megnyitása fájlból"));
    button3->setStatusTip(QStringLiteral("Lista mentése fájlba"));
    inditas->setStatusTip(QStringLiteral("Letöltés indítása"));
    Stop->setStatusTip(QStringLiteral("Letöltés megállítása"));
}

void TForm1::buildStatisticsGroup() {
    GroupBox3 =
        place(new QGroupBox(QStringLiteral("Letöltési statisztika"), this), 608, 224, 153, 457);

    const auto counterGroup = [this](const QString& title, int y, int height, QLabel*& count,
                                     QLabel*& size, QLabel*& skipped) {
        auto* group = place(new QGroupBox(title, GroupBox3), 8, y, 137, height);
        caption(group, QStringLiteral("Letöltött fájlok száma:"), 4, 16);
        count = caption(group, QStringLiteral("0"), 4, 32);
        caption(group, QStringLiteral("Letöltött fájlok mérete:"), 4, 64);
        size = caption(group, QStringLiteral("0"), 4, 80);
        caption(group, QStringLiteral("Kihagyott fájlok száma:"), 4, 112);
        skipped = caption(group, QStringLiteral("0"), 4, 128);
        for (QLabel* value : {count, size, skipped})
            value->setFixedWidth(129);
        return group;
    };
    counterGroup(QStringLiteral("Összes"), 24, 153, oldb, olm, okdb);
    QGroupBox* current = counterGroup(QStringLiteral("Jelenlegi"), 216, 225, jldb, jlm, jkdb);
    stat_null1 = button(current, QStringLiteral("Nullázás"), 32, 168, 75, 25);
}

void TForm1::buildSettingsPage() {
    caption(beallitasok, QStringLiteral("Fájlok mentési helye:"), 0, 0);
    Mentes_helye = place(new QLineEdit(beallitasok), 0, 16, 121, 21);
    Mentes_helye->setReadOnly(true);
    makeRegular(Mentes_helye);
    Button4 = button(beallitasok, QStringLiteral("Tallózás"), 128, 16, 75, 25);
    auto_le =
        place(new QCheckBox(QStringLiteral("Letöltés indítása program indulásakor"), beallitasok),
              0, 48, 280, 19);
    vagolap = place(new QCheckBox(QStringLiteral("Vágólap figyelő (a '") + toQt(kHostAddress) +
                                      QStringLiteral("' kezdetű linkekre figyel csak)"),
                                  beallitasok),
                    0, 72, 431, 19);
    caption(beallitasok, QStringLiteral("Hibás linkek ujraprobálkozásának száma:"), 4, 100);
    ujra = place(new QSpinBox(beallitasok), 248, 96, 41, 22);
    ujra->setRange(1, 8);
    ujra->setValue(3);
    caption(beallitasok, QStringLiteral("Elhalt link utáni várakozás (mp):"), 4, 124);
    elhalt = place(new QSpinBox(beallitasok), 192, 120, 41, 22);
    elhalt->setRange(0, 15);
    elhalt->setValue(5);
    caption(beallitasok,
            QStringLiteral("Ha kicsire állítod,letilthat a rapid ha sok az elhalt link a "
                           "letöltési listában."),
            4, 140);
    GroupBox6 = place(new QGroupBox(QStringLiteral("Kinézet"), beallitasok), 4, 160, 165, 105);
    skin_hasznalata =
        place(new QCheckBox(QStringLiteral("Skin használata"), GroupBox6), 8, 16, 118, 19);
    kinezet = place(new QComboBox(GroupBox6), 8, 40, 145, 21);
    kinezet->setEditable(true);
    kinezet->setMaxVisibleItems(16);
    kinezet->setEditText(QStringLiteral("kinezet"));
    makeRegular(kinezet);
}

void TForm1::buildLogPage() {
    naplosg = place(new QTableView(naplo), 0, 8, 553, 353);
    setUpGrid(naplosg);
    naplosgModel =
        new GridModel(log.grid(),
                      {QStringLiteral("Sorszám"), QStringLiteral("URL"), QStringLiteral("Állapot"),
                       QStringLiteral("Méret"), QStringLiteral("Próbálkozás")},
                      this);
    naplosg->setModel(naplosgModel);
    naplosg->verticalHeader()->setDefaultSectionSize(24);
    hibasak_ujra = button(naplo, QStringLiteral("Hibás linkek ujratöltése"), 120, 376, 145, 25);
    button1 = button(naplo, QStringLiteral("Napló ürítése"), 304, 376, 89, 25);
}

void TForm1::buildInfoPages() {
    const auto infoText = [](QWidget* page, const QString& text, int height) {
        auto* memo = place(new QPlainTextEdit(text, page), 0, 0, 489, height);
        memo->setReadOnly(true);
        memo->setFrameShape(QFrame::NoFrame);
        memo->setBackgroundRole(QPalette::Button);
        memo->viewport()->setBackgroundRole(QPalette::Button);
        return memo;
    };
    Memo2 = infoText(fontos, importantText(), 217);
    hompage =
        pictureButton(fontos, QStringLiteral("Megnézem a weblapját"), "home", 184, 240, 177, 41);
    Memo3 = infoText(TabSheet1, changeHistoryText(), 257);
}

void TForm1::buildMenus() {
    PMSG = new QMenu(this);
    rls1 = PMSG->addAction(picture("delete"), QStringLiteral("Törlés"));
    Listalegelejre1 = PMSG->addAction(picture("top"), QStringLiteral("Lista legelejére"));
    Listalegvgre1 = PMSG->addAction(picture("bottom"), QStringLiteral("Lista legvégére"));

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
