#include "core/Duration.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <string>

namespace vardelo {
namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A unit's word: ASCII letters and the bytes of any non-ASCII letter.
bool isWordByte(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || byte >= 0x80;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// English and Hungarian names, as hosts and their translations write them.
std::int64_t secondsOfWord(std::string_view word) {
    struct Unit {
        std::string_view name;
        std::int64_t seconds;
    };
    static constexpr Unit kUnits[] = {
        {"s", 1},
        {"sec", 1},
        {"secs", 1},
        {"second", 1},
        {"seconds", 1},
        {"mp", 1},
        {"másodperc", 1},
        {"másodpercet", 1},
        {"m", kMinute},
        {"min", kMinute},
        {"mins", kMinute},
        {"minute", kMinute},
        {"minutes", kMinute},
        {"p", kMinute},
        {"perc", kMinute},
        {"percet", kMinute},
        {"h", kHour},
        {"hr", kHour},
        {"hrs", kHour},
        {"hour", kHour},
        {"hours", kHour},
        {"ó", kHour},
        {"óra", kHour},
        {"órát", kHour},
        {"d", kDay},
        {"day", kDay},
        {"days", kDay},
        {"nap", kDay},
        {"napot", kDay},
        {"Óra", kHour},
        {"Perc", kMinute},
    };
    const std::string lower = asciiLower(word);
    for (const Unit& unit : kUnits) {
        if (unit.name == lower)
            return unit.seconds;
    }
    return 0;
}

std::int64_t unitBelow(std::int64_t unit) {
    return unit >= kDay ? kHour : unit >= kHour ? kMinute : 1;
}

// Digits at `at` as a number, held below a day's seconds plus one so that
// no sum or product overflows.
std::int64_t readNumber(std::string_view text, std::size_t& at) {
    std::int64_t value = 0;
    for (; at < text.size() && isDigit(text[at]); ++at)
        value = std::min(value * 10 + (text[at] - '0'), kDay + 1);
    return value;
}

// A fraction after the number, only where a digit follows its mark ("wait
// 5." ends a sentence); true when it is not all zeros.
bool readFraction(std::string_view text, std::size_t& at) {
    if (at + 1 >= text.size() || (text[at] != '.' && text[at] != ',') || !isDigit(text[at + 1]))
        return false;
    ++at;
    bool nonZero = false;
    for (; at < text.size() && isDigit(text[at]); ++at)
        nonZero = nonZero || text[at] != '0';
    return nonZero;
}

void skipBlanks(std::string_view text, std::size_t& at) {
    while (at < text.size() && isBlank(text[at]))
        ++at;
}

// "01:05" or "1:00:05", read from `at`; nothing when no colon and digit
// follow the first number.
std::optional<std::int64_t> readClock(std::string_view text, std::size_t at) {
    std::int64_t total = readNumber(text, at);
    int parts = 1;
    while (parts < 3 && at + 1 < text.size() && text[at] == ':' && isDigit(text[at + 1])) {
        ++at;
        total = std::min(total * 60 + readNumber(text, at), kDay + 1);
        ++parts;
    }
    if (parts == 1)
        return std::nullopt;
    return total;
}

} // namespace

std::int64_t unitSeconds(std::string_view unit) {
    if (unit == "min")
        return kMinute;
    if (unit == "h")
        return kHour;
    return 1;
}

std::optional<std::int64_t> durationSeconds(std::string_view text, std::int64_t bareUnit) {
    std::size_t at = 0;
    while (at < text.size() && !isDigit(text[at]))
        ++at;
    if (at == text.size())
        return std::nullopt;
    if (const auto clock = readClock(text, at))
        return std::min(*clock, kLongestWaitSeconds);
    std::int64_t total = 0;
    std::int64_t bare = std::max<std::int64_t>(bareUnit, 1);
    while (at < text.size() && isDigit(text[at]) && total <= kDay) {
        const std::int64_t number = readNumber(text, at);
        const bool roundsUp = readFraction(text, at);
        skipBlanks(text, at);
        const std::size_t wordStart = at;
        while (at < text.size() && isWordByte(text[at]))
            ++at;
        const std::int64_t unit = secondsOfWord(text.substr(wordStart, at - wordStart));
        total += (number + (roundsUp ? 1 : 0)) * (unit > 0 ? unit : bare);
        if (unit == 0)
            break; // a bare number ends the time
        bare = unitBelow(unit);
        while (at < text.size() && (isBlank(text[at]) || text[at] == '.' || text[at] == ','))
            ++at;
    }
    return std::min(total, kLongestWaitSeconds);
}

} // namespace vardelo
