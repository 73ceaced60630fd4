// Plain-text link lists: import appends the file's non-blank lines to the
// queue, export saves the queue's URLs one a line.
#include "app/Unit2.h"
#include "core/ListText.h"
#include "platform/Dialogs.h"
#include "platform/ListFile.h"

namespace vardelo {

void TForm1::megnyitClick() {
    session_->rewriteQueue([this] { importListFile(); });
}

void TForm1::importListFile() {
    const std::optional<QString> path = services_.dialogs.openFileName();
    if (!path)
        return; // a cancelled dialog appends nothing
    ListBox1 = readListFile(*path);
    std::vector<ListEntry> entries;
    std::vector<std::string> links;
    for (const std::string& line : linesToImport(ListBox1)) {
        entries.push_back(splitListEntry(line));
        links.push_back(entries.back().link);
    }
    // A claimed link queued already is said, as from every other source.
    if (LinksToQueue sorted = queueLinks(links); !sorted.alreadyQueued.empty())
        showQueuedBalloon({{}, std::move(sorted.alreadyQueued)});
    setListPasswords(entries);
}

void TForm1::button3Click() {
    ListBox1.clear();
    for (int row = 1; row < queue().rowCount(); ++row)
        ListBox1.push_back(queue().url(row));
    if (const std::optional<QString> path = services_.dialogs.saveFileName())
        writeListFile(*path, ListBox1);
}

} // namespace vardelo
