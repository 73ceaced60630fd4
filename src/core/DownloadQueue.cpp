#include "core/DownloadQueue.h"

namespace vardelo {

void DownloadQueue::append(std::string link) {
    const TextGrid::Batch batch(grid_);
    int row = rowCount();
    if (isEmpty()) {
        row = 1;
    } else {
        grid_.setRowCount(row + 1);
    }
    grid_.setCell(row, QueueNumber, std::to_string(row));
    grid_.setCell(row, QueueUrl, std::move(link));
    grid_.setCell(row, QueueAttempts, "0");
}

bool DownloadQueue::deleteRow(int s, QueueGuards guards) {
    const TextGrid::Batch batch(grid_);
    if (s < 1 || s > grid_.lastRow())
        return false;
    if (s == 1 && guards.downloading)
        return false;
    removeRow(s);
    return true;
}

bool DownloadQueue::moveToTop(int s, QueueGuards guards) {
    if (s <= 1 || s > grid_.lastRow() || !guards.listIdle)
        return false;
    const int target = guards.downloading ? 2 : 1;
    if (s <= target)
        return false;
    moveRow(s, target, url(s), attempts(s));
    return true;
}

bool DownloadQueue::moveToEnd(int s, QueueGuards guards) {
    if (s < 1 || s > grid_.lastRow() || !guards.listIdle)
        return false;
    if (s == 1 && guards.downloading)
        return false;
    moveRow(s, grid_.lastRow(), url(s), attempts(s));
    return true;
}

std::vector<QueuedLink>
DownloadQueue::takeLinks(const std::function<bool(const std::string& url)>& pick,
                         QueueGuards guards) {
    std::vector<QueuedLink> taken;
    if (!guards.listIdle || isEmpty())
        return taken;
    const TextGrid::Batch batch(grid_);
    int kept = 0;
    for (int r = 1; r <= grid_.lastRow(); ++r) {
        const bool running = r == 1 && guards.downloading;
        if (running || url(r).empty() || !pick(url(r))) {
            if (++kept != r)
                grid_.moveDataCells(r, kept);
            continue;
        }
        taken.push_back({url(r), attempts(r)});
    }
    if (taken.empty())
        return taken;
    if (kept == 0)
        grid_.clearRow(1);
    grid_.setRowCount(kept + 1);
    return taken;
}

void DownloadQueue::moveRow(int from, int to, std::string link, std::string tries) {
    const TextGrid::Batch batch(grid_);
    if (to > from) {
        for (int r = from; r < to; ++r)
            grid_.moveDataCells(r + 1, r);
    } else {
        for (int r = from; r > to; --r)
            grid_.moveDataCells(r - 1, r);
    }
    grid_.setCell(to, QueueUrl, std::move(link));
    grid_.setCell(to, QueueAttempts, std::move(tries));
}

void DownloadQueue::removeRow(int row) {
    if (row < 1 || row > grid_.lastRow())
        return;
    const TextGrid::Batch batch(grid_);
    for (int r = row; r < grid_.lastRow(); ++r)
        grid_.moveDataCells(r + 1, r);
    if (rowCount() <= 2)
        grid_.clearRow(1);
    else
        grid_.setRowCount(rowCount() - 1);
}

void DownloadQueue::rotateRow(int row, std::string tries) {
    if (row < 1 || row > grid_.lastRow())
        return;
    const TextGrid::Batch batch(grid_);
    grid_.setCell(row, QueueAttempts, std::move(tries));
    const int last = rowCount();
    grid_.setRowCount(last + 1);
    grid_.copyDataCells(row, last);
    removeRow(row);
}

void DownloadQueue::replaceRow(int row, const std::vector<std::string>& links) {
    if (row < 1 || row > grid_.lastRow())
        return;
    if (links.empty()) {
        removeRow(row);
        return;
    }
    const TextGrid::Batch batch(grid_);
    const int added = static_cast<int>(links.size()) - 1;
    const int last = grid_.lastRow();
    grid_.setRowCount(rowCount() + added);
    for (int r = last; r > row; --r)
        grid_.moveDataCells(r, r + added);
    for (int r = last + 1; r <= grid_.lastRow(); ++r)
        grid_.setCell(r, QueueNumber, std::to_string(r));
    for (std::size_t i = 0; i < links.size(); ++i) {
        const int at = row + static_cast<int>(i);
        grid_.setCell(at, QueueUrl, links[i]);
        grid_.setCell(at, QueueAttempts, "0");
    }
}

std::optional<int> DownloadQueue::rowOf(const std::string& link) const {
    if (link.empty())
        return std::nullopt;
    for (int r = 1; r <= grid_.lastRow(); ++r) {
        if (url(r) == link)
            return r;
    }
    return std::nullopt;
}

} // namespace vardelo
