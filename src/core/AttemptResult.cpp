#include "core/AttemptResult.h"

namespace vardelo {

FailureReason transferFailure(bool refusedAddress, int httpStatus, const std::string& error) {
    if (refusedAddress)
        return {FailureKind::RefusedAddress, error};
    // The status of the last answer: a connection lost after a 200, or a
    // redirect too many, is told better by the transfer's own text.
    if (httpStatus >= 400)
        return {FailureKind::HttpStatus, "HTTP " + std::to_string(httpStatus)};
    return {FailureKind::Network, error};
}

const char* failureKindName(FailureKind kind) {
    switch (kind) {
    case FailureKind::None:
        return "none";
    case FailureKind::Network:
        return "network";
    case FailureKind::HttpStatus:
        return "http-status";
    case FailureKind::LocalFile:
        return "local-file";
    case FailureKind::RefusedAddress:
        return "refused-address";
    case FailureKind::PageStep:
        return "page-step";
    case FailureKind::WebPage:
        return "web-page";
    }
    return "unknown";
}

std::string failureText(const FailureReason& reason) {
    const char* lead = "";
    switch (reason.kind) {
    case FailureKind::None:
        return {};
    case FailureKind::Network:
        lead = "Hálózati hiba: ";
        break;
    case FailureKind::HttpStatus:
        lead = "A szerver válasza: ";
        break;
    case FailureKind::LocalFile:
        lead = "Helyi fájlhiba: ";
        break;
    case FailureKind::RefusedAddress:
        lead = "Elutasított cím: ";
        break;
    case FailureKind::PageStep:
        lead = "Weblap hiba: ";
        break;
    case FailureKind::WebPage:
        lead = "A fájl helyett weblap érkezett: ";
        break;
    }
    return lead + reason.text;
}

void RunFailures::record(const std::string& link, const AttemptResult& result) {
    if (result.outcome == OutcomeKind::Success) {
        reasons_.erase(link);
        return;
    }
    std::string line = failureText(result.reason);
    if (line.empty())
        return; // no reason was given
    auto& lines = reasons_[link];
    lines.push_back(std::move(line));
    if (lines.size() > kKeptPerLink)
        lines.pop_front();
}

std::string RunFailures::reasonsOf(const std::string& link) const {
    const auto found = reasons_.find(link);
    std::string text;
    if (found == reasons_.end())
        return text;
    for (const std::string& line : found->second)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace vardelo
