#include "core/SettingsRun.h"
#include "core/Saturating.h"

#include <gtest/gtest.h>

#include <limits>

namespace vardelo {
namespace {

using Stored = std::optional<std::string>;

SettingsRun startedWith(SettingId id, const std::string& value) {
    SettingsRun run;
    run.rememberStartingValue(id, value);
    return run;
}

TEST(SettingsOfOneRun, ValuesReadAtStartUpAreAlwaysWritten) {
    SettingsRun run = startedWith(SettingId::Elhalt, "5");
    run.markRead(SettingId::Elhalt);
    EXPECT_EQ(run.valueToWrite(SettingId::Elhalt, "5", [] { return Stored(); }), "5");
}

TEST(SettingsOfOneRun, AnUnreadValueIsWrittenOnlyWhenTheUserChangedIt) {
    const SettingsRun run = startedWith(SettingId::Ujraprobalkozasok, "3");
    EXPECT_EQ(run.valueToWrite(SettingId::Ujraprobalkozasok, "3", [] { return Stored("7"); }),
              std::nullopt);
    EXPECT_EQ(run.valueToWrite(SettingId::Ujraprobalkozasok, "4", [] { return Stored("7"); }), "4");
}

TEST(SettingsOfOneRun, AnUnreadCounterAddsThisRunsCountToWhatIsStored) {
    const SettingsRun run = startedWith(SettingId::OsszesLetoltottMeret, "0");
    const auto write = [&](const Stored& stored) {
        return run.valueToWrite(SettingId::OsszesLetoltottMeret, "300", [&] { return stored; });
    };
    EXPECT_EQ(write(Stored("1000")), "1300");
    EXPECT_EQ(write(Stored()), "300");              // missing: this run's count
    EXPECT_EQ(write(Stored("lots")), std::nullopt); // the user's text stays
    EXPECT_EQ(write(Stored("9223372036854775800")), "9223372036854775807");
}

TEST(Saturating, StopsAtBothEnds) {
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(saturatingAdd(kMax - 1, 5), kMax);
    EXPECT_EQ(saturatingAdd(kMin + 1, -5), kMin);
    EXPECT_EQ(saturatingSubtract(kMin, 1), kMin);
    EXPECT_EQ(saturatingSubtract(kMax, -1), kMax);
    EXPECT_EQ(saturatingAdd(2, -3), -1);
}

} // namespace
} // namespace vardelo
