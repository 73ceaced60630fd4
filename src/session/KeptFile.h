#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace vardelo {

// A small file kept beside the records, read whole. Nothing when there is no
// file; a file that is there but does not read (too large, not ours, not of
// its format: `decode` gives nothing) is told on standard error and in the
// log and sets `unread`, so that it is never written over with less.
template <typename Kept>
Kept loadKeptFile(const QString& path, std::int64_t limit, const char* notOfItsFormat,
                  const std::function<std::optional<Kept>(const std::string&)>& decode,
                  bool* unread);

// Writes it whole as the record files are written; false (told) when it could not.
bool saveKeptFile(const QString& path, const std::function<std::string()>& encode);

// The line on standard error and in the log for a kept file that was not
// read or saved.
void tellKeptFile(const QString& path, const char* what, const char* why);

// What loadKeptFile reads, without the template: the bytes, or nothing
// for no file; throws what the read throws.
std::optional<std::string> readKeptBytes(const QString& path, std::int64_t limit);

template <typename Kept>
Kept loadKeptFile(const QString& path, std::int64_t limit, const char* notOfItsFormat,
                  const std::function<std::optional<Kept>(const std::string&)>& decode,
                  bool* unread) {
    *unread = false;
    try {
        const std::optional<std::string> bytes = readKeptBytes(path, limit);
        if (!bytes)
            return {};
        if (std::optional<Kept> kept = decode(*bytes))
            return std::move(*kept);
        tellKeptFile(path, "read", notOfItsFormat);
    } catch (const std::exception& error) {
        tellKeptFile(path, "read", error.what());
    }
    *unread = true;
    return {};
}

} // namespace vardelo
