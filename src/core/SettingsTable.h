#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vardelo {

enum class SettingId {
    OsszesLetoltottDb,
    OsszesKihagyottDb,
    OsszesLetoltottMeret,
    SkinEngedelyezve,
    Skin,
    MentesHelye,
    AutomatikusLetoltes,
    Vagolap,
    Ujraprobalkozasok,
    Elhalt,
    SebessegKorlat,
    Idoablak,
    IdoablakKezdete,
    IdoablakVege,
    CaptchaIdo,
    CaptchaEseten,
    Egyszerre,
    CsomagMappa,
    ReszekTorlese,
    FuttatasCsomagUtan,
};

inline constexpr std::size_t kSettingCount = 20;

// What the cycle does with a page that asks for a captcha.
enum class CaptchaChoice { Wait = 0, Skip = 1 };

enum class SettingKind {
    Integer, // signed 32-bit
    Counter, // all-time statistics: signed 64-bit, so totals past 2 GiB stay right
    Flag,    // 0 or 1 when written; any non-zero number reads as true
    Text,
};

struct SettingDef {
    SettingId id;
    std::string_view readName;  // the name start-up looks for
    std::string_view writeName; // the name closing writes (differs only in case)
    SettingKind kind;
    std::int64_t defaultNumber; // integers, counters and flags
    std::int64_t minimum;
    std::int64_t maximum;
    // A stored text where a number belongs reads as the default instead of
    // stopping start-up (the speed limit and the download hours).
    bool textReadsAsDefault = false;
};

// The values in the order start-up reads them.
const std::array<SettingDef, kSettingCount>& settingsInReadOrder();
// The order closing writes them.
const std::array<SettingId, kSettingCount>& settingsWriteOrder();
const SettingDef& settingDef(SettingId id);

// Stored names match without regard to letter case.
bool settingNamesMatch(std::string_view a, std::string_view b);

// A stored integer, counter or flag must be a decimal integer of its width;
// anything else is the wrong type. Blanks around it are tolerated.
std::optional<std::int64_t> parseStoredNumber(std::string_view text, SettingKind kind);

// Integers with a range are brought into it; others pass unchanged.
std::int64_t clampSetting(const SettingDef& def, std::int64_t value);

class SettingsError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::string failedToSetMessage(std::string_view name);
std::string failedToGetMessage(std::string_view name);
std::string invalidTypeMessage(std::string_view name);

} // namespace vardelo
