// The stored queue and log: the window's side of its record store.
#include "app/GridModel.h"
#include "app/RecordStore.h"
#include "app/Unit2.h"

#include <QScopeGuard>

namespace vardelo {

void TForm1::readRecordFiles() {
    // Whatever loaded is shown, also when the other file failed.
    const auto show = qScopeGuard([this] {
        linkekModel->sync();
        naplosgModel->sync();
    });
    records_->load();
}

void TForm1::writeRecordFiles() {
    records_->saveAtClosing();
}

void TForm1::scheduleRecordSave() {
    records_->scheduleSave();
}

} // namespace vardelo
