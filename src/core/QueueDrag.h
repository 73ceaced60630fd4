#pragma once

#include "core/DownloadQueue.h"

#include <string>

namespace vardelo {

// Reordering the queue with the mouse: press on a row, release on another.
// Cells are given as (row, column) of the grid, with row 0 the title row and
// -1 for "outside the grid".
struct QueueDrag {
    bool drag_refused = false;
    bool drag_active = false;
    std::string drag_url;
    std::string drag_attempts;
    int drag_source_row = 0;
    unsigned long long queueRevision = 0;

    enum class Press { Ignored, Refused, Began };
    enum class Release { Ignored, Ended };

    Press press(const DownloadQueue& queue, int row, int column, QueueGuards guards);

    // Ended means the drag is over (the caller restores cursor and selection);
    // the queue moves only when the target is a data row the rules allow.
    Release release(DownloadQueue& queue, int row, int column, QueueGuards guards);
};

} // namespace vardelo
