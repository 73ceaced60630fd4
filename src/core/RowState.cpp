#include "core/RowState.h"

#include "core/SizeText.h"
#include "core/TransferRate.h"

#include <algorithm>
#include <cstdio>

namespace vardelo {
namespace {

std::string minutesAndSeconds(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
    return text;
}

std::string transferText(const RowState& state, std::string_view decimalSeparator) {
    std::string text;
    if (state.expected > 0)
        text = std::to_string(wholePercent(state.received, state.expected)) + " %";
    if (state.bytesPerSecond) {
        if (!text.empty())
            text += ' ';
        text += rateText(*state.bytesPerSecond, std::nullopt, decimalSeparator);
    }
    return text.empty() ? "Letöltés" : text;
}

} // namespace

std::string rowStateText(const RowState& state, std::string_view decimalSeparator) {
    switch (state.kind) {
    case RowState::Kind::None:
        return {};
    case RowState::Kind::Page:
        return "Weblap";
    case RowState::Kind::Countdown:
        return "Várakozás " + minutesAndSeconds(state.secondsLeft);
    case RowState::Kind::Captcha:
        return "Captcha";
    case RowState::Kind::Transfer:
        return transferText(state, decimalSeparator);
    case RowState::Kind::HostWait:
        return "Vár " + state.until + "-ig";
    case RowState::Kind::DeadLinkWait:
        return "Vár " + minutesAndSeconds(state.secondsLeft);
    }
    return {};
}

} // namespace vardelo
