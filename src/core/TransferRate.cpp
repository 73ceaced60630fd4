#include "core/TransferRate.h"

#include "core/SizeText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vardelo {

void TransferRate::sample(std::int64_t nowMs, std::int64_t received) {
    if (!samples_.empty() && (nowMs < samples_.back().ms || received < samples_.back().bytes))
        samples_.clear(); // a clock or a body that went back: a new transfer
    samples_.push_back({nowMs, received});
    // Keep the newest sample older than the window as the average's start.
    while (samples_.size() > 2 && nowMs - samples_[1].ms >= windowMs_)
        samples_.pop_front();
}

std::optional<double> TransferRate::bytesPerSecond() const {
    if (samples_.size() < 2)
        return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    if (last.ms <= first.ms)
        return std::nullopt;
    return static_cast<double>(last.bytes - first.bytes) * 1000.0 /
           static_cast<double>(last.ms - first.ms);
}

std::optional<std::int64_t> TransferRate::secondsLeft(std::int64_t total) const {
    const auto rate = bytesPerSecond();
    if (!rate || *rate <= 0 || total <= 0 || samples_.empty())
        return std::nullopt;
    const std::int64_t left = total - samples_.back().bytes;
    if (left < 0)
        return std::nullopt;
    return static_cast<std::int64_t>(std::ceil(static_cast<double>(left) / *rate));
}

std::string rateText(double bytesPerSecond, std::optional<std::int64_t> secondsLeft,
                     std::string_view decimalSeparator) {
    const auto number = [decimalSeparator](double value) {
        return formatUpToTwoDecimals(value, decimalSeparator);
    };
    std::string text;
    if (bytesPerSecond >= 1024.0 * 1024.0)
        text = number(std::round(bytesPerSecond / 104857.6) / 10.0) + " MiB/s";
    else if (bytesPerSecond >= 1024.0)
        text = number(std::round(bytesPerSecond / 1024.0)) + " KiB/s";
    else
        text = number(std::round(std::max(bytesPerSecond, 0.0))) + " B/s";
    if (!secondsLeft)
        return text;
    const std::int64_t s = *secondsLeft;
    char left[48];
    if (s >= 3600)
        std::snprintf(left, sizeof left, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(s / 60),
                      static_cast<long long>(s % 60));
    return text + ", még " + left;
}

} // namespace vardelo
