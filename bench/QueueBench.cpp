// Import, store and load a queue of 100,000 links, and show it in the grid;
// and what a background save of that queue costs the window's thread.
// Prints the time of each step; a program, not a test.
#include "app/GridModel.h"
#include "core/DownloadQueue.h"
#include "core/EventLog.h"
#include "core/ListText.h"
#include "platform/RecordFiles.h"
#include "session/RecordStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace vardelo;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    constexpr int kLinks = 100'000;

    std::string listFile;
    for (int i = 0; i < kLinks; ++i)
        listFile += "http://rapidshare.com/files/" + std::to_string(100000000 + i) +
                    "/archive-part" + std::to_string(i) + ".rar\r\n";

    QElapsedTimer clock;
    DownloadQueue queue;
    QTableView view;
    const GridFeed feed(queue.grid());
    GridModel model(feed, {QStringLiteral("Sorszám"), QStringLiteral("URL"),
                                   QStringLiteral("Próbálkozások")});
    view.setModel(&model);
    view.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view.resize(585, 409);
    view.show();

    clock.start();
    {
        const TextGrid::Batch batch(queue.grid()); // as the window imports
        for (const std::string& line : linesToImport(splitListLines(listFile)))
            queue.append(line);
    }
    QApplication::processEvents();
    const qint64 importMs = clock.restart();

    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Lista.Vdl");
    writeRecordFile(path, encodeRecords(queue.grid(), queueRecordLayout()));
    const qint64 storeMs = clock.restart();

    DownloadQueue loaded;
    readRecordFile(path, queueRecordLayout(), loaded.grid());
    const qint64 loadMs = clock.restart();

    queue.deleteRow(1, {});
    QApplication::processEvents();
    const qint64 deleteMs = clock.restart();

    // The window's part of a background save is the copy handed to the
    // worker; best of five saves, each after a change.
    DownloadQueue saved;
    EventLog log;
    RecordStore store(dir.path(), saved.grid(), log.grid());
    store.load(); // the queue stored above
    QElapsedTimer saveClock;
    double handOverMs = 1e9;
    qint64 saveMs = 0;
    for (int round = 0; round < 5; ++round) {
        saved.setAttempts(1, std::to_string(round));
        saveClock.start();
        store.saveInBackground();
        handOverMs = std::min(handOverMs, static_cast<double>(saveClock.nsecsElapsed()) / 1e6);
        store.waitForBackgroundSave();
        saveMs = saveClock.elapsed();
    }

    std::printf("queue of %d links (%lld bytes stored)\n", kLinks,
                static_cast<long long>(QFileInfo(path).size()));
    std::printf("  import from a list file, shown in the grid: %lld ms\n", importMs);
    std::printf("  store as Lista.Vdl:                         %lld ms\n", storeMs);
    std::printf("  load Lista.Vdl:                             %lld ms\n", loadMs);
    std::printf("  delete the head row, grid updated:          %lld ms\n", deleteMs);
    std::printf("  background save, window's thread busy:      %.2f ms (save %lld ms)\n",
                handOverMs, saveMs);
    return loaded.rowCount() == kLinks + 1 ? 0 : 1;
}
