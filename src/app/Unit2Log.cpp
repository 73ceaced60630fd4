// The event log page: emptying it and re-queuing the given-up links.
#include "app/Unit2.h"
#include "platform/Dialogs.h"

namespace vardelo {

void TForm1::button1Click() {
    if (!services_.dialogs.askYesNo(QStringLiteral("Biztosan törlöd a napló összes elemét?")))
        return;
    session_->clearLog();
}

void TForm1::hibasak_ujraClick() {
    session_->requeueFailedLinks();
}

} // namespace vardelo
