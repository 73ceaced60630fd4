// The keyboard's road through the window, its letters and keys, what a
// screen reader finds, and the queue row the commands act on.
#include "WaitFor.h"
#include "WindowFixture.h"

#include "app/QueueGridView.h"
#include "platform/HostProfileFiles.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolTip>

#include <algorithm>

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

    // The controls below this one that a screen reader stops at (they take
    // the focus) or that show a state, and have no name to speak. The cells
    // of a grid or a list are the grid's business.
    static void collectUnnamed(QAccessibleInterface* node, QStringList& unnamed) {
        const QAccessible::Role role = node->role();
        const bool informative = role == QAccessible::ProgressBar || role == QAccessible::Table;
        if ((node->state().focusable || informative) && node->text(QAccessible::Name).isEmpty())
            unnamed << node->object()->objectName() + QLatin1Char(':') +
                           QString::number(int(role), 16);
        if (role == QAccessible::Table || role == QAccessible::List)
            return;
        for (int i = 0; i < node->childCount(); ++i)
            collectUnnamed(node->child(i), unnamed);
    }

    // The Alt letters that work on the page shown: the page control's tabs,
    // and the buttons and captions on the screen.
    QMap<QString, QStringList> lettersInReach() {
        QMap<QString, QStringList> owners;
        auto add = [&](const QString& text, const QString& owner) {
            const QKeySequence letter = QKeySequence::mnemonic(text);
            if (!letter.isEmpty())
                owners[letter.toString()] << owner;
        };
        auto* pages = control<QTabWidget>("Lapok");
        for (int i = 0; i < pages->count(); ++i)
            add(pages->tabText(i), pages->tabText(i));
        for (QAbstractButton* button : form().findChildren<QAbstractButton*>())
            if (button->isVisible())
                add(button->text(), button->objectName());
        for (QLabel* label : form().findChildren<QLabel*>())
            if (label->isVisible() && label->buddy())
                add(label->text(), label->objectName());
        return owners;
    }
};

TEST_F(Keyboard, TabFollowsTheDesignedOrderWithThePageWhereThePageControlStands) {
    openShown();
    addLinks(2); // a grid with cells to wander through
    control<QPushButton>("Stop")->setEnabled(true);
    control<QCheckBox>("letoltes_utan_stop")->setEnabled(true);
    const QStringList around{QStringLiteral("megnyit"),    QStringLiteral("button3"),
                             QStringLiteral("checkLinks"), QStringLiteral("sor_torles"),
                             QStringLiteral("Hozzaad"),    QStringLiteral("Link_hozza"),
                             QStringLiteral("elore"),      QStringLiteral("hatra"),
                             QStringLiteral("stat_null1"), QStringLiteral("letoltes_utan_stop"),
                             QStringLiteral("Stop"),       QStringLiteral("inditas"),
                             QStringLiteral("Lapok")};

    EXPECT_EQ(tabRoad(14),
              QStringList{QStringLiteral("Lapok")} << QStringLiteral("Linkek") << around);

    control<QTabWidget>("Lapok")->setCurrentIndex(1);
    EXPECT_EQ(tabRoad(14), QStringList{QStringLiteral("Lapok")} << QStringLiteral("lap") << around);

    control<QTabWidget>("Lapok")->setCurrentIndex(2);
    // Tab steps through a time's hour and minute, as Qt's time boxes do.
    EXPECT_EQ(tabRoad(34), QStringList{QStringLiteral("Lapok")}
                               << QStringLiteral("ujra") << QStringLiteral("Mentes_helye")
                               << QStringLiteral("Button4") << QStringLiteral("auto_le")
                               << QStringLiteral("vagolap") << QStringLiteral("kinezet")
                               << QStringLiteral("skin_hasznalata") << QStringLiteral("elhalt")
                               << QStringLiteral("Egyszerre") << QStringLiteral("csomag_mappa")
                               << QStringLiteral("reszek_torlese")
                               << QStringLiteral("futtatas_csomag_utan")
                               << QStringLiteral("jelszavak") << QStringLiteral("Sebesseg_korlat")
                               << QStringLiteral("Idoablak") << QStringLiteral("Idoablak_kezdete")
                               << QStringLiteral("Idoablak_kezdete")
                               << QStringLiteral("Idoablak_vege") << QStringLiteral("Idoablak_vege")
                               << QStringLiteral("Captcha_ido") << QStringLiteral("Captcha_eseten")
                               << around);
}

TEST_F(Keyboard, EveryPageHasItsOwnLettersAndTheMainCommandsHaveOne) {
    openShown();
    const char* commands[] = {
        "inditas", "Stop",    "letoltes_utan_stop", "Hozzaad", "sor_torles", "elore", "hatra",
        "megnyit", "button3", "checkLinks"};
    for (const char* name : commands)
        EXPECT_FALSE(QKeySequence::mnemonic(control<QAbstractButton>(name)->text()).isEmpty())
            << name;
    // Settings reached through their captions' letters.
    const auto labels = form().findChildren<QLabel*>();
    for (const char* name :
         {"Egyszerre", "Captcha_ido", "Captcha_eseten", "futtatas_csomag_utan", "jelszavak"})
        EXPECT_TRUE(std::any_of(labels.begin(), labels.end(), [name](QLabel* label) {
            return label->buddy() && label->buddy()->objectName() == QLatin1String(name) &&
                   !QKeySequence::mnemonic(label->text()).isEmpty();
        })) << name;
    auto* pages = control<QTabWidget>("Lapok");
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        const QMap<QString, QStringList> owners = lettersInReach();
        EXPECT_GE(owners.size(), 16) << "page " << page;
        for (auto it = owners.begin(); it != owners.end(); ++it)
            EXPECT_EQ(it.value().size(), 1) << it.key().toStdString() << " on page " << page << ": "
                                            << it.value().join(u' ').toStdString();
    }
}

TEST_F(Keyboard, LettersAndKeysReachTheCommands) {
    TForm1& form = openShown();
    control<QLineEdit>("Link_hozza")->setText(QStringLiteral("http://a/1"));
    QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier); // "Hozzáadás", pressed as by the mouse
    EXPECT_TRUE(waitFor([&] { return form.queue().url(1) == "http://a/1"; }, 2000));
    QTest::keyClick(&form, Qt::Key_N, Qt::AltModifier); // the "Naplózás" page
    EXPECT_EQ(control<QTabWidget>("Lapok")->currentIndex(), 3);
    QTest::keyClick(&form, Qt::Key_K, Qt::AltModifier); // the add box's caption
    EXPECT_EQ(focusedControl(), QStringLiteral("Link_hozza"));
    QTest::keyClick(&form, Qt::Key_B, Qt::AltModifier); // the settings page: the limits' letters
    QTest::keyClick(&form, Qt::Key_0, Qt::AltModifier);
    EXPECT_EQ(focusedControl(), QStringLiteral("Sebesseg_korlat"));
    QTest::keyClick(&form, Qt::Key_Aacute, Qt::AltModifier); // a Hungarian key's letter
    EXPECT_EQ(focusedControl(), QStringLiteral("futtatas_csomag_utan"));
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(focusedControl(), QStringLiteral("Idoablak"));
    auto* hours = control<QCheckBox>("Idoablak");
    EXPECT_TRUE(waitFor([hours] { return hours->isChecked(); }, 2000)); // as a click shows
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier); // and off again: Start may go at once
    EXPECT_TRUE(waitFor([hours] { return !hours->isChecked(); }, 2000));

    QTest::keyClick(&form, Qt::Key_Escape); // nothing runs: nothing to stop
    EXPECT_TRUE(fakeBrowser().navigated.isEmpty());
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(fakeBrowser().navigated, QStringList{QStringLiteral("http://a/1")});
    QTest::keyClick(&form, Qt::Key_F5); // running: Start is not possible
    EXPECT_EQ(fakeBrowser().navigated.size(), 1);
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_TRUE(control<QPushButton>("inditas")->isEnabled());
    EXPECT_FALSE(control<QPushButton>("Stop")->isEnabled());
}

TEST_F(Keyboard, PasteInTheQueueTakesTheLinksACopyWouldGiveWithTheWatcherOff) {
    QString reason;
    HostProfiles known;
    known.add(parseHostProfile(R"({"name": "X", "links": ["//x\\.example/"], "after_wait": "#b"})",
                               &reason));
    profiles = &known;
    openShown();
    ASSERT_FALSE(control<QCheckBox>("vagolap")->isChecked());
    addLinks(1);
    QGuiApplication::clipboard()->setText(
        QStringLiteral("nézd:\r\n http://rapidshare.com/files/1/a.zip.html\r\n"
                       "http://rapidshare.com/files/2/b.zip\r\nhttp://x.example/d/c.html"));
    auto* grid = control<QueueGridView>("Linkek");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(form().queue().grid().rowCount(), 5);
    EXPECT_EQ(form().queue().url(2), "http://rapidshare.com/files/1/a.zip");
    EXPECT_EQ(form().queue().url(3), "http://rapidshare.com/files/2/b.zip");
    EXPECT_EQ(form().queue().url(4), "http://x.example/d/c.html"); // a profile's link, whole
}

TEST_F(Keyboard, EveryControlAScreenReaderReachesHasAName) {
    TForm1& form = openShown();
    QStringList unnamed;
    collectUnnamed(QAccessible::queryAccessibleInterface(&form), unnamed);
    EXPECT_EQ(unnamed, QStringList{});
    // A caption names the control it stands for, and the statistics' values
    // say what they count.
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(control<QWidget>("ujra"))->text(QAccessible::Name),
        QStringLiteral("Hibás linkek ujraprobálkozásának száma:"));
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(control<QLabel>("jkdb"))
                     ->text(QAccessible::Description)
                     .isEmpty());
}

// A cell too narrow for its text shows the whole text when the pointer rests
// on it; one that shows all of it has no tooltip.
TEST_F(Keyboard, CutCellsShowTheirWholeTextAsATooltip) {
    openShown();
    const QString longUrl = QStringLiteral("http://rapidshare.com/files/") + QString(120, u'x');
    control<QLineEdit>("Link_hozza")->setText(longUrl);
    control<QPushButton>("Hozzaad")->click();
    auto* grid = control<QueueGridView>("Linkek");
    auto hover = [&](int column) {
        const QRect cell = grid->visualRect(grid->model()->index(0, column));
        QHelpEvent help(QEvent::ToolTip, cell.center(),
                        grid->viewport()->mapToGlobal(cell.center()));
        QApplication::sendEvent(grid->viewport(), &help);
    };
    hover(0);
    EXPECT_FALSE(QToolTip::isVisible());
    hover(1);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), longUrl);
    hover(2);
    EXPECT_TRUE(waitFor([] { return !QToolTip::isVisible(); }, 2000));
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
    EXPECT_EQ(form().queue().url(1), "http://a/2");
    control<QueueGridView>("Linkek")->selectDataRow(4);
    control<QPushButton>("sor_torles")->click(); // the last row goes: the one above is selected
    EXPECT_EQ(selectedRow(), 3);
    control<QueueGridView>("Linkek")->selectDataRow(2);
    control<QPushButton>("sor_torles")->click(); // the next link takes the row
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ(form().queue().url(2), "http://a/3");
    control<QPushButton>("sor_torles")->click();
    control<QPushButton>("sor_torles")->click();
    EXPECT_EQ(selectedRow(), 0);

    // During a cycle the head stays: the moved link lands on row 2, and so
    // does the selection, so the next command acts on it.
    addLinks(3);
    click("inditas");
    control<QueueGridView>("Linkek")->selectDataRow(3);
    control<QPushButton>("elore")->click();
    EXPECT_EQ(form().queue().url(2), "http://a/3");
    EXPECT_EQ(selectedRow(), 2);
}

} // namespace
} // namespace vardelo
