#pragma once

#include <cstdint>

namespace vardelo {

// Keeps a body's arrival at or below a limit: after each piece it says how
// long to wait before reading on. The limit may change at any call; a new
// limit counts from the moment it is first seen.
class ReceivePacer {
  public:
    // `limit` in bytes a second, 0 for none; `received` is the body's bytes
    // so far at `nowMs`. The result is in milliseconds.
    std::int64_t waitMs(std::int64_t limit, std::int64_t nowMs, std::int64_t received);

  private:
    std::int64_t limit_ = 0;
    std::int64_t fromMs_ = 0;
    std::int64_t fromBytes_ = 0;
};

} // namespace vardelo
