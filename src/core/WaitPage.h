#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// Reading the file host's wait page: the file address from the action of the
// form named dlf, and the waiting time from the script's "var c=N;". Both
// searches are exact, case-sensitive, independent and take the first
// occurrence; the first character after a marker is always taken.
std::optional<std::string> read_download_url(std::string_view page);
std::optional<std::int32_t> read_waiting_time(std::string_view page);

// The readers' markers and terminators.
inline constexpr std::string_view kWaitPageAddressMarker = "<form name=\"dlf\" action=\"";
inline constexpr std::string_view kWaitPageAddressEnd = "\"";
inline constexpr std::string_view kWaitPageWaitMarker = "var c=";
inline constexpr std::string_view kWaitPageWaitEnd = ";";

// A wait the built-in steps count down: the text by the runtime's integer
// conversion, from none to a day (a wait page asking for more is not one
// the host would send).
std::optional<std::int32_t> designedWaitSeconds(std::string_view text);

// The text from just after the first `marker` up to (not including) the next
// `terminator`, where the first character is taken whatever it is: the
// designed readers' search, which host profiles use with markers of their own.
std::optional<std::string_view> textBetween(std::string_view page, std::string_view marker,
                                            std::string_view terminator);

// The runtime's string-to-integer conversion: leading blanks, one sign,
// decimal digits or hexadecimal after "$" or "0x"; signed 32-bit range.
std::optional<std::int32_t> parseInteger(std::string_view text);

} // namespace vardelo
