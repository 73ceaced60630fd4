#include "core/SettingsTable.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vardelo {
namespace {

TEST(SettingsOrder, ReadAndWriteOrdersCoverEveryValue) {
    const auto& read = settingsInReadOrder();
    EXPECT_EQ(read.front().readName, "osszes_letoltott_db");
    EXPECT_EQ(read.back().readName, "Elhalt");
    EXPECT_EQ(settingsWriteOrder().front(), SettingId::OsszesKihagyottDb);
    EXPECT_EQ(settingDef(SettingId::SkinEngedelyezve).readName, "Skin_engedelyezve");
    EXPECT_EQ(settingDef(SettingId::SkinEngedelyezve).writeName, "skin_engedelyezve");
    // A start at start-up already obeys the limit and the hours.
    const auto position = [&](SettingId id) {
        return std::find_if(read.begin(), read.end(), [id](auto& d) { return d.id == id; }) -
               read.begin();
    };
    for (SettingId id : {SettingId::SebessegKorlat, SettingId::Idoablak, SettingId::IdoablakKezdete,
                         SettingId::IdoablakVege, SettingId::CaptchaIdo, SettingId::CaptchaEseten,
                         SettingId::Egyszerre, SettingId::CsomagMappa, SettingId::ReszekTorlese,
                         SettingId::FuttatasCsomagUtan})
        EXPECT_LT(position(id), position(SettingId::AutomatikusLetoltes));
    EXPECT_EQ(settingsWriteOrder().back(), SettingId::FuttatasCsomagUtan);
}

TEST(SettingsDefaults, AreTheDesignedOnes) {
    EXPECT_EQ(settingDef(SettingId::SkinEngedelyezve).defaultNumber, 1);
    EXPECT_EQ(settingDef(SettingId::Skin).defaultNumber, 2);
    EXPECT_EQ(settingDef(SettingId::Ujraprobalkozasok).defaultNumber, 5);
    EXPECT_EQ(settingDef(SettingId::Elhalt).defaultNumber, 5);
    EXPECT_EQ(settingDef(SettingId::Vagolap).defaultNumber, 0);
    EXPECT_EQ(settingDef(SettingId::Egyszerre).defaultNumber, 1);
    EXPECT_EQ(settingDef(SettingId::CsomagMappa).defaultNumber, 1);
    EXPECT_EQ(settingDef(SettingId::ReszekTorlese).defaultNumber, 0);
}

TEST(SettingsNames, MatchWithoutRegardToCase) {
    EXPECT_TRUE(settingNamesMatch("Skin_engedelyezve", "skin_ENGEDELYEZVE"));
    EXPECT_FALSE(settingNamesMatch("skin", "skins"));
}

TEST(SettingsParse, NumbersMustBeDecimalIntegersOfTheirWidth) {
    EXPECT_EQ(parseStoredNumber("5", SettingKind::Integer), 5);
    EXPECT_EQ(parseStoredNumber(" -3 ", SettingKind::Integer), -3);
    EXPECT_EQ(parseStoredNumber("+7", SettingKind::Flag), 7);
    EXPECT_EQ(parseStoredNumber("5000000000", SettingKind::Counter), 5'000'000'000LL);
    EXPECT_EQ(parseStoredNumber("5000000000", SettingKind::Integer), std::nullopt);
    EXPECT_EQ(parseStoredNumber("", SettingKind::Integer), std::nullopt);
    EXPECT_EQ(parseStoredNumber("5x", SettingKind::Integer), std::nullopt);
    EXPECT_EQ(parseStoredNumber("0x10", SettingKind::Integer), std::nullopt);
    EXPECT_EQ(parseStoredNumber("true", SettingKind::Flag), std::nullopt);
    EXPECT_EQ(parseStoredNumber("99999999999999999999", SettingKind::Counter), std::nullopt);
}

TEST(SettingsClamp, RetriesAndWaitStayInTheirRanges) {
    const auto& retries = settingDef(SettingId::Ujraprobalkozasok);
    const auto& wait = settingDef(SettingId::Elhalt);
    EXPECT_EQ(clampSetting(retries, 20), 8);
    EXPECT_EQ(clampSetting(retries, 0), 1);
    EXPECT_EQ(clampSetting(wait, 99), 15);
    EXPECT_EQ(clampSetting(wait, -4), 0);
    EXPECT_EQ(clampSetting(settingDef(SettingId::Skin), 1234), 1234);
    EXPECT_EQ(clampSetting(settingDef(SettingId::SebessegKorlat), 2'000'000), 1'000'000);
    EXPECT_EQ(clampSetting(settingDef(SettingId::SebessegKorlat), -1), 0);
    EXPECT_EQ(clampSetting(settingDef(SettingId::IdoablakKezdete), 1440), 1439);
    EXPECT_EQ(clampSetting(settingDef(SettingId::IdoablakVege), -5), 0);
    EXPECT_EQ(clampSetting(settingDef(SettingId::Egyszerre), 9), 8);
    EXPECT_EQ(clampSetting(settingDef(SettingId::Egyszerre), 0), 1);
}

TEST(SettingsMessages, NameTheValue) {
    EXPECT_EQ(invalidTypeMessage("Elhalt"), "Invalid data type for 'Elhalt'");
    EXPECT_EQ(failedToSetMessage("osszes_letoltott_db"),
              "Failed to set data for 'osszes_letoltott_db'");
}

} // namespace
} // namespace vardelo
