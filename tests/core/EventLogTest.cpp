#include "core/EventLog.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

LogEntry success(std::string url) {
    return {std::move(url), kStatusSuccess, "1 MB", "Próbálva:1"};
}
LogEntry failure(std::string url) {
    return {std::move(url), kStatusFailed, kSizeUnknown, "Próbálva:5"};
}

std::vector<std::string> entries(const EventLog& log) {
    std::vector<std::string> rows;
    for (int r = 1; r < log.grid().rowCount(); ++r)
        rows.push_back(log.grid().cell(r, LogNumber) + "|" + log.grid().cell(r, LogUrl) + "|" +
                       log.grid().cell(r, LogStatus));
    return rows;
}

TEST(EventLogAppend, FirstEntryTakesRowOneAfterClearing) {
    EventLog log;
    log.append(success("a"));
    log.append(success("b"));
    log.clear();
    EXPECT_TRUE(log.isEmpty());
    log.append(success("c"));
    log.append(failure("d"));
    EXPECT_EQ(entries(log), (std::vector<std::string>{"1|c|Sikeres letöltés", "2|d|Hibás link."}));
}

TEST(EventLogAppend, NeverOverwritesAStoredEntryWhateverItsNumber) {
    for (const std::string number : {"5", "", "1"}) {
        EventLog log; // as loaded from a stored log
        log.grid().setCell(1, LogNumber, number);
        log.grid().setCell(1, LogUrl, "stored");
        EXPECT_FALSE(log.isEmpty());
        log.append(success("new"));
        EXPECT_EQ(entries(log),
                  (std::vector<std::string>{number + "|stored|", "2|new|Sikeres letöltés"}));
    }
}

TEST(EventLogRequeue, FailedEntriesLeaveAndTheRestCloseUp) {
    EventLog log;
    log.append(success("s1"));
    log.append(failure("f1"));
    log.append(failure("f2"));
    log.append(success("s2"));
    EXPECT_EQ(log.takeFailed(), (std::vector<std::string>{"f1", "f2"}));
    EXPECT_EQ(entries(log),
              (std::vector<std::string>{"1|s1|Sikeres letöltés", "2|s2|Sikeres letöltés"}));
    EXPECT_EQ(log.grid().cell(2, LogAttempts), "Próbálva:1");
}

TEST(EventLogRequeue, OnlyFailedEntryLeavesAnEmptyLog) {
    EventLog log;
    log.append(failure("f"));
    EXPECT_EQ(log.takeFailed(), (std::vector<std::string>{"f"}));
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(entries(log), (std::vector<std::string>{"||"}));
}

TEST(EventLogRequeue, StatusWithoutTheFullStopIsNotAFailure) {
    EventLog log;
    log.append({"x", "Hibás link", kSizeUnknown, "Próbálva:5"});
    EXPECT_TRUE(log.takeFailed().empty());
    EXPECT_EQ(log.grid().rowCount(), 2);
    EXPECT_EQ(log.grid().cell(1, LogUrl), "x");
}

} // namespace
} // namespace vardelo
