// The event log page: emptying it and re-queuing the given-up links.
#include "app/Unit2.h"
#include "platform/Dialogs.h"

namespace vardelo {

void TForm1::button1Click() {
    if (!services_.dialogs.askYesNo(QStringLiteral("Biztosan törlöd a napló összes elemét?")))
        return;
    log_.clear();
}

void TForm1::hibasak_ujraClick() {
    const std::vector<std::string> urls = log_.takeFailed();
    if (urls.empty())
        return;
    const TextGrid::Batch batch(queue_.grid());
    for (const std::string& url : urls)
        queue_.append(url);
}

} // namespace vardelo
