// What a skin may and may not reach: the window's groups in every skin,
// dialogs readable whatever the skin, the skin box's list, Qt's Hungarian.
#include "WindowFixture.h"

#include "platform/Translations.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QTest>
#include <QTranslator>

#include <cmath>
#include <map>

namespace vardelo {
namespace {

double luminance(QColor colour) {
    const auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) +
           0.0722 * channel(colour.blue());
}

double contrast(QColor a, QColor b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The contrast of a label's text as drawn in its dialog: the commonest colour
// under the label is the background, the one standing out most is the text.
double drawnContrast(QWidget* dialog, QLabel* label) {
    const QImage image =
        dialog->grab().toImage().copy(QRect(label->mapTo(dialog, QPoint(0, 0)), label->size()));
    std::map<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb background = 0;
    int most = 0;
    for (const auto& [rgb, count] : counts)
        if (count > most) {
            most = count;
            background = rgb;
        }
    double best = 1.0;
    for (const auto& [rgb, count] : counts)
        best = std::max(best, contrast(QColor(rgb), QColor(background)));
    return best;
}

class Appearance : public WindowFixture {
  protected:
    QString skinFolder() const { return recordFolder() + QStringLiteral("/Skins"); }

    void copyShippedSkins() {
        const QDir shipped(QStringLiteral(VARDELO_SHIPPED_SKINS));
        QDirIterator it(shipped.path(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString target =
                skinFolder() + QLatin1Char('/') + shipped.relativeFilePath(it.next());
            QDir().mkpath(QFileInfo(target).path());
            ASSERT_TRUE(QFile::copy(it.filePath(), target));
        }
    }

    // A skin that aims at dialogs and points its images at itself.
    void makeHostileSkin() {
        QDir().mkpath(skinFolder() + QStringLiteral("/Hostile"));
        QFile sheet(skinFolder() + QStringLiteral("/Hostile/Options.dat"));
        ASSERT_TRUE(sheet.open(QIODevice::WriteOnly));
        sheet.write("QDialog, QMessageBox, QFileDialog, QWidget { background: #ffffff; }\n"
                    "QLabel, QMessageBox QLabel, #qt_msgbox_label, QDialog * { color: #fdfdfd; }\n"
                    "* { background-image: url(Options.dat); border-image: url(url(url(x))); }\n"
                    "QPushButton { color: #fefefe; { unbalanced\n");
    }

    TForm1& openWithSkin(const QString& name) {
        TForm1& form = open();
        auto* box = control<QComboBox>("kinezet");
        box->setCurrentIndex(box->findText(name));
        EXPECT_EQ(skins().skinName(), name);
        form.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&form));
        return form;
    }

    void expectReadableDialogs(TForm1& form, const QString& skin) {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Vardelo"),
                        QStringLiteral("Üres a letöltési lista!"), QMessageBox::Ok, &form);
        box.show();
        QApplication::processEvents();
        EXPECT_GE(drawnContrast(&box, box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))),
                  4.5)
            << "message box in " << skin.toStdString();

        QFileDialog files(&form);
        files.setOption(QFileDialog::DontUseNativeDialog);
        files.show();
        QApplication::processEvents();
        EXPECT_GE(drawnContrast(&files, files.findChild<QLabel*>(QStringLiteral("fileNameLabel"))),
                  4.5)
            << "file dialog in " << skin.toStdString();
    }

    // Every control of every group lies below the caption the style reports
    // for that group, and inside the group's frame; each page is looked at.
    void expectGroupsHoldTheirContents(const QString& skin) {
        auto* pages = control<QTabWidget>("Lapok");
        for (int page = 0; page < pages->count(); ++page) {
            pages->setCurrentIndex(page);
            QApplication::processEvents();
            for (QGroupBox* group : form().findChildren<QGroupBox*>())
                if (group->isVisible())
                    expectGroupHoldsItsContents(group, skin);
        }
    }

    static QGroupBox* enclosingGroup(QWidget* widget) {
        for (QWidget* up = widget->parentWidget(); up; up = up->parentWidget())
            if (auto* group = qobject_cast<QGroupBox*>(up))
                return group;
        return nullptr;
    }

    // The first row of the group's top frame line as drawn in the window,
    // looked for at the group's right end, clear of the caption; -1: none.
    int drawnFrameTop(QGroupBox* group) {
        const QImage image = form().grab().toImage();
        const QPoint origin = group->mapTo(&form(), QPoint(0, 0));
        const int x = origin.x() + group->width() - 8;
        const QColor above = image.pixelColor(x, origin.y());
        for (int y = 1; y < group->height(); ++y) {
            const QColor here = image.pixelColor(x, origin.y() + y);
            if (std::abs(here.red() - above.red()) + std::abs(here.green() - above.green()) +
                    std::abs(here.blue() - above.blue()) >
                40)
                return y;
        }
        return -1;
    }

    void expectGroupHoldsItsContents(QGroupBox* group, const QString& skin) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect caption = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                             QStyle::SC_GroupBoxLabel, group);
        const QRect inside = group->contentsRect();
        // The caption sits on the frame line, as the design's row positions
        // expect; a line below the caption runs through the first row.
        const int frameTop = drawnFrameTop(group);
        const std::string which =
            group->objectName().toStdString() + ", skin " + skin.toStdString();
        EXPECT_GE(frameTop, caption.top()) << "no frame line drawn for " << which;
        EXPECT_LE(frameTop, caption.bottom()) << "frame line under the caption of " << which;
        for (QWidget* child : group->findChildren<QWidget*>()) {
            if (enclosingGroup(child) != group || child->objectName().isEmpty() ||
                child->objectName().startsWith(QStringLiteral("qt_")))
                continue;
            const QRect placed(child->mapTo(group, QPoint(0, 0)), child->size());
            const std::string where = child->objectName().toStdString() + " in " +
                                      group->objectName().toStdString() + ", skin " +
                                      skin.toStdString();
            EXPECT_GT(placed.top(), caption.bottom()) << where << " on the caption";
            EXPECT_GT(placed.top(), frameTop + 2) << where << " on the frame line";
            EXPECT_EQ(child->font().pixelSize(), 11) << where << " lost the window's font";
            EXPECT_TRUE(inside.contains(placed)) << where << " cut off";
        }
    }
};

TEST_F(Appearance, DialogsStayReadableAndGroupsHoldTheirContentsInEverySkin) {
    copyShippedSkins();
    makeHostileSkin();
    for (const QString& skin :
         {QStringLiteral("MacOS2"), QStringLiteral("Office2007"), QStringLiteral("WMP11"),
          QStringLiteral("Zune"), QStringLiteral("Hostile")}) {
        TForm1& form = openWithSkin(skin);
        expectReadableDialogs(form, skin);
        expectGroupsHoldTheirContents(skin);
    }
    TForm1& form = open();
    control<QCheckBox>("skin_hasznalata")->setChecked(false);
    form.show();
    expectReadableDialogs(form, QStringLiteral("no skin"));
    expectGroupsHoldTheirContents(QStringLiteral("no skin"));
}

// The tray turns skins off while the window hides in the tray.
// A checked box shows a tick: something inside its indicator stands out
// from the indicator's own background.
TEST_F(Appearance, ACheckedBoxShowsItsTickInEverySkin) {
    copyShippedSkins();
    for (const QString& skin : {QStringLiteral("MacOS2"), QStringLiteral("Office2007"),
                                QStringLiteral("WMP11"), QStringLiteral("Zune")}) {
        openWithSkin(skin);
        auto* box = control<QCheckBox>("vagolap");
        box->setChecked(true);
        QApplication::processEvents();
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect indicator =
            box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
        const QImage drawn = box->grab().toImage();
        const QColor corner = drawn.pixelColor(indicator.topLeft() + QPoint(2, 2));
        double best = 1.0;
        for (int y = indicator.top() + 2; y <= indicator.bottom() - 2; ++y)
            for (int x = indicator.left() + 2; x <= indicator.right() - 2; ++x)
                best = std::max(best, contrast(drawn.pixelColor(x, y), corner));
        EXPECT_GE(best, 2.0) << skin.toStdString();
    }
}

TEST_F(Appearance, SkinsTurnedOffWhileHiddenLeaveTheSystemColours) {
    copyShippedSkins();
    TForm1& form = open();
    control<QComboBox>("kinezet")->setCurrentIndex(3);
    control<QAction>("PM_Skin")->trigger();
    ASSERT_FALSE(control<QCheckBox>("skin_hasznalata")->isChecked());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (const char* name : {"Label1", "sLabel1", "Hozzaad", "Link_hozza"}) {
        QWidget* widget = control<QWidget>(name);
        const QPalette system = QApplication::palette(widget);
        for (const QPalette::ColorRole role : {widget->foregroundRole(), widget->backgroundRole()})
            EXPECT_EQ(widget->palette().color(role), system.color(role))
                << name << ", colour role " << role;
    }
}

TEST_F(Appearance, TheSkinBoxListsOnlyTheSkinsFound) {
    copyShippedSkins();
    TForm1& form = open();
    form.show();
    auto* box = control<QComboBox>("kinezet");
    const QStringList found = skins().listSkinNames();
    box->setCurrentIndex(box->findText(QStringLiteral("WMP11")));
    box->setFocus();
    box->lineEdit()->selectAll();
    QTest::keyClicks(box->lineEdit(), QStringLiteral("Sajat"));
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QStringList listed;
    for (int i = 0; i < box->count(); ++i)
        listed << box->itemText(i);
    EXPECT_EQ(listed, found);
    EXPECT_EQ(skins().skinName(), QStringLiteral("MacOS2")); // a name of no skin draws MacOS2
    EXPECT_TRUE(form.close());
    EXPECT_EQ(storedSetting(QStringLiteral("skin")).toInt(),
              found.indexOf(QStringLiteral("WMP11")));
}

TEST_F(Appearance, StandardButtonsAndFileDialogsSpeakHungarian) {
    QTranslator* translator = installQtTranslations();
    ASSERT_NE(translator, nullptr) << "qtbase_hu.qm is not installed";
    QMessageBox question(QMessageBox::Question, QStringLiteral("Vardelo"), QStringLiteral("?"),
                         QMessageBox::Yes | QMessageBox::No);
    const QString yes = question.button(QMessageBox::Yes)->text();
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    const QString lookIn = files.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text();
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_EQ(yes, QStringLiteral("&Igen"));
    EXPECT_NE(lookIn, QStringLiteral("Look in:"));
}

} // namespace
} // namespace vardelo
