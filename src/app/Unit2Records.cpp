// The stored queue and log: the window's side of its session's record store.
#include "app/Unit2.h"
#include "platform/AppPaths.h"

namespace vardelo {

void TForm1::readRecordFiles() {
    session_->loadRecords();
    // Only beside a queue that read: the passwords of its links.
    session_->keepPasswordsIn(stateFolder());
}

void TForm1::writeRecordFiles() {
    session_->saveRecordsAtClosing();
}

} // namespace vardelo
