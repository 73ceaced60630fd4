#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vardelo {

// The "0.##" pattern: the integer part always, at most two decimals rounded
// half away from zero, trailing zeros dropped, the given decimal separator.
std::string formatUpToTwoDecimals(double value, std::string_view decimalSeparator);

// A byte count in mebibytes, "0.##" then " MB" ("1.5 MB", "0 MB").
std::string sizeText(std::int64_t bytes, std::string_view decimalSeparator);

// The transferred amount: the gauge's whole percent times a hundredth of the
// size, " / ", the size, " MB" ("1.5 / 3 MB"), so it moves in percent steps.
std::string transferredText(int percent, std::int64_t size, std::string_view decimalSeparator);

// Whole percent of `received` against `size` (above the size counts as the
// size), 0 when the size is not positive.
int wholePercent(std::int64_t received, std::int64_t size);

} // namespace vardelo
