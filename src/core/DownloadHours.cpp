#include "core/DownloadHours.h"

#include <cstdio>

namespace vardelo {

bool hoursAreOpen(const DownloadHours& hours, int minuteOfDay) {
    if (!hours.on || hours.startMinute == hours.endMinute)
        return true;
    if (hours.startMinute < hours.endMinute)
        return minuteOfDay >= hours.startMinute && minuteOfDay < hours.endMinute;
    return minuteOfDay >= hours.startMinute || minuteOfDay < hours.endMinute; // past midnight
}

std::string clockText(int minuteOfDay) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", (minuteOfDay / 60) % 24, minuteOfDay % 60);
    return text;
}

std::string hoursWaitText(const DownloadHours& hours) {
    return "Letöltés " + clockText(hours.startMinute) + "-kor indul";
}

} // namespace vardelo
