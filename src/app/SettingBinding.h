#pragma once

#include "core/SettingsTable.h"

#include <cstdint>
#include <functional>
#include <string>

namespace vardelo {

// How one stored value meets the window: put into its control or counter at
// start-up, taken from there at closing.
struct SettingBinding {
    // Takes the stored value, checked as its kind says: `number` for integers,
    // counters and flags (already brought into range), `text` for texts.
    using Apply = std::function<void(std::int64_t number, const std::string& text)>;

    SettingId id;
    Apply apply;
    std::function<std::string()> valueToStore;
};

} // namespace vardelo
