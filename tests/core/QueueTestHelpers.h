#pragma once

#include "core/DownloadQueue.h"

#include <string>
#include <vector>

namespace vardelo {

inline DownloadQueue queueOf(const std::vector<std::string>& urls) {
    DownloadQueue queue;
    for (const auto& url : urls)
        queue.append(url);
    return queue;
}

// Each data row as "number|url|attempts".
inline std::vector<std::string> rowsOf(const DownloadQueue& queue) {
    std::vector<std::string> rows;
    for (int r = 1; r < queue.rowCount(); ++r)
        rows.push_back(queue.grid().cell(r, 0) + "|" + queue.url(r) + "|" + queue.attempts(r));
    return rows;
}

} // namespace vardelo
