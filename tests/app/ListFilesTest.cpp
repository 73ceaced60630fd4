#include "WindowFixture.h"

#include "platform/Translations.h"

#include <QCoreApplication>
#include <QFile>
#include <QPushButton>
#include <QTranslator>

#include <cerrno>

namespace vardelo {
namespace {

class ListFiles : public WindowFixture {
  protected:
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QByteArray readFile(const QString& name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(ListFiles, ImportAppendsNonBlankLinesInFileOrder) {
    writeFile(QStringLiteral("links.txt"), QByteArray("a\n\n   \r b \rc", 12));
    TForm1& form = open();
    addLink("first");
    dialogs.openAnswers.push_back(path(QStringLiteral("links.txt")));
    click("megnyit");
    ASSERT_EQ(form.queue().rowCount(), 5);
    EXPECT_EQ(form.queue().url(2), "a");
    EXPECT_EQ(form.queue().url(3), " b ");
    EXPECT_EQ(form.queue().url(4), "c");
    EXPECT_EQ(form.queue().attempts(4), "0");
    EXPECT_TRUE(form.listIdle());
}

TEST_F(ListFiles, CancelledImportAppendsNothingEvenAfterAnEarlierOne) {
    writeFile(QStringLiteral("links.txt"), "a\r\n");
    TForm1& form = open();
    dialogs.openAnswers.push_back(path(QStringLiteral("links.txt")));
    click("megnyit");
    dialogs.openAnswers.push_back(std::nullopt);
    click("megnyit");
    EXPECT_EQ(form.queue().rowCount(), 2);
}

TEST_F(ListFiles, MissingFileShowsTheOpenErrorAndChangesNothing) {
    TForm1& form = open();
    dialogs.openAnswers.push_back(path(QStringLiteral("nincs.txt")));
    form.show();
    control<QPushButton>("megnyit")->click();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_EQ(dialogs.errors.front(),
              QStringLiteral("Cannot open file \"%1\". No such file or directory.")
                  .arg(path(QStringLiteral("nincs.txt"))));
    EXPECT_TRUE(form.queue().isEmpty());
    EXPECT_TRUE(form.listIdle());
}

TEST_F(ListFiles, ExportWritesEveryUrlWithCrLfAndReimportsTheSame) {
    TForm1& form = open();
    dialogs.saveAnswers.push_back(path(QStringLiteral("empty.txt")));
    click("button3");
    EXPECT_EQ(readFile(QStringLiteral("empty.txt")), QByteArray("\r\n"));

    addLink("http://a/á");
    addLink("http://b");
    dialogs.saveAnswers.push_back(path(QStringLiteral("out.txt")));
    click("button3");
    EXPECT_EQ(readFile(QStringLiteral("out.txt")), QByteArray("http://a/\xE1\r\nhttp://b\r\n"));

    dialogs.openAnswers.push_back(path(QStringLiteral("out.txt")));
    click("megnyit");
    EXPECT_EQ(form.queue().url(3), "http://a/á");
    EXPECT_EQ(form.queue().rowCount(), 5);
}

// Both commands give the system's message for the error, in the program's
// language (Hungarian with Qt's translations), never a text of their own.
TEST_F(ListFiles, ExportOverAReadOnlyFileShowsTheCreateErrorInTheImportsLanguage) {
    QTranslator* translator = installQtTranslations();
    ASSERT_NE(translator, nullptr) << "qtbase_hu.qm is not installed";
    writeFile(QStringLiteral("ro.txt"), "keep");
    QFile::setPermissions(path(QStringLiteral("ro.txt")), QFileDevice::ReadOwner);
    open();
    dialogs.saveAnswers.push_back(path(QStringLiteral("ro.txt")));
    control<QPushButton>("button3")->click();
    dialogs.openAnswers.push_back(path(QStringLiteral("nincs.txt")));
    control<QPushButton>("megnyit")->click();
    const QString denied = qt_error_string(EACCES);
    const QString missing = qt_error_string(ENOENT);
    QCoreApplication::removeTranslator(translator);
    delete translator;
    EXPECT_NE(denied, QStringLiteral("Permission denied")); // the translation is in use
    EXPECT_EQ(dialogs.errors, (QStringList{QStringLiteral("Cannot create file \"%1\". %2.")
                                               .arg(path(QStringLiteral("ro.txt")), denied),
                                           QStringLiteral("Cannot open file \"%1\". %2.")
                                               .arg(path(QStringLiteral("nincs.txt")), missing)}));
    EXPECT_EQ(readFile(QStringLiteral("ro.txt")), QByteArray("keep"));
}

} // namespace
} // namespace vardelo
