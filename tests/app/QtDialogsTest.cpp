#include "FakeDialogs.h"

#include "platform/QtDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace vardelo {
namespace {

// Typing the name of a file that does not exist into the import's open
// dialog must give that name back, so that opening it can say why it fails.
TEST(QtDialogsOpen, TakesTheTypedNameOfAFileThatDoesNotExist) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("nincs.txt"));
    QtDialogs dialogs;
    QTimer typist;
    QObject::connect(&typist, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        typist.stop();
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(missing);
        static_cast<QDialog*>(dialog)->accept(); // as the dialog's Open button does
    });
    // A refusal ("file not found" box, dialog left open) fails the test
    // instead of hanging it: whatever stays open is closed.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    typist.start(20);
    closer.start(2000);
    EXPECT_EQ(dialogs.openFileName(), std::optional<QString>(missing));
}

// A password question gives back what was typed; closed by its prompt (the
// program no longer waits for it), it answers as cancelled, and an open
// question with another prompt stays.
TEST(QtDialogsPassword, GivesWhatWasTypedAndClosesOnlyTheQuestionOfItsPrompt) {
    QtDialogs dialogs;
    std::optional<QString> typed;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(0, [&] {
            dialogs.closePasswordQuestion(QStringLiteral("first"));
            auto* second = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(second, nullptr);
            second->setTextValue(QStringLiteral("titok"));
            second->accept(); // as its OK button does
        });
        typed = dialogs.askPassword(QStringLiteral("second"));
    });
    bool leftOpen = false;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            leftOpen = true;
            modal->close();
        }
    });
    closer.start(5000);
    EXPECT_EQ(dialogs.askPassword(QStringLiteral("first")), std::nullopt);
    EXPECT_EQ(typed, std::optional<QString>(QStringLiteral("titok")));
    EXPECT_FALSE(leftOpen);
}

} // namespace
} // namespace vardelo
