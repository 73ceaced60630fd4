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

} // namespace vardelo
