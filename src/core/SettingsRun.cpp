#include "core/SettingsRun.h"

#include "core/Saturating.h"

#include <utility>

namespace vardelo {

void SettingsRun::rememberStartingValue(SettingId id, std::string value) {
    starting_[index(id)] = std::move(value);
}

void SettingsRun::markRead(SettingId id) {
    read_[index(id)] = true;
}

bool SettingsRun::wasRead(SettingId id) const {
    return read_[index(id)];
}

std::optional<std::string> SettingsRun::valueToWrite(SettingId id, const std::string& current,
                                                     const StoredText& storedNow) const {
    if (wasRead(id))
        return current;
    const std::string& starting = starting_[index(id)];
    if (current == starting)
        return std::nullopt;
    if (settingDef(id).kind != SettingKind::Counter)
        return current;
    const auto now = parseStoredNumber(current, SettingKind::Counter);
    const auto before = parseStoredNumber(starting, SettingKind::Counter);
    const std::optional<std::string> storedText = storedNow();
    const auto stored = storedText ? parseStoredNumber(*storedText, SettingKind::Counter)
                                   : std::optional<std::int64_t>(0);
    if (!now || !before || !stored)
        return std::nullopt;
    return std::to_string(saturatingAdd(*stored, saturatingSubtract(*now, *before)));
}

void SettingsRun::noteStored(SettingId id, std::string current) {
    if (!wasRead(id))
        starting_[index(id)] = std::move(current);
}

} // namespace vardelo
