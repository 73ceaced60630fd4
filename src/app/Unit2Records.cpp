// The stored queue and log: read at start-up, written at closing, and saved
// in the background a few seconds after a change, so a killed program loses
// at most those seconds.
#include "app/GridModel.h"
#include "app/Unit2.h"
#include "core/RecordFile.h"

#include <QTimer>

namespace vardelo {

QString TForm1::recordPath(const char* name) const {
    return services_.recordFolder + QLatin1Char('/') + QLatin1String(name);
}

void TForm1::readRecordFiles() {
    queueLoaded_ = false;
    logLoaded_ = false;
    readRecordFile(recordPath("Lista.Vdl").toStdString(), queueRecordLayout(), queue.grid());
    linkekModel->sync();
    queueLoaded_ = true;
    readRecordFile(recordPath("Naplo.Vdl").toStdString(), logRecordLayout(), log.grid());
    naplosgModel->sync();
    logLoaded_ = true;
    recordSaveTimer_->stop(); // nothing has changed yet
}

void TForm1::writeRecordFiles() {
    writeRecordFile(recordPath("Lista.Vdl").toStdString(), queueRecordLayout(), queue.grid());
    writeRecordFile(recordPath("Naplo.Vdl").toStdString(), logRecordLayout(), log.grid());
}

void TForm1::scheduleRecordSave() {
    if (!recordSaveTimer_->isActive())
        recordSaveTimer_->start();
}

void TForm1::saveRecordsQuietly() {
    // A background save reports nothing; the orderly close reports failures.
    try {
        if (queueLoaded_)
            writeRecordFile(recordPath("Lista.Vdl").toStdString(), queueRecordLayout(),
                            queue.grid());
    } catch (const std::exception&) {
    }
    try {
        if (logLoaded_)
            writeRecordFile(recordPath("Naplo.Vdl").toStdString(), logRecordLayout(), log.grid());
    } catch (const std::exception&) {
    }
}

} // namespace vardelo
