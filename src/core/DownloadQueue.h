#pragma once

#include "core/TextGrid.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vardelo {

enum QueueColumn { QueueNumber = 0, QueueUrl = 1, QueueAttempts = 2 };

// What the window's flags allow at the moment of a user's queue operation.
struct QueuedLink {
    std::string url;
    std::string attempts;
};

struct QueueGuards {
    bool downloading = false; // a cycle works on row 1
    bool listIdle = true;     // nothing else is rewriting the queue
};

// The download queue: row 1 is the head; an empty queue is one blank row.
// Row numbers in column 0 are positional: moves carry only URL and attempts.
class DownloadQueue {
  public:
    DownloadQueue() : grid_(3) {}

    TextGrid& grid() { return grid_; }
    const TextGrid& grid() const { return grid_; }
    int rowCount() const { return grid_.rowCount(); }

    const std::string& url(int row) const { return grid_.cell(row, QueueUrl); }
    const std::string& attempts(int row) const { return grid_.cell(row, QueueAttempts); }
    void setAttempts(int row, std::string text) {
        grid_.setCell(row, QueueAttempts, std::move(text));
    }

    bool isEmpty() const { return rowCount() == 2 && url(1).empty(); }
    bool hasHead() const { return !url(1).empty(); }

    // linket_hozzaad: fills the blank row of an empty queue, else adds a row.
    void append(std::string url);

    // User operations; each returns whether it changed anything.
    bool deleteRow(int selected, QueueGuards guards);
    bool moveToTop(int selected, QueueGuards guards);
    bool moveToEnd(int selected, QueueGuards guards);

    // Takes out every link `pick` chooses, except the head while it runs,
    // in one pass, and returns them in queue order; the rest close up.
    // Nothing while the queue is being rewritten.
    std::vector<QueuedLink> takeLinks(const std::function<bool(const std::string& url)>& pick,
                                      QueueGuards guards);
    // Puts the pair (url, attempts) at row `to`, shifting the rows between
    // `from` and `to` one step towards `from`. Column 0 is never touched.
    void moveRow(int from, int to, std::string url, std::string attempts);

    // Outcome operations. A row outside the data rows changes nothing.
    void removeRow(int row);
    // The link goes to the queue's end with `attempts`.
    void rotateRow(int row, std::string attempts);
    void removeHead() { removeRow(1); }
    void rotateHead(std::string attempts) { rotateRow(1, std::move(attempts)); }

    // The row gives its place to `links`, in their order, each untried; no
    // links: the row goes.
    void replaceRow(int row, const std::vector<std::string>& links);

    // The first row holding `url`; nothing for an empty one.
    std::optional<int> rowOf(const std::string& url) const;

  private:
    TextGrid grid_;
};

} // namespace vardelo
