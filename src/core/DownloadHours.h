#pragma once

#include <string>

namespace vardelo {

// The daily hours in which links may be started, as minutes after midnight.
// A window whose end lies before its start passes midnight; equal ends mean
// the whole day.
struct DownloadHours {
    bool on = false;
    int startMinute = 0;
    int endMinute = 0;
};

// Whether a link may be started at `minuteOfDay` (0 to 1439).
bool hoursAreOpen(const DownloadHours& hours, int minuteOfDay);

// "HH:MM" of a minute of the day.
std::string clockText(int minuteOfDay);

// The status line while Start waits for the hours: "Letöltés HH:MM-kor indul".
std::string hoursWaitText(const DownloadHours& hours);

} // namespace vardelo
