#pragma once

#include "FakeBrowser.h"
#include "FakeDialogs.h"

#include "app/Unit2.h"
#include "platform/HttpClient.h"
#include "platform/QtSettingsStore.h"
#include "platform/RecordFiles.h"
#include "platform/SkinEngine.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace vardelo {

// A window over a temporary record folder, a temporary settings file, a
// temporary $XDG_STATE_HOME and fake dialogs. Files and settings can be
// prepared before open().
class WindowFixture : public ::testing::Test {
  protected:
    QString recordFolder() const { return dir_.path() + QStringLiteral("/program"); }
    QString settingsFile() const { return dir_.path() + QStringLiteral("/Vardelo.conf"); }
    QString targetFolder() const { return dir_.path() + QStringLiteral("/Letoltesek"); }
    QString stateFolder() const { return dir_.path() + QStringLiteral("/state"); }
    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString recordPath(const char* name) const {
        return recordFolder() + QLatin1Char('/') + QLatin1String(name);
    }

    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QDir().mkpath(recordFolder());
        keptStateHome_ = qgetenv("XDG_STATE_HOME");
        qputenv("XDG_STATE_HOME", QFile::encodeName(stateFolder()));
    }
    void TearDown() override {
        if (keptStateHome_.isNull())
            qunsetenv("XDG_STATE_HOME");
        else
            qputenv("XDG_STATE_HOME", keptStateHome_);
    }

    // Writes values straight into the settings file before the window opens.
    void storeSetting(const QString& name, const QVariant& value) {
        QSettings raw(settingsFile(), QSettings::IniFormat);
        raw.setValue(name, value);
    }
    QVariant storedSetting(const QString& name) {
        QSettings raw(settingsFile(), QSettings::IniFormat);
        return raw.value(name);
    }

    // A stored queue of these links, as an earlier run would have left it.
    void storeQueue(const std::vector<std::string>& urls) {
        DownloadQueue queue;
        for (const auto& url : urls)
            queue.append(url);
        storeQueue(queue);
    }
    void storeQueue(const DownloadQueue& queue) {
        writeRecordFile(recordPath("Lista.Vdl"), encodeRecords(queue.grid(), queueRecordLayout()));
    }
    // A stored log of these entries, as an earlier run would have left it.
    void storeLog(const std::vector<LogEntry>& entries) {
        EventLog log;
        for (const auto& entry : entries)
            log.append(entry);
        writeRecordFile(recordPath("Naplo.Vdl"), encodeRecords(log.grid(), logRecordLayout()));
    }

    TForm1& open() {
        store_ = std::make_unique<QtSettingsStore>(settingsFile());
        form_.reset();
        browser_ = makeBrowser(); // a window takes its browser's view over
        skins_ = std::make_unique<SkinEngine>(recordFolder());
        form_ = std::make_unique<TForm1>(
            Services{*store_, dialogs, *browser_, http, *skins_, recordFolder(), targetFolder(),
                     profiles, profileProblems, startupLinks, startupPasswords,
                     dir_.path() + QStringLiteral("/Vardelo.passwords")});
        return *form_;
    }

    TForm1& form() { return *form_; }
    DownloadCycle& cycle() { return *form_->findChild<DownloadCycle*>(); }

    // A control of the open window by its designed object name; the test
    // fails at once when there is none of that name and type.
    template <typename Control> Control* control(const char* name) {
        auto* found = form_->findChild<Control*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << "no control named " << name;
        return found;
    }

    // Clicks the open window's button of this name as the user does; a
    // disabled button takes no click. A menu item of that name is chosen.
    void click(const char* name) {
        if (auto* button = form_->findChild<QAbstractButton*>(QString::fromLatin1(name)))
            QTest::mouseClick(button, Qt::LeftButton);
        else if (auto* action = control<QAction>(name))
            action->trigger();
    }
    // Types a link into the add box and presses "Hozzáadás".
    void addLink(const std::string& url) {
        control<QLineEdit>("Link_hozza")->setText(QString::fromStdString(url));
        click("Hozzaad");
    }

    // Gives the queue's head link up at its first try, as a run does when its
    // page does not load, and stops there; the retries setting stays.
    void giveUpHeadLink() {
        auto* retries = control<QSpinBox>("ujra");
        const int before = retries->value();
        retries->setValue(1);
        click("inditas");
        Q_EMIT browser_->documentComplete(false);
        if (control<QAbstractButton>("Stop")->isEnabled())
            click("Stop"); // the wait before the next link
        retries->setValue(before);
    }

    // The tooltips of the log's status cells: why a given-up link failed.
    // The queue row's "Állapot" cell; 1 is the first row.
    std::string queueState(int row) {
        const QAbstractItemModel* model = control<QTableView>("Linkek")->model();
        for (int column = 0; column < model->columnCount(); ++column)
            if (model->headerData(column, Qt::Horizontal).toString() == QStringLiteral("Állapot"))
                return model->index(row - 1, column).data().toString().toStdString();
        return "(no state column)";
    }

    std::vector<std::string> statusTips() {
        std::vector<std::string> tips;
        const QAbstractItemModel* model = control<QTableView>("naplosg")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            tips.push_back(
                model->index(row, LogStatus).data(Qt::ToolTipRole).toString().toStdString());
        return tips;
    }

    // The browser the window gets; the end-to-end tests give a real one.
    virtual std::unique_ptr<Browser> makeBrowser() { return std::make_unique<FakeBrowser>(); }
    FakeBrowser& fakeBrowser() { return dynamic_cast<FakeBrowser&>(*browser_); }
    Browser& browser() { return *browser_; }
    SkinEngine& skins() { return *skins_; }

    FakeDialogs dialogs;
    HttpClient http;
    // What start-up read of the host profile files, for open() to hand over.
    const HostProfiles* profiles = nullptr;
    QStringList profileProblems;
    std::vector<std::string> startupLinks;   // as if given on the command line
    std::vector<ListEntry> startupPasswords; // their list lines' passwords

  private:
    QTemporaryDir dir_;
    QByteArray keptStateHome_;
    std::unique_ptr<QtSettingsStore> store_;
    std::unique_ptr<Browser> browser_;
    std::unique_ptr<SkinEngine> skins_;
    std::unique_ptr<TForm1> form_;
};

} // namespace vardelo
