// The keyboard's road through the window, and the queue row the commands
// act on.
#include "WindowFixture.h"

#include "app/QueueGridView.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace vardelo {
namespace {

class Keyboard : public WindowFixture {
  protected:
    TForm1& openShown() {
        TForm1& form = open();
        form.show();
        QApplication::setActiveWindow(&form);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        return form;
    }

    void addLinks(int count) {
        for (int i = 1; i <= count; ++i) {
            control<QLineEdit>("Link_hozza")->setText(QStringLiteral("http://a/%1").arg(i));
            control<QPushButton>("Hozzaad")->click();
        }
    }

    // The designed control that has the focus (a tab bar, a spin box's
    // editor answer for the control they belong to).
    static QString focusedControl() {
        QWidget* widget = QApplication::focusWidget();
        while (widget && (widget->objectName().isEmpty() ||
                          widget->objectName().startsWith(QStringLiteral("qt_"))))
            widget = widget->parentWidget();
        return widget ? widget->objectName() : QString();
    }

    QStringList tabRoad(int steps) {
        control<QTabWidget>("Lapok")->setFocus(Qt::TabFocusReason);
        QStringList road{focusedControl()};
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            road << focusedControl();
        }
        return road;
    }

    int selectedRow() { return control<QueueGridView>("Linkek")->selectedRow(); }
};

TEST_F(Keyboard, TabFollowsTheDesignedOrderWithThePageWhereThePageControlStands) {
    openShown();
    addLinks(2); // a grid with cells to wander through
    control<QPushButton>("Stop")->setEnabled(true);
    control<QCheckBox>("letoltes_utan_stop")->setEnabled(true);
    const QStringList around{QStringLiteral("megnyit"),
                             QStringLiteral("button3"),
                             QStringLiteral("sor_torles"),
                             QStringLiteral("Hozzaad"),
                             QStringLiteral("Link_hozza"),
                             QStringLiteral("elore"),
                             QStringLiteral("hatra"),
                             QStringLiteral("stat_null1"),
                             QStringLiteral("letoltes_utan_stop"),
                             QStringLiteral("Stop"),
                             QStringLiteral("inditas"),
                             QStringLiteral("Lapok")};

    EXPECT_EQ(tabRoad(13),
              QStringList{QStringLiteral("Lapok")} << QStringLiteral("Linkek") << around);

    control<QTabWidget>("Lapok")->setCurrentIndex(1);
    EXPECT_EQ(tabRoad(13), QStringList{QStringLiteral("Lapok")} << QStringLiteral("lap") << around);

    control<QTabWidget>("Lapok")->setCurrentIndex(2);
    // Tab steps through a time's hour and minute, as Qt's time boxes do.
    EXPECT_EQ(tabRoad(26),
              QStringList{QStringLiteral("Lapok")}
                  << QStringLiteral("ujra") << QStringLiteral("Mentes_helye")
                  << QStringLiteral("Button4") << QStringLiteral("auto_le")
                  << QStringLiteral("vagolap") << QStringLiteral("kinezet")
                  << QStringLiteral("skin_hasznalata") << QStringLiteral("elhalt")
                  << QStringLiteral("Sebesseg_korlat") << QStringLiteral("Idoablak")
                  << QStringLiteral("Idoablak_kezdete") << QStringLiteral("Idoablak_kezdete")
                  << QStringLiteral("Idoablak_vege") << QStringLiteral("Idoablak_vege") << around);
}

TEST_F(Keyboard, ArrowKeysMoveBetweenTheQueueRows) {
    openShown();
    addLinks(3);
    auto* grid = control<QueueGridView>("Linkek");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(selectedRow(), 3);
    QTest::keyClick(grid, Qt::Key_Up);
    EXPECT_EQ(selectedRow(), 2);
}

TEST_F(Keyboard, TheHeadRowIsSelectedAtStartAndTheSelectionFollowsTheCommands) {
    TForm1& first = open();
    EXPECT_EQ(selectedRow(), 0); // an empty queue: no row to act on
    addLinks(4);
    EXPECT_TRUE(first.close());

    openShown();
    EXPECT_EQ(selectedRow(), 1);
    control<QueueGridView>("Linkek")->selectDataRow(2);
    control<QPushButton>("hatra")->click(); // http://a/2 goes to the end, and the selection with it
    EXPECT_EQ(selectedRow(), 4);
    control<QPushButton>("elore")->click();
    EXPECT_EQ(selectedRow(), 1);
    EXPECT_EQ(form().queue.url(1), "http://a/2");
    control<QueueGridView>("Linkek")->selectDataRow(4);
    control<QPushButton>("sor_torles")->click(); // the last row goes: the one above is selected
    EXPECT_EQ(selectedRow(), 3);
    control<QueueGridView>("Linkek")->selectDataRow(2);
    control<QPushButton>("sor_torles")->click(); // the next link takes the row
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(form().queue.url(2), "http://a/3");
    control<QPushButton>("sor_torles")->click();
    control<QPushButton>("sor_torles")->click();
    EXPECT_EQ(selectedRow(), 0);
}

} // namespace
} // namespace vardelo
