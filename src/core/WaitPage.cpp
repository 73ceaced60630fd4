#include "core/WaitPage.h"

namespace vardelo {
namespace {

constexpr std::int32_t kLongestWaitSeconds = 24 * 60 * 60;

int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

} // namespace

std::optional<std::string> read_download_url(std::string_view page) {
    const auto value = textBetween(page, kWaitPageAddressMarker, kWaitPageAddressEnd);
    if (!value)
        return std::nullopt;
    return std::string(*value);
}

std::optional<std::int32_t> read_waiting_time(std::string_view page) {
    const auto value = textBetween(page, kWaitPageWaitMarker, kWaitPageWaitEnd);
    if (!value)
        return std::nullopt;
    return parseInteger(*value);
}

std::optional<std::int32_t> designedWaitSeconds(std::string_view text) {
    const std::optional<std::int32_t> seconds = parseInteger(text);
    if (!seconds || *seconds < 0 || *seconds > kLongestWaitSeconds)
        return std::nullopt;
    return seconds;
}

std::optional<std::string_view> textBetween(std::string_view page, std::string_view marker,
                                            std::string_view terminator) {
    const std::size_t at = page.find(marker);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::size_t start = at + marker.size();
    if (start >= page.size())
        return std::nullopt;
    const std::size_t end = page.find(terminator, start + 1);
    if (end == std::string_view::npos)
        return std::nullopt;
    return page.substr(start, end - start);
}

std::optional<std::int32_t> parseInteger(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;
    std::int64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i], base);
        if (digit < 0)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > 2147483648LL)
            return std::nullopt;
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value > 2147483647LL)
        return std::nullopt;
    return static_cast<std::int32_t>(value);
}

} // namespace vardelo
