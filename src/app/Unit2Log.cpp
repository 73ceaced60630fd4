// The event log page: emptying it and re-queuing the given-up links.
#include "app/GridModel.h"
#include "app/Unit2.h"
#include "platform/Dialogs.h"

namespace vardelo {

void TForm1::logChanged() {
    naplosgModel->sync();
}

void TForm1::button1Click() {
    if (!services_.dialogs.askYesNo(QStringLiteral("Biztosan törlöd a napló összes elemét?")))
        return;
    log.clear();
    logChanged();
}

void TForm1::hibasak_ujraClick() {
    const std::vector<std::string> urls = log.takeFailed();
    if (urls.empty())
        return;
    for (const std::string& url : urls)
        queue.append(url);
    logChanged();
    queueChanged();
}

} // namespace vardelo
