#include "core/HostWaits.h"

#include "core/Duration.h"
#include "core/Saturating.h"

#include <algorithm>

namespace vardelo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::optional<std::int64_t> parseEnd(std::string_view text) {
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), isDigit))
        return std::nullopt;
    std::int64_t end = 0;
    for (const char c : text)
        end = end * 10 + (c - '0');
    return end;
}

std::optional<std::string> unescapeName(std::string_view text) {
    std::string name;
    name.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            name += text[i];
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            name += '\\';
            break;
        case 'n':
            name += '\n';
            break;
        case 'r':
            name += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return name;
}

} // namespace

void HostWaits::note(const std::string& host, std::int64_t seconds, std::int64_t now) {
    if (seconds <= 0) {
        ends_.erase(host);
        return;
    }
    ends_[host] = saturatingAdd(now, std::min(seconds, kLongestHostWaitSeconds));
}

void HostWaits::restore(const std::string& host, std::int64_t until, std::int64_t now) {
    if (until <= now)
        return;
    ends_[host] = std::min(until, saturatingAdd(now, kLongestHostWaitSeconds));
}

bool HostWaits::isWaiting(std::string_view host, std::int64_t now) const {
    return until(host, now).has_value();
}

std::optional<std::int64_t> HostWaits::until(std::string_view host, std::int64_t now) const {
    const auto found = ends_.find(host);
    if (found == ends_.end() || found->second <= now)
        return std::nullopt;
    return found->second;
}

std::optional<std::int64_t> HostWaits::earliestEnd(std::int64_t now) const {
    std::optional<std::int64_t> earliest;
    for (const auto& [host, end] : ends_) {
        if (end > now && (!earliest || end < *earliest))
            earliest = end;
    }
    return earliest;
}

void HostWaits::dropExpired(std::int64_t now) {
    std::erase_if(ends_, [now](const auto& entry) { return entry.second <= now; });
}

std::optional<std::int64_t> retryAfterSeconds(std::string_view text, std::string_view unit) {
    const std::optional<std::int64_t> seconds = durationSeconds(text, unitSeconds(unit));
    if (!seconds)
        return std::nullopt;
    return std::min(*seconds == 0 ? unitSeconds(unit) : *seconds, kLongestHostWaitSeconds);
}

std::string hostWaitsFileTooLargeMessage(std::string_view fileName) {
    return "File too large: " + std::string(fileName) + " holds more than 1 MiB";
}

std::string encodeHostWaits(const HostWaits& waits, std::int64_t now) {
    std::string text;
    for (const auto& [host, end] : waits.ends()) {
        if (end <= now)
            continue;
        text += std::to_string(end);
        text += '\t';
        for (const char c : host) {
            if (c == '\\')
                text += "\\\\";
            else if (c == '\n')
                text += "\\n";
            else if (c == '\r')
                text += "\\r";
            else
                text += c;
        }
        text += '\n';
    }
    return text;
}

HostWaits decodeHostWaits(std::string_view text, std::int64_t now) {
    HostWaits waits;
    while (!text.empty()) {
        const std::size_t lineEnd = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
        if (line.ends_with('\r')) // a file edited where lines end in CR LF
            line.remove_suffix(1);
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos)
            continue;
        const auto end = parseEnd(line.substr(0, tab));
        const auto host = unescapeName(line.substr(tab + 1));
        if (end && host)
            waits.restore(*host, *end, now);
    }
    return waits;
}

} // namespace vardelo
