#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// What a queued link is doing now, for its "Állapot" cell.
struct RowState {
    enum class Kind {
        None,        // queued, nothing going on
        Page,        // its pages are loading or being read
        Countdown,   // the host's free-user wait counts down
        Captcha,     // the user is asked to solve a captcha
        Transfer,    // the file is arriving
        HostWait,    // its host asked to wait until a time
        DeadLinkWait // its host's last link failed: it waits the seconds after one
    };
    Kind kind = Kind::None;
    std::int64_t secondsLeft = 0;         // Countdown, DeadLinkWait
    std::int64_t received = 0;            // Transfer
    std::int64_t expected = 0;            // Transfer: 0 when unknown
    std::optional<double> bytesPerSecond; // Transfer, once measured
    std::string until;                    // HostWait: "HH:MM"
};

// "Weblap", "Várakozás 0:42", "Captcha", "45 % 2,3 MiB/s", "Vár 10:45-ig",
// "Vár 0:05";
// empty for a row where nothing goes on.
std::string rowStateText(const RowState& state, std::string_view decimalSeparator);

} // namespace vardelo
