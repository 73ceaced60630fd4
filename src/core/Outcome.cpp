#include "core/Outcome.h"

#include <charconv>

namespace vardelo {

int attemptsFromCell(std::string_view cell) {
    int value = 0;
    const auto* end = cell.data() + cell.size();
    const auto [ptr, ec] = std::from_chars(cell.data(), end, value);
    if (cell.empty() || ec != std::errc{} || ptr != end)
        return 0;
    return value;
}

bool shouldRequeue(int queueRowCount, int attempts, int retries) {
    return queueRowCount != 2 && static_cast<long long>(attempts) + 1 < retries;
}

LogEntry successEntry(std::string url, std::string sizeText) {
    return {std::move(url), kStatusSuccess, std::move(sizeText), "Próbálva:1"};
}

LogEntry givenUpEntry(std::string url, OutcomeKind kind, int retries) {
    std::string attempts = "Próbálva:" + std::to_string(retries);
    if (kind == OutcomeKind::WaitPageUnreadable)
        attempts += " (Másik rapidos szál futott.)";
    else if (kind == OutcomeKind::TransferFailed)
        attempts += " (Letöltési hiba.)";
    return {std::move(url), kStatusFailed, kSizeUnknown, std::move(attempts)};
}

std::string link_kiszed(std::string_view url) {
    const std::size_t slash = url.rfind('/');
    return std::string(slash == std::string_view::npos ? url : url.substr(slash + 1));
}

} // namespace vardelo
