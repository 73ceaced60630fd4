// The stored queue and log: the window's side of its record store.
#include "app/Unit2.h"
#include "session/HostWaitsStore.h"
#include "session/RecordStore.h"

#include <QDateTime>

namespace vardelo {

void TForm1::readRecordFiles() {
    records_->load();
    hostWaits_ = loadHostWaits(services_.recordFolder, QDateTime::currentSecsSinceEpoch());
}

void TForm1::writeRecordFiles() {
    records_->saveAtClosing();
}

void TForm1::scheduleRecordSave() {
    records_->scheduleSave();
}

} // namespace vardelo
