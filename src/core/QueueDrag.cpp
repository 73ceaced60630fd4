#include "core/QueueDrag.h"

namespace vardelo {

QueueDrag::Press QueueDrag::press(const DownloadQueue& queue, int row, int column,
                                  QueueGuards guards) {
    if (!guards.listIdle)
        return Press::Ignored;
    drag_refused = false;
    drag_active = false;
    if (guards.downloading && row == 1) {
        drag_refused = true;
        return Press::Refused;
    }
    if (column < 1 || row < 1 || row > queue.grid().lastRow())
        return Press::Ignored;
    drag_url = queue.url(row);
    drag_attempts = queue.attempts(row);
    drag_source_row = row;
    drag_active = true;
    queueRevision = queue.grid().revision();
    return Press::Began;
}

QueueDrag::Release QueueDrag::release(DownloadQueue& queue, int row, int column,
                                      QueueGuards guards) {
    if (!guards.listIdle)
        return Release::Ignored;
    if (drag_refused) {
        drag_refused = false;
        return Release::Ignored;
    }
    if (!drag_active)
        return Release::Ignored;
    drag_active = false;

    // A queue rewritten while the button was held (an outcome, an import)
    // no longer holds the pair at the source row: moving would lose a link.
    if (queue.grid().revision() != queueRevision)
        return Release::Ended;
    const bool onDataCell = column >= 1 && row >= 1 && row <= queue.grid().lastRow();
    if (!onDataCell || (guards.downloading && row == 1))
        return Release::Ended;
    queue.moveRow(drag_source_row, row, drag_url, drag_attempts);
    return Release::Ended;
}

} // namespace vardelo
