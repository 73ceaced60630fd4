// The program's window as the window benchmarks run it: its queue stored
// as a previous run left it, the real browser engine and HTTP client, and
// boxes printed instead of shown.
#pragma once

#include "app/Unit2.h"
#include "core/DownloadQueue.h"
#include "core/RecordFile.h"
#include "platform/Dialogs.h"
#include "platform/HttpClient.h"
#include "platform/LazyBrowser.h"
#include "platform/QtSettingsStore.h"
#include "platform/RecordFiles.h"
#include "platform/SkinEngine.h"
#include "platform/WebEngineBrowser.h"

#include <QCoreApplication>
#include <QDir>

#include <time.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace vardelo {

// The window needs no conversation here; what it would say is printed.
class PrintedDialogs final : public Dialogs {
  public:
    void showError(const QString& message) override {
        std::fprintf(stderr, "error box: %s\n", qPrintable(message));
    }
    void showInformation(const QString& message) override {
        std::fprintf(stderr, "information box: %s\n", qPrintable(message));
    }
    bool askYesNo(const QString&) override { return true; }
    std::optional<QString> askPassword(const QString&) override { return std::nullopt; }
    void closePasswordQuestion(const QString&) override {}
    std::optional<QString> askText(const QString&, const QString&) override { return std::nullopt; }
    std::optional<QString> openFileName() override { return std::nullopt; }
    std::optional<QString> saveFileName() override { return std::nullopt; }
    std::optional<QString> chooseFolder(const QString&) override { return std::nullopt; }
};

inline Browser* makeEngine(QObject* parent, QString*) {
    return new WebEngineBrowser(parent);
}

// How long this thread has run, not counting its waits for a core.
inline qint64 threadCpuNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The window over `folder` (its settings, records and downloads there)
// with `links` queued, shown.
struct BenchWindow {
    BenchWindow(const QString& folder, const std::vector<std::string>& links,
                const HostProfiles* profiles)
        : records(storedQueue(folder, links)), settings(folder + QStringLiteral("/Vardelo.conf")),
          browser(makeEngine), skins(records),
          form(std::make_unique<TForm1>(Services{settings,
                                                 dialogs,
                                                 browser,
                                                 http,
                                                 skins,
                                                 records,
                                                 folder + QStringLiteral("/Letoltesek"),
                                                 profiles,
                                                 {},
                                                 {}})) {
        form->show();
        QCoreApplication::processEvents();
    }

    // The records' folder, with Lista.Vdl of these links in it.
    static QString storedQueue(const QString& folder, const std::vector<std::string>& links) {
        const QString records = folder + QStringLiteral("/program");
        QDir().mkpath(records);
        DownloadQueue queue;
        for (const std::string& link : links)
            queue.append(link);
        writeRecordFile(records + QStringLiteral("/Lista.Vdl"),
                        encodeRecords(queue.grid(), queueRecordLayout()));
        return records;
    }

    QString records;
    QtSettingsStore settings;
    PrintedDialogs dialogs;
    LazyBrowser browser;
    HttpClient http;
    SkinEngine skins;
    std::unique_ptr<TForm1> form;
};

} // namespace vardelo
