#pragma once

#include "core/TextGrid.h"

#include <string>
#include <vector>

namespace vardelo {

enum LogColumn { LogNumber = 0, LogUrl = 1, LogStatus = 2, LogSize = 3, LogAttempts = 4 };

inline constexpr const char* kStatusSuccess = "Sikeres letöltés";
inline constexpr const char* kStatusFailed = "Hibás link.";
inline constexpr const char* kSizeUnknown = "Nem meghatározható.";

struct LogEntry {
    std::string url;
    std::string status;
    std::string size;
    std::string attempts;
};

// The event log: one entry per finished or given-up link. It is empty while
// its only row is blank; a stored log may number its entries in any way, so
// the number cell alone does not tell.
class EventLog {
  public:
    EventLog() : grid_(5) {}

    TextGrid& grid() { return grid_; }
    const TextGrid& grid() const { return grid_; }

    bool isEmpty() const;
    void append(const LogEntry& entry);
    void clear();

    // Removes every entry whose status is exactly "Hibás link." and returns
    // their URLs in log order; the other entries close up, keeping the
    // positional numbers of the rows they move into.
    std::vector<std::string> takeFailed();

  private:
    TextGrid grid_;
};

} // namespace vardelo
