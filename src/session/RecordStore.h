#pragma once

#include "core/RecordFile.h"
#include "session/BackgroundSave.h"

#include <QString>
#include <QTimer>

#include <array>
#include <functional>

namespace vardelo {

// The stored queue and log: loaded at start-up, written at closing, and
// saved on a worker thread a few seconds after a change, so a killed program
// loses at most those seconds.
//
// A file that did not load (it failed, or start-up stopped before it) is
// never written over with this run's rows alone: it is left as it is unless
// the user changed that list, and then closing reads it again and writes the
// stored rows followed by this run's, or fails with the file's error.
class RecordStore {
  public:
    RecordStore(QString folder, TextGrid& queue, TextGrid& log);

    // Start-up: removes what interrupted saves left, then reads the queue and
    // the log, in that order; the first failure throws and ends the loading.
    void load();

    // A list changed: a background save follows after the delay.
    void scheduleSave();

    // Hands copies of the changed lists to the worker thread at once.
    void saveInBackground();
    // Returns once the background saves handed over are written.
    void waitForBackgroundSave() { saver_.waitIdle(); }
    bool backgroundSaveRunning() { return saver_.running(); }

    // Closing: waits for a background save in progress, then writes the queue
    // and then the log. Throws the first failure; the log is then unwritten.
    void saveAtClosing();

  private:
    enum class Loading { Unread, Failed, Loaded };
    struct File {
        const char* name;
        const RecordLayout& layout;
        TextGrid& grid;
        Loading loading = Loading::Unread;
        unsigned long long loadedRevision = 0; // the grid as loaded, or as left by start-up
        unsigned long long savedRevision = 0;  // the grid as last handed to a save
    };

    QString pathOf(const File& file) const;
    void load(File& file);
    void saveAtClosing(File& file);
    bool changedSinceLoading(const File& file) const {
        return file.grid.revision() != file.loadedRevision;
    }

    QString folder_;
    std::array<File, 2> files_;
    QTimer timer_;
    BackgroundSave saver_; // last: it finishes before the rest goes
};

} // namespace vardelo
