#pragma once

#include "core/SettingsTable.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace vardelo {

// What this run knows of each stored value: whether start-up read it, and what
// the window held for it before start-up. Start-up may stop before a value
// (a record file or an earlier value failed); closing then keeps what is
// stored unless the user changed that value in this run.
class SettingsRun {
  public:
    void rememberStartingValue(SettingId id, std::string value);
    void markRead(SettingId id);
    bool wasRead(SettingId id) const;

    // The text closing writes for a value that now holds `current`, or nothing
    // to leave the stored value as it is. An all-time counter start-up never
    // read adds what this run counted to the number stored now (asked of
    // `storedNow` only then); stored text that is no number is left as it is.
    using StoredText = std::function<std::optional<std::string>()>;
    std::optional<std::string> valueToWrite(SettingId id, const std::string& current,
                                            const StoredText& storedNow) const;
    // `current` is what the store now holds for the value, as valueToWrite
    // gave it: a later write adds only what was counted since.
    void noteStored(SettingId id, std::string current);

  private:
    static std::size_t index(SettingId id) { return static_cast<std::size_t>(id); }

    std::array<bool, kSettingCount> read_{};
    std::array<std::string, kSettingCount> starting_;
};

} // namespace vardelo
