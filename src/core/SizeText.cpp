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

int wholePercent(std::int64_t received, std::int64_t size) {
    if (size <= 0 || received <= 0)
        return 0;
    if (received >= size)
        return 100;
    return static_cast<int>(static_cast<long double>(received) * 100.0L /
                            static_cast<long double>(size));
}

std::string transferredText(int percent, std::int64_t size, std::string_view decimalSeparator) {
    const double mebibytes = static_cast<double>(size) / 1024.0 / 1024.0;
    return formatUpToTwoDecimals(percent * (mebibytes / 100.0), decimalSeparator) + " / " +
           formatUpToTwoDecimals(mebibytes, decimalSeparator) + " MB";
}

} // namespace vardelo
