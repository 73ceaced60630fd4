#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// The speed of a transfer, averaged over the last few seconds of samples, so
// one slow or fast moment does not make the figure jump.
class TransferRate {
  public:
    explicit TransferRate(std::int64_t windowMs = 5000) : windowMs_(windowMs) {}

    void reset() { samples_.clear(); }
    // The bytes received so far at a moment (milliseconds of any clock).
    void sample(std::int64_t nowMs, std::int64_t received);

    // Nothing until two samples lie apart in time.
    std::optional<double> bytesPerSecond() const;
    // Nothing when the size or the speed is unknown, or the speed is 0.
    std::optional<std::int64_t> secondsLeft(std::int64_t total) const;

  private:
    struct Sample {
        std::int64_t ms;
        std::int64_t bytes;
    };
    std::int64_t windowMs_;
    std::deque<Sample> samples_;
};

// "1,5 MiB/s, még 0:42", "850 KiB/s", "12 B/s, még 1:02:03": the speed in
// binary units, named as the speed limit's setting names them, with the
// sizes' decimal separator, then the time left when it is known.
std::string rateText(double bytesPerSecond, std::optional<std::int64_t> secondsLeft,
                     std::string_view decimalSeparator);

} // namespace vardelo
