#pragma once

#include "core/EventLog.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace vardelo {

// How an attempt at the queue's head link ended.
enum class OutcomeKind : unsigned char {
    Success = 0,
    DeadLink = 1,           // the link's page had no free-user form
    WaitPageUnreadable = 2, // no address or waiting time on the wait page
    TransferFailed = 3,     // the file could not be fetched or stored
};

// The attempts cell as a number; anything that is not a decimal number
// (a hand-edited stored list) counts as 0.
int attemptsFromCell(std::string_view cell);

// A failed link goes to the end of the queue for another try while the queue
// holds other links and its tries stay below the retries setting.
bool shouldRequeue(int queueRowCount, int attempts, int retries);

LogEntry successEntry(std::string url, std::string sizeText);
LogEntry givenUpEntry(std::string url, OutcomeKind kind, int retries);

// The file name of a download: the text after the URL's last "/", or the
// whole URL when it has none. Nothing else is changed.
std::string link_kiszed(std::string_view url);

} // namespace vardelo
