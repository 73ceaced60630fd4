#include "core/SizeText.h"

#include <cmath>

namespace vardelo {

std::string formatUpToTwoDecimals(double value, std::string_view decimalSeparator) {
    if (!std::isfinite(value))
        return "0";
    const long double hundredths = std::round(static_cast<long double>(value) * 100.0L);
    const bool negative = hundredths < 0;
    const long double magnitude = negative ? -hundredths : hundredths;
    const auto whole = static_cast<unsigned long long>(magnitude / 100.0L);
    const auto fraction =
        static_cast<unsigned>(magnitude - static_cast<long double>(whole) * 100.0L);

    std::string text = negative ? "-" : "";
    text += std::to_string(whole);
    if (fraction != 0) {
        text += decimalSeparator;
        text += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            text += static_cast<char>('0' + fraction % 10);
    }
    return text;
}

std::string sizeText(std::int64_t bytes, std::string_view decimalSeparator) {
    return formatUpToTwoDecimals(static_cast<double>(bytes) / 1024.0 / 1024.0, decimalSeparator) +
           " MB";
}

} // namespace vardelo
