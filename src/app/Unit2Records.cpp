// The stored queue and log: the window's side of its record store.
#include "app/RecordStore.h"
#include "app/Unit2.h"

namespace vardelo {

void TForm1::readRecordFiles() {
    records_->load();
}

void TForm1::writeRecordFiles() {
    records_->saveAtClosing();
}

void TForm1::scheduleRecordSave() {
    records_->scheduleSave();
}

} // namespace vardelo
