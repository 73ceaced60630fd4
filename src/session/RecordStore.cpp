#include "session/RecordStore.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QFile>

#include <cstdio>

namespace vardelo {

RecordStore::RecordStore(QString folder, TextGrid& queue, TextGrid& log)
    : folder_(std::move(folder)), files_{File{"Lista.Vdl", queueRecordLayout(), queue},
                                         File{"Naplo.Vdl", logRecordLayout(), log}} {
    for (File& file : files_)
        file.loadedRevision = file.savedRevision = file.grid.revision();
    timer_.setSingleShot(true);
    timer_.setInterval(3000);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { saveInBackground(); });
}

QString RecordStore::pathOf(const File& file) const {
    return folder_ + QLatin1Char('/') + QLatin1String(file.name);
}

void RecordStore::load() {
    removeInterruptedSaves(folder_);
    for (File& file : files_)
        load(file);
    timer_.stop(); // nothing has changed yet
}

void RecordStore::load(File& file) {
    file.loading = Loading::Failed;
    readRecordFile(pathOf(file), file.layout, file.grid);
    file.loading = Loading::Loaded;
    file.loadedRevision = file.savedRevision = file.grid.revision();
}

void RecordStore::scheduleSave() {
    if (!timer_.isActive())
        timer_.start();
}

void RecordStore::saveInBackground() {
    timer_.stop();
    struct Snapshot {
        QString path;
        const RecordLayout* layout;
        TextGrid grid;
    };
    std::vector<Snapshot> snapshots;
    for (File& file : files_) {
        // A list that did not load is only ever written by closing.
        if (file.loading != Loading::Loaded || file.grid.revision() == file.savedRevision)
            continue;
        snapshots.push_back({pathOf(file), &file.layout, file.grid});
        file.savedRevision = file.grid.revision();
    }
    if (snapshots.empty())
        return;
    saver_.submit([snapshots = std::move(snapshots)] {
        // The window's texts are not this thread's: a failure goes to standard
        // error and the diagnostics log, and the orderly close writes the file
        // again and shows its error.
        for (const Snapshot& snapshot : snapshots) {
            try {
                writeRecordFile(snapshot.path, encodeRecords(snapshot.grid, *snapshot.layout));
            } catch (const std::exception& error) {
                std::fprintf(stderr, "Vardelo: %s was not saved: %s\n",
                             QFile::encodeName(snapshot.path).constData(),
                             withFinalPeriod(error.what()).c_str());
                qCWarning(lcRecords).noquote()
                    << "background save of" << snapshot.path << "failed:" << error.what();
            }
        }
    });
}

void RecordStore::saveAtClosing() {
    timer_.stop();
    saver_.dropWaiting(); // closing writes the newer state itself
    saver_.waitIdle();
    for (File& file : files_)
        saveAtClosing(file);
}

void RecordStore::saveAtClosing(File& file) {
    if (file.loading == Loading::Loaded) {
        writeRecordFile(pathOf(file), encodeRecords(file.grid, file.layout));
        file.savedRevision = file.grid.revision();
        return;
    }
    if (!changedSinceLoading(file))
        return; // the stored file stays as it is
    TextGrid merged(file.grid.columnCount());
    readRecordFile(pathOf(file), file.layout, merged);
    appendRows(merged, file.grid);
    writeRecordFile(pathOf(file), encodeRecords(merged, file.layout));
    {
        // Cell by cell, so the grid's revision only ever grows.
        const TextGrid::Batch batch(file.grid);
        file.grid.setRowCount(merged.rowCount());
        for (int row = 1; row <= merged.lastRow(); ++row)
            for (int column = 0; column < merged.columnCount(); ++column)
                file.grid.setCell(row, column, merged.cell(row, column));
    }
    file.loading = Loading::Loaded;
    file.loadedRevision = file.savedRevision = file.grid.revision();
}

} // namespace vardelo
