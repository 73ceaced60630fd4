#include "core/DownloadStatistics.h"

#include "core/OutcomePlan.h"
#include "core/Saturating.h"

namespace vardelo {

void DownloadStatistics::count(const OutcomePlan& plan) {
    for (auto* counter : {&jelenlegi_letoltott_db, &osszes_letoltott_db})
        *counter = saturatingAdd(*counter, plan.downloadedFiles);
    for (auto* counter : {&jelenlegi_letoltott_meret, &osszes_letoltott_meret})
        *counter = saturatingAdd(*counter, plan.downloadedBytes);
    for (auto* counter : {&jelenlegi_kihagyott_db, &osszes_kihagyott_db})
        *counter = saturatingAdd(*counter, plan.skippedFiles);
}

void DownloadStatistics::resetCurrentRun() {
    jelenlegi_letoltott_db = 0;
    jelenlegi_letoltott_meret = 0;
    jelenlegi_kihagyott_db = 0;
}

std::int64_t DownloadStatistics::allTime(AllTimeCount which) const {
    switch (which) {
    case AllTimeCount::Downloaded:
        return osszes_letoltott_db;
    case AllTimeCount::DownloadedBytes:
        return osszes_letoltott_meret;
    case AllTimeCount::Skipped:
        return osszes_kihagyott_db;
    }
    return 0;
}

void DownloadStatistics::restoreAllTime(AllTimeCount which, std::int64_t value) {
    switch (which) {
    case AllTimeCount::Downloaded:
        osszes_letoltott_db = value;
        return;
    case AllTimeCount::DownloadedBytes:
        osszes_letoltott_meret = value;
        return;
    case AllTimeCount::Skipped:
        osszes_kihagyott_db = value;
        return;
    }
}

} // namespace vardelo
