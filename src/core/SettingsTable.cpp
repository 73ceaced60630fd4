#include "core/SettingsTable.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <charconv>
#include <limits>

namespace vardelo {
namespace {

constexpr std::int64_t kNoLimitLow = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kNoLimitHigh = std::numeric_limits<std::int64_t>::max();

constexpr std::int64_t kLastMinuteOfDay = 24 * 60 - 1;

// The speed limit and the download hours come before auto-start: a start
// at start-up already obeys them.
constexpr std::array<SettingDef, kSettingCount> kReadOrder = {{
    {SettingId::OsszesLetoltottDb, "osszes_letoltott_db", "osszes_letoltott_db",
     SettingKind::Counter, 0, kNoLimitLow, kNoLimitHigh},
    {SettingId::OsszesKihagyottDb, "osszes_kihagyott_db", "osszes_kihagyott_db",
     SettingKind::Counter, 0, kNoLimitLow, kNoLimitHigh},
    {SettingId::OsszesLetoltottMeret, "osszes_letoltott_meret", "osszes_letoltott_meret",
     SettingKind::Counter, 0, kNoLimitLow, kNoLimitHigh},
    {SettingId::SkinEngedelyezve, "Skin_engedelyezve", "skin_engedelyezve", SettingKind::Flag, 1,
     kNoLimitLow, kNoLimitHigh},
    {SettingId::Skin, "skin", "skin", SettingKind::Integer, 2, kNoLimitLow, kNoLimitHigh},
    {SettingId::MentesHelye, "Mentes_helye", "Mentes_helye", SettingKind::Text, 0, 0, 0},
    {SettingId::SebessegKorlat, "Sebesseg_korlat", "Sebesseg_korlat", SettingKind::Integer, 0, 0,
     1'000'000, true},
    {SettingId::Idoablak, "Idoablak", "Idoablak", SettingKind::Flag, 0, kNoLimitLow, kNoLimitHigh,
     true},
    // Minutes after midnight.
    {SettingId::IdoablakKezdete, "Idoablak_kezdete", "Idoablak_kezdete", SettingKind::Integer,
     22 * 60, 0, kLastMinuteOfDay, true},
    {SettingId::IdoablakVege, "Idoablak_vege", "Idoablak_vege", SettingKind::Integer, 6 * 60, 0,
     kLastMinuteOfDay, true},
    // Minutes the user has for a captcha.
    {SettingId::CaptchaIdo, "Captcha_ido", "Captcha_ido", SettingKind::Integer, 5, 1, 60, true},
    {SettingId::CaptchaEseten, "Captcha_eseten", "Captcha_eseten", SettingKind::Integer, 0, 0, 1,
     true},
    // Links downloaded at once.
    {SettingId::Egyszerre, "Egyszerre", "Egyszerre", SettingKind::Integer, 1, 1, 8, true},
    // Packages: a folder each, the parts kept, no program after them.
    {SettingId::CsomagMappa, "Csomag_mappa", "Csomag_mappa", SettingKind::Flag, 1, kNoLimitLow,
     kNoLimitHigh, true},
    {SettingId::ReszekTorlese, "Reszek_torlese", "Reszek_torlese", SettingKind::Flag, 0,
     kNoLimitLow, kNoLimitHigh, true},
    {SettingId::FuttatasCsomagUtan, "Futtatas_csomag_utan", "Futtatas_csomag_utan",
     SettingKind::Text, 0, 0, 0},
    {SettingId::AutomatikusLetoltes, "Automatikus_letoltes", "Automatikus_letoltes",
     SettingKind::Flag, 0, kNoLimitLow, kNoLimitHigh},
    {SettingId::Vagolap, "Vagolap", "Vagolap", SettingKind::Flag, 0, kNoLimitLow, kNoLimitHigh},
    {SettingId::Ujraprobalkozasok, "Ujraprobalkozasok", "Ujraprobalkozasok", SettingKind::Integer,
     5, 1, 8},
    {SettingId::Elhalt, "Elhalt", "Elhalt", SettingKind::Integer, 5, 0, 15},
}};

constexpr std::array<SettingId, kSettingCount> kWriteOrder = {
    SettingId::OsszesKihagyottDb,
    SettingId::OsszesLetoltottMeret,
    SettingId::OsszesLetoltottDb,
    SettingId::SkinEngedelyezve,
    SettingId::Skin,
    SettingId::MentesHelye,
    SettingId::AutomatikusLetoltes,
    SettingId::Vagolap,
    SettingId::Ujraprobalkozasok,
    SettingId::Elhalt,
    SettingId::SebessegKorlat,
    SettingId::Idoablak,
    SettingId::IdoablakKezdete,
    SettingId::IdoablakVege,
    SettingId::CaptchaIdo,
    SettingId::CaptchaEseten,
    SettingId::Egyszerre,
    SettingId::CsomagMappa,
    SettingId::ReszekTorlese,
    SettingId::FuttatasCsomagUtan,
};

char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view trimBlanks(std::string_view text) {
    const auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string withName(std::string_view pattern, std::string_view name) {
    std::string message(pattern);
    message.replace(message.find("%s"), 2, name);
    return message;
}

} // namespace

const std::array<SettingDef, kSettingCount>& settingsInReadOrder() {
    return kReadOrder;
}

const std::array<SettingId, kSettingCount>& settingsWriteOrder() {
    return kWriteOrder;
}

const SettingDef& settingDef(SettingId id) {
    return *std::find_if(kReadOrder.begin(), kReadOrder.end(),
                         [id](const SettingDef& def) { return def.id == id; });
}

bool settingNamesMatch(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

std::optional<std::int64_t> parseStoredNumber(std::string_view text, SettingKind kind) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc{} || ptr != end)
        return std::nullopt;
    if (kind != SettingKind::Counter && (value < std::numeric_limits<std::int32_t>::min() ||
                                         value > std::numeric_limits<std::int32_t>::max()))
        return std::nullopt;
    return value;
}

std::int64_t clampSetting(const SettingDef& def, std::int64_t value) {
    return std::clamp(value, def.minimum, def.maximum);
}

std::string failedToSetMessage(std::string_view name) {
    return withName("Failed to set data for '%s'", name);
}

std::string failedToGetMessage(std::string_view name) {
    return withName("Failed to get data for '%s'", name);
}

std::string invalidTypeMessage(std::string_view name) {
    return withName("Invalid data type for '%s'", name);
}

} // namespace vardelo
