// The skin engine's listing and loading rules, and the window's side of them.
#include "WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QTest>

namespace vardelo {
namespace {

class Skins : public WindowFixture {
  protected:
    QString skinFolder() const { return recordFolder() + QStringLiteral("/Skins"); }

    // A skin folder whose sheet colours the window with `colour`.
    void makeSkin(const QString& name, const QString& colour = QStringLiteral("#123456")) {
        QDir().mkpath(skinFolder() + QLatin1Char('/') + name);
        writeFile(name + QStringLiteral("/Options.dat"),
                  QStringLiteral("[skinSection=\"FORM\"] { background-color: %1; }")
                      .arg(colour)
                      .toUtf8());
    }
    void writeFile(const QString& relative, const QByteArray& bytes) {
        QFile file(skinFolder() + QLatin1Char('/') + relative);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    // The skin draws the window's client area; dialogs stay outside it.
    QString skinnedSheet() { return control<QWidget>("clientArea")->styleSheet(); }
    static QString internalSheet() {
        QFile file(QStringLiteral(":/skins/MacOS2/Options.dat"));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }
};

TEST_F(Skins, ListingSortsWithoutCaseAndKeepsDuplicates) {
    makeSkin(QStringLiteral("zune"));
    makeSkin(QStringLiteral("aqua"));
    makeSkin(QStringLiteral("MacOS2"));
    makeSkin(QStringLiteral(".hidden"));
    QDir().mkpath(skinFolder() + QStringLiteral("/NoOptions"));
    writeFile(QStringLiteral("plain.txt"), "not a skin");
    SkinEngine engine(recordFolder());
    EXPECT_EQ(engine.listSkinNames(),
              (QStringList{QStringLiteral("aqua"), QStringLiteral("MacOS2"),
                           QStringLiteral("MacOS2"), QStringLiteral("zune")}));
}

TEST_F(Skins, MissingDirectoryListsTheCompiledInSkinOnly) {
    SkinEngine engine(recordFolder(), QStringLiteral("./Nincs"));
    EXPECT_EQ(engine.listSkinNames(), QStringList{QStringLiteral("MacOS2")});
}

TEST_F(Skins, FolderSkinWinsAndUnknownNamesDrawMacOS2) {
    makeSkin(QStringLiteral("MacOS2"), QStringLiteral("#abcdef"));
    QWidget window;
    SkinEngine engine(recordFolder());
    engine.setTarget(&window);
    engine.setSkinName(QStringLiteral("MacOS2"));
    engine.setActive(true);
    EXPECT_TRUE(window.styleSheet().contains(QStringLiteral("#abcdef")));
    engine.setSkinName(QStringLiteral("nincs ilyen")); // the compiled-in skin stands in
    EXPECT_EQ(engine.skinName(), QStringLiteral("MacOS2"));
    EXPECT_EQ(window.styleSheet(), internalSheet());
    engine.setActive(false);
    EXPECT_TRUE(window.styleSheet().isEmpty());
}

TEST_F(Skins, UnreadableOrHugeSheetsFallBackToTheCompiledInSkin) {
    QDir().mkpath(skinFolder() + QStringLiteral("/Huge"));
    writeFile(QStringLiteral("Huge/Options.dat"), QByteArray(3 << 20, '{'));
    QWidget window;
    SkinEngine engine(recordFolder());
    engine.setTarget(&window);
    engine.setActive(true);
    engine.setSkinName(QStringLiteral("Huge"));
    EXPECT_EQ(window.styleSheet(), internalSheet());
}

TEST_F(Skins, SheetImagesResolveInTheSkinsFolder) {
    QDir().mkpath(skinFolder() + QStringLiteral("/Pics"));
    writeFile(QStringLiteral("Pics/Options.dat"),
              "QCheckBox::indicator { image: url(img/x.png); }");
    QWidget window;
    SkinEngine engine(recordFolder());
    engine.setTarget(&window);
    engine.setSkinName(QStringLiteral("Pics"));
    engine.setActive(true);
    EXPECT_TRUE(window.styleSheet().contains(skinFolder() + QStringLiteral("/Pics/img/x.png")));
}

TEST_F(Skins, FirstRunTurnsSkinsOnAndDrawsTheThirdName) {
    makeSkin(QStringLiteral("Office2007"));
    makeSkin(QStringLiteral("WMP11"), QStringLiteral("#0a0b0c"));
    makeSkin(QStringLiteral("Zune"));
    open();
    EXPECT_TRUE(control<QCheckBox>("skin_hasznalata")->isChecked());
    EXPECT_TRUE(control<QAction>("PM_Skin")->isChecked());
    EXPECT_TRUE(control<QComboBox>("kinezet")->isEnabled());
    EXPECT_EQ(control<QComboBox>("kinezet")->currentIndex(), 2);
    EXPECT_EQ(control<QComboBox>("kinezet")->currentText(), QStringLiteral("WMP11"));
    EXPECT_TRUE(skinnedSheet().contains(QStringLiteral("#0a0b0c")));
    EXPECT_EQ(storedSetting(QStringLiteral("skin")).toString(), QStringLiteral("2"));
    EXPECT_EQ(storedSetting(QStringLiteral("Skin_engedelyezve")).toString(), QStringLiteral("1"));
}

TEST_F(Skins, FirstRunWithOnlyTheCompiledInSkinSelectsNothing) {
    open();
    EXPECT_EQ(control<QComboBox>("kinezet")->currentIndex(), -1);
    EXPECT_EQ(control<QComboBox>("kinezet")->currentText(), QString());
    EXPECT_EQ(skinnedSheet(), internalSheet());
}

TEST_F(Skins, StoredOffKeepsTheSystemLookUntilTheTrayTurnsThemOn) {
    makeSkin(QStringLiteral("Zune"), QStringLiteral("#fedcba"));
    storeSetting(QStringLiteral("Skin_engedelyezve"), QStringLiteral("0"));
    storeSetting(QStringLiteral("skin"), QStringLiteral("1"));
    open();
    EXPECT_TRUE(skinnedSheet().isEmpty());
    EXPECT_FALSE(control<QComboBox>("kinezet")->isEnabled());
    EXPECT_FALSE(control<QAction>("PM_Skin")->isChecked());
    control<QAction>("PM_Skin")->trigger();
    EXPECT_TRUE(control<QCheckBox>("skin_hasznalata")->isChecked());
    EXPECT_TRUE(control<QComboBox>("kinezet")->isEnabled());
    EXPECT_TRUE(skinnedSheet().contains(QStringLiteral("#fedcba")));
    control<QCheckBox>("skin_hasznalata")->click();
    EXPECT_TRUE(skinnedSheet().isEmpty());
    EXPECT_FALSE(control<QAction>("PM_Skin")->isChecked());
}

TEST_F(Skins, ChoosingANameRedrawsAndTheIndexIsStored) {
    makeSkin(QStringLiteral("Aqua"), QStringLiteral("#111111"));
    makeSkin(QStringLiteral("Zune"), QStringLiteral("#222222"));
    storeSetting(QStringLiteral("skin"), QStringLiteral("0"));
    TForm1& form = open();
    EXPECT_TRUE(skinnedSheet().contains(QStringLiteral("#111111")));
    control<QComboBox>("kinezet")->setCurrentIndex(2);
    EXPECT_TRUE(skinnedSheet().contains(QStringLiteral("#222222")));
    EXPECT_TRUE(form.close());
    EXPECT_EQ(storedSetting(QStringLiteral("skin")).toString(), QStringLiteral("2"));
}

// What is drawn, not only the sheet: a stored skin other than the design's
// WMP11 is the one on the screen after start-up.
TEST_F(Skins, TheStoredSkinIsTheOneDrawnAtStartUp) {
    makeSkin(QStringLiteral("Aqua"), QStringLiteral("#10a040"));
    makeSkin(QStringLiteral("WMP11"), QStringLiteral("#0a0b0c"));
    for (const auto& [index, colour] :
         {std::pair{0, QColor(0x10, 0xa0, 0x40)}, std::pair{2, QColor(0x0a, 0x0b, 0x0c)}}) {
        storeSetting(QStringLiteral("skin"), QString::number(index));
        TForm1& form = open();
        form.show();
        QWidget* area = control<QWidget>("clientArea");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        // The client area's own background, at its bottom right corner.
        const QColor drawn =
            area->grab().toImage().pixelColor(area->width() - 2, area->height() - 2);
        EXPECT_EQ(drawn.name(), colour.name()) << "stored index " << index;
        EXPECT_TRUE(form.close());
    }
}

TEST_F(Skins, StoredIndexOutsideTheListShowsNoSelectionAndStoresMinusOne) {
    storeSetting(QStringLiteral("skin"), QStringLiteral("7"));
    TForm1& form = open();
    EXPECT_TRUE(dialogs.errors.isEmpty());
    EXPECT_EQ(control<QComboBox>("kinezet")->currentIndex(), -1);
    EXPECT_EQ(control<QComboBox>("kinezet")->currentText(), QString());
    EXPECT_EQ(skinnedSheet(), internalSheet());
    EXPECT_TRUE(form.close());
    EXPECT_EQ(storedSetting(QStringLiteral("skin")).toString(), QStringLiteral("-1"));
}

} // namespace
} // namespace vardelo
