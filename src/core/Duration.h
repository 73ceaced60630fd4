#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace vardelo {

// The longest wait a page may ask for: a longer one counts as this.
inline constexpr std::int64_t kLongestWaitSeconds = 24 * 60 * 60;

// The seconds in one of a reader's units ("s", "min" or "h"; anything else
// is seconds).
std::int64_t unitSeconds(std::string_view unit);

// A waiting time as people write it, from its first digit on: "65", "01:05"
// (minutes and seconds), "1:00:05", "1 min 5 s", "1 perc 5 mp", "2 hours",
// "1h 5m". A number with no unit after it counts in `bareUnit` seconds when
// it comes first, in the unit below the one before it otherwise. A fraction
// ("1,5" or "1.5") rounds its unit up, as a host showing whole units still
// counts what lies below one. Reading ends at the first word that is no
// unit. Over a day counts as a day; nothing when the text holds no number.
std::optional<std::int64_t> durationSeconds(std::string_view text, std::int64_t bareUnit);

} // namespace vardelo
