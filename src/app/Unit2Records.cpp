// The stored queue and log: the window's side of its session's record store.
#include "app/Unit2.h"

namespace vardelo {

void TForm1::readRecordFiles() {
    session_->loadRecords();
}

void TForm1::writeRecordFiles() {
    session_->saveRecordsAtClosing();
}

} // namespace vardelo
