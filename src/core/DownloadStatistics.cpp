#include "core/DownloadStatistics.h"

#include "core/OutcomePlan.h"
#include "core/Saturating.h"

namespace vardelo {
namespace {

std::int64_t DownloadStatistics::*allTimeField(AllTimeCount which) {
    switch (which) {
    case AllTimeCount::Downloaded:
        return &DownloadStatistics::osszes_letoltott_db;
    case AllTimeCount::DownloadedBytes:
        return &DownloadStatistics::osszes_letoltott_meret;
    case AllTimeCount::Skipped:
        break;
    }
    return &DownloadStatistics::osszes_kihagyott_db;
}

} // namespace

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
    return this->*allTimeField(which);
}

void DownloadStatistics::restoreAllTime(AllTimeCount which, std::int64_t value) {
    this->*allTimeField(which) = value;
}

} // namespace vardelo
