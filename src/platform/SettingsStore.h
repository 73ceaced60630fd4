#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// The per-user store of the program's ten named values. Names match without
// regard to letter case. Failures throw SettingsError with the store's
// messages ("Failed to set data for '%s'", ...).
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;

    // The stored text of the value, or nothing when it does not exist.
    virtual std::optional<std::string> read(std::string_view name) = 0;

    // Leaves exactly one value of that name, holding `text`.
    virtual void write(std::string_view name, const std::string& text) = 0;
};

} // namespace vardelo
