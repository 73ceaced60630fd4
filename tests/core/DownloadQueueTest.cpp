#include "QueueTestHelpers.h"

#include "core/QueueDrag.h"
#include "core/RunSlots.h"

#include <gtest/gtest.h>

#include <functional>

namespace vardelo {
namespace {

using Rows = std::vector<std::string>;

constexpr QueueGuards kIdle{false, true};
constexpr QueueGuards kDownloading{true, true};
constexpr QueueGuards kRewriting{false, false};

TEST(QueueAppend, FillsTheBlankRowThenAddsNumberedRows) {
    DownloadQueue queue;
    EXPECT_TRUE(queue.isEmpty());
    queue.append("a");
    EXPECT_EQ(queue.rowCount(), 2);
    queue.append("b");
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|b|0"}));
}

TEST(QueueAppend, KeepsTheTextAsGiven) {
    DownloadQueue queue = queueOf({"  spaced  ", "a"});
    queue.append("a"); // duplicates are allowed
    EXPECT_EQ(rowsOf(queue), (Rows{"1|  spaced  |0", "2|a|0", "3|a|0"}));
}

// A folder's row gives its place to its files; a folder of none goes.
TEST(QueueAppend, AReplacedRowGivesItsPlaceToTheLinksInTheirOrder) {
    DownloadQueue queue = queueOf({"a", "folder", "z"});
    queue.setAttempts(3, "2");
    queue.replaceRow(2, {"f1", "f2", "f3"});
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|f1|0", "3|f2|0", "4|f3|0", "5|z|2"}));
    queue.replaceRow(5, {"y"});
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|f1|0", "3|f2|0", "4|f3|0", "5|y|0"}));
    queue.replaceRow(1, {});
    EXPECT_EQ(rowsOf(queue), (Rows{"1|f1|0", "2|f2|0", "3|f3|0", "4|y|0"}));
    DownloadQueue alone = queueOf({"folder"});
    alone.replaceRow(1, {});
    EXPECT_TRUE(alone.isEmpty());
}

TEST(QueueDelete, OnlyRowBlanksItAndTheNextAppendRefillsRowOne) {
    DownloadQueue queue = queueOf({"a"});
    EXPECT_TRUE(queue.deleteRow(1, kIdle));
    EXPECT_EQ(rowsOf(queue), (Rows{"||"}));
    queue.append("b");
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0"}));
}

TEST(QueueDelete, TakenLinksCloseUpAndSpareTheRunningHead) {
    const auto odd = [](const std::string& url) { return url == "a" || url == "c"; };
    DownloadQueue queue = queueOf({"a", "b", "c", "d"});
    queue.setAttempts(3, "2");
    const auto taken = queue.takeLinks(odd, kIdle);
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_EQ(taken[1].url, "c");
    EXPECT_EQ(taken[1].attempts, "2");
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0", "2|d|0"}));

    DownloadQueue running = queueOf({"a", "b", "c"});
    EXPECT_EQ(running.takeLinks(odd, kDownloading).size(), 1u);
    EXPECT_EQ(rowsOf(running), (Rows{"1|a|0", "2|b|0"}));
    EXPECT_TRUE(running.takeLinks(odd, kRewriting).empty());

    DownloadQueue all = queueOf({"a", "c"});
    EXPECT_EQ(all.takeLinks(odd, kIdle).size(), 2u);
    EXPECT_TRUE(all.isEmpty());
}

TEST(QueueDelete, HeadIsProtectedWhileDownloading) {
    DownloadQueue queue = queueOf({"a", "b"});
    EXPECT_FALSE(queue.deleteRow(1, kDownloading));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|b|0"}));
}

TEST(QueueDelete, RowsBelowMoveUpAndNumbersStayPositional) {
    DownloadQueue queue = queueOf({"a", "b", "c"});
    queue.setAttempts(3, "2");
    EXPECT_TRUE(queue.deleteRow(1, kIdle));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0", "2|c|2"}));
}

TEST(QueueMoveToTop, WhileDownloadingTargetsRowTwo) {
    DownloadQueue queue = queueOf({"a", "b", "c", "d", "e"});
    queue.setAttempts(5, "3");
    EXPECT_TRUE(queue.moveToTop(5, kDownloading));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|e|3", "3|b|0", "4|c|0", "5|d|0"}));
}

TEST(QueueMoveToTop, WhenIdleTargetsRowOne) {
    DownloadQueue queue = queueOf({"a", "b", "c"});
    EXPECT_TRUE(queue.moveToTop(3, kIdle));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|c|0", "2|a|0", "3|b|0"}));
}

TEST(QueueMoveToTop, RefusedForHeadRowTwoWhileDownloadingAndWhileRewriting) {
    DownloadQueue queue = queueOf({"a", "b", "c"});
    EXPECT_FALSE(queue.moveToTop(1, kIdle));
    EXPECT_FALSE(queue.moveToTop(2, kDownloading));
    EXPECT_FALSE(queue.moveToTop(3, kRewriting));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|b|0", "3|c|0"}));
}

TEST(QueueMoveToEnd, HeadOnlyWhenIdle) {
    DownloadQueue queue = queueOf({"a", "b", "c"});
    EXPECT_FALSE(queue.moveToEnd(1, kDownloading));
    EXPECT_FALSE(queue.moveToEnd(2, kRewriting));
    EXPECT_TRUE(queue.moveToEnd(1, kIdle));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0", "2|c|0", "3|a|0"}));
}

TEST(QueueMoveRows, SelectionOutsideTheDataRowsChangesNothing) {
    DownloadQueue queue = queueOf({"a", "b"});
    EXPECT_FALSE(queue.deleteRow(0, kIdle));
    EXPECT_FALSE(queue.deleteRow(3, kIdle));
    EXPECT_FALSE(queue.moveToTop(7, kIdle));
    EXPECT_FALSE(queue.moveToEnd(-1, kIdle));
    EXPECT_EQ(rowsOf(queue), (Rows{"1|a|0", "2|b|0"}));
}

TEST(QueueHead, RemoveHeadOfLastLinkLeavesOneBlankRow) {
    DownloadQueue queue = queueOf({"a"});
    queue.removeHead();
    EXPECT_TRUE(queue.isEmpty());
    EXPECT_EQ(rowsOf(queue), (Rows{"||"}));
}

TEST(QueueHead, RotateMovesTheHeadLastWithItsNewAttempts) {
    DownloadQueue queue = queueOf({"a", "b", "c"});
    queue.rotateHead("1");
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0", "2|c|0", "3|a|1"}));
}

// Any row's outcome, as several links running at once end in any order.
TEST(QueueRows, RemoveAndRotateAnyRowAndFindALinksRow) {
    const struct {
        const char* name;
        std::function<void(DownloadQueue&)> change;
        Rows expected;
    } cases[] = {
        {"remove a middle row", [](DownloadQueue& q) { q.removeRow(2); },
         Rows{"1|a|0", "2|c|0", "3|d|2"}},
        {"remove the last row", [](DownloadQueue& q) { q.removeRow(4); },
         Rows{"1|a|0", "2|b|0", "3|c|0"}},
        {"rotate a middle row", [](DownloadQueue& q) { q.rotateRow(2, "1"); },
         Rows{"1|a|0", "2|c|0", "3|d|2", "4|b|1"}},
        {"rotate the last row", [](DownloadQueue& q) { q.rotateRow(4, "3"); },
         Rows{"1|a|0", "2|b|0", "3|c|0", "4|d|3"}},
        {"rows outside the data rows",
         [](DownloadQueue& q) {
             q.removeRow(0);
             q.removeRow(5);
             q.rotateRow(-1, "9");
             q.rotateRow(5, "9");
         },
         Rows{"1|a|0", "2|b|0", "3|c|0", "4|d|2"}},
    };
    for (const auto& c : cases) {
        DownloadQueue queue = queueOf({"a", "b", "c", "d"});
        queue.setAttempts(4, "2");
        c.change(queue);
        EXPECT_EQ(rowsOf(queue), c.expected) << c.name;
    }

    DownloadQueue only = queueOf({"a"});
    only.rotateRow(1, "1");
    EXPECT_EQ(rowsOf(only), (Rows{"1|a|1"}));
    only.removeRow(1);
    EXPECT_TRUE(only.isEmpty());

    const DownloadQueue twice = queueOf({"a", "b", "a"});
    EXPECT_EQ(twice.rowOf("a"), 1);
    EXPECT_EQ(twice.rowOf("b"), 2);
    EXPECT_EQ(twice.rowOf("x"), std::nullopt);
    EXPECT_EQ(DownloadQueue().rowOf(""), std::nullopt); // the empty queue's blank row
}

// Which queued link starts next when several may run at once.
TEST(QueueRunSlots, TheFirstLinkWhoseHostHasAFreePlaceAndIsNotWaitingStarts) {
    using Queued = std::vector<QueuedRun>;
    using Running = std::vector<RunningLink>;
    const struct {
        const char* name;
        Queued queued;
        Running running;
        int slots;
        std::optional<std::size_t> next;
    } cases[] = {
        {"the first link", {{"a", "h1"}, {"b", "h2"}}, {}, 1, 0},
        {"no slot is free", {{"a", "h1"}, {"b", "h2"}}, {{"c", "h3"}}, 1, std::nullopt},
        {"no slots at all", {{"a", "h1"}}, {}, 0, std::nullopt},
        {"its host runs its one link",
         {{"a", "h1"}, {"b", "h1"}, {"c", "h2"}},
         {{"a", "h1"}},
         3,
         2},
        {"its host may run two", {{"a", "h1", 2}, {"b", "h1", 2}}, {{"a", "h1"}}, 3, 1},
        {"its host runs its two",
         {{"a", "h1", 2}, {"b", "h1", 2}, {"c", "h1", 2}},
         {{"a", "h1"}, {"b", "h1"}},
         3,
         std::nullopt},
        {"a waiting host is passed over", {{"a", "h1", 1, true}, {"b", "h2"}}, {}, 2, 1},
        {"every host waits", {{"a", "h1", 1, true}, {"b", "h1", 1, true}}, {}, 2, std::nullopt},
        {"one file's two links never run at once",
         {{"a", "h1", 2}, {"a", "h2"}, {"b", "h1", 2}},
         {{"a", "h1"}},
         3,
         2},
        {"a cap below one lets one run", {{"a", "h1", 0}, {"b", "h1", 0}}, {}, 2, 0},
        {"the running count is the host's, not the link's",
         {{"b", "h1", 0}},
         {{"a", "h1"}},
         2,
         std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(nextLinkToStart(c.queued, c.running, c.slots), c.next) << c.name;
}

struct DragCase {
    const char* name;
    QueueGuards guards;
    int pressRow, pressColumn, releaseRow, releaseColumn;
    Rows expected;
};

void PrintTo(const DragCase& c, std::ostream* out) {
    *out << c.name;
}

class QueueDragTest : public ::testing::TestWithParam<DragCase> {};

TEST_P(QueueDragTest, MovesAsTheRulesSay) {
    const DragCase& c = GetParam();
    DownloadQueue queue = queueOf({"a", "b", "c", "d"});
    queue.setAttempts(4, "2");
    QueueDrag drag;
    drag.press(queue, c.pressRow, c.pressColumn, c.guards);
    drag.release(queue, c.releaseRow, c.releaseColumn, c.guards);
    EXPECT_EQ(rowsOf(queue), c.expected);
    EXPECT_FALSE(drag.drag_active);
    EXPECT_FALSE(drag.drag_refused);
}

const Rows kUnchanged{"1|a|0", "2|b|0", "3|c|0", "4|d|2"};

INSTANTIATE_TEST_SUITE_P(
    Cases, QueueDragTest,
    ::testing::Values(
        DragCase{"RowFourOntoRowTwo", kIdle, 4, 1, 2, 2, {"1|a|0", "2|d|2", "3|b|0", "4|c|0"}},
        DragCase{"RowOneOntoRowThree", kIdle, 1, 2, 3, 1, {"1|b|0", "2|c|0", "3|a|0", "4|d|2"}},
        DragCase{"OntoItself", kIdle, 2, 1, 2, 1, kUnchanged},
        DragCase{"FromTheNumberColumn", kIdle, 4, 0, 2, 1, kUnchanged},
        DragCase{"FromTheTitleRow", kIdle, 0, 1, 2, 1, kUnchanged},
        DragCase{"OntoTheNumberColumn", kIdle, 4, 1, 2, 0, kUnchanged},
        DragCase{"OutsideTheGrid", kIdle, 4, 1, -1, -1, kUnchanged},
        DragCase{"BelowTheLastRow", kIdle, 2, 1, 9, 1, kUnchanged},
        DragCase{"OntoTheHeadWhileDownloading", kDownloading, 2, 1, 1, 1, kUnchanged},
        DragCase{"TheHeadWhileDownloading", kDownloading, 1, 1, 3, 1, kUnchanged},
        DragCase{"WhileRewriting", kRewriting, 4, 1, 2, 1, kUnchanged}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(QueueDragRewrite, QueueRewrittenDuringTheDragMovesNothing) {
    DownloadQueue queue = queueOf({"a", "b", "c", "d"});
    QueueDrag drag;
    drag.press(queue, 3, 1, kIdle);
    queue.removeHead(); // an outcome while the button is held
    EXPECT_EQ(drag.release(queue, 1, 1, kIdle), QueueDrag::Release::Ended);
    EXPECT_EQ(rowsOf(queue), (Rows{"1|b|0", "2|c|0", "3|d|0"}));
}

} // namespace
} // namespace vardelo
