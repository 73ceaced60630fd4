#pragma once

#include <cstdint>

namespace vardelo {

struct OutcomePlan;

// The all-time counters the settings keep between runs.
enum class AllTimeCount { Downloaded, DownloadedBytes, Skipped };

// The six counters of files downloaded, bytes downloaded and links given up:
// this run's and all time's. They stop at their limit instead of wrapping.
struct DownloadStatistics {
    std::int64_t jelenlegi_letoltott_db = 0;
    std::int64_t jelenlegi_letoltott_meret = 0;
    std::int64_t jelenlegi_kihagyott_db = 0;
    std::int64_t osszes_letoltott_db = 0;
    std::int64_t osszes_letoltott_meret = 0;
    std::int64_t osszes_kihagyott_db = 0;

    // Adds what one attempt's outcome counts to both the run's and all time's.
    void count(const OutcomePlan& plan);
    // "Nullázás" and a new run: all time's counters stay.
    void resetCurrentRun();

    std::int64_t allTime(AllTimeCount which) const;
    // Start-up sets what the settings kept.
    void restoreAllTime(AllTimeCount which, std::int64_t value);

    bool operator==(const DownloadStatistics&) const = default;
};

} // namespace vardelo
