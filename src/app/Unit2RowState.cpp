// The queue's "Állapot" column: what the running link is doing, and until
// when a waiting host holds its links back.
#include "app/GridModel.h"
#include "app/Unit2.h"
#include "core/RowState.h"
#include "platform/QtText.h"

#include <QLocale>

namespace vardelo {

void TForm1::addRowStateColumn() {
    linkekModel->addViewColumn(
        {QStringLiteral("Állapot"), [this](int row) { return rowStateText(row); }});
}

QString TForm1::rowStateText(int row) const {
    return toQt(vardelo::rowStateText(session_->rowState(row), toStd(QLocale().decimalPoint())));
}

void TForm1::showRowStates() {
    linkekModel->viewColumnsChanged();
}

} // namespace vardelo
