#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// The longest a host may make its links wait: a longer time counts as this.
inline constexpr std::int64_t kLongestHostWaitSeconds = 24 * 60 * 60;

// The waits' file beside Lista.Vdl and Naplo.Vdl. A few lines a host; a
// larger file is no file of ours and is not read.
inline constexpr char kHostWaitsFileName[] = "HostWaits.Vdl";
inline constexpr std::int64_t kHostWaitsFileLimit = std::int64_t{1} << 20;
std::string hostWaitsFileTooLargeMessage(std::string_view fileName);

// Until when (seconds since the epoch) each host asked its links to wait. A
// host is the key its links share: a profile's name for the links it claims.
// Times come in from the caller, so the clock is the caller's.
class HostWaits {
  public:
    // The host asked at `now` to wait `seconds` (capped at a day; zero or
    // less lifts its wait). The newest answer replaces an earlier one, also
    // when it is sooner: it is what the host says now.
    void note(const std::string& host, std::int64_t seconds, std::int64_t now);

    // An end read back from storage: kept only while it lies ahead, and never
    // further than a day from `now`, so a clock set back or an edited file
    // cannot hold a host for longer than a host could ask.
    void restore(const std::string& host, std::int64_t until, std::int64_t now);

    bool isWaiting(std::string_view host, std::int64_t now) const;
    // The end of the host's wait; nothing when it is not waiting.
    std::optional<std::int64_t> until(std::string_view host, std::int64_t now) const;
    // The soonest end among the hosts still waiting at `now`.
    std::optional<std::int64_t> earliestEnd(std::int64_t now) const;
    void dropExpired(std::int64_t now);

    // Every host with its end, the expired ones included until dropped.
    const std::map<std::string, std::int64_t, std::less<>>& ends() const { return ends_; }

  private:
    std::map<std::string, std::int64_t, std::less<>> ends_;
};

// The seconds a `retry_after` reader's text asks for, read as
// durationSeconds reads it, a bare number in `unit` ("s", "min" or "h").
// Zero counts as one unit: the host is still counting what lies below one.
// Nothing when the text holds no number.
std::optional<std::int64_t> retryAfterSeconds(std::string_view text, std::string_view unit);

// The stored form: one line per host still waiting at `now`, its end and its
// name, a tab between them; in a name a backslash is written as \\, a line
// feed as \n and a carriage return as \r.
std::string encodeHostWaits(const HostWaits& waits, std::int64_t now);
// Reads the stored form back as `restore` does; a line that does not read is
// skipped.
HostWaits decodeHostWaits(std::string_view text, std::int64_t now);

} // namespace vardelo
