#include "core/AttemptResult.h"

namespace vardelo {

FailureReason transferFailure(bool refusedAddress, int httpStatus, const std::string& error) {
    if (refusedAddress)
        return {FailureKind::RefusedAddress, error, httpStatus};
    // The status of the last answer: a connection lost after a 200, or a
    // redirect too many, is a failed transfer, not the server's refusal.
    if (httpStatus >= 400)
        return {FailureKind::HttpStatus, error, httpStatus};
    return {FailureKind::Network, error, httpStatus};
}

bool givesUpAtOnce(FailureKind kind) {
    return kind == FailureKind::PremiumOnly;
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
    case FailureKind::NoFileName:
        return "no-file-name";
    case FailureKind::RefusedAddress:
        return "refused-address";
    case FailureKind::PageNotLoaded:
        return "page-not-loaded";
    case FailureKind::PageTimedOut:
        return "page-timed-out";
    case FailureKind::PageUnreadable:
        return "page-unreadable";
    case FailureKind::NoFreeUserForm:
        return "no-free-user-form";
    case FailureKind::NoWaitingTime:
        return "no-waiting-time";
    case FailureKind::NoDownloadAddress:
        return "no-download-address";
    case FailureKind::NoAfterWaitElement:
        return "no-after-wait-element";
    case FailureKind::FileGone:
        return "file-gone";
    case FailureKind::HostBusy:
        return "host-busy";
    case FailureKind::WebPage:
        return "web-page";
    case FailureKind::CaptchaNotSolved:
        return "captcha-not-solved";
    case FailureKind::ChecksumMismatch:
        return "checksum-mismatch";
    case FailureKind::PageCrashed:
        return "page-crashed";
    case FailureKind::PageClosed:
        return "page-closed";
    case FailureKind::PremiumOnly:
        return "premium-only";
    case FailureKind::WrongPassword:
        return "wrong-password";
    case FailureKind::NoPassword:
        return "no-password";
    }
    return "unknown";
}

namespace {

const char* hungarianText(FailureKind kind) {
    switch (kind) {
    case FailureKind::None:
        return "";
    case FailureKind::Network:
        return "Hálózati hiba: a fájl átvitele nem sikerült";
    case FailureKind::HttpStatus:
        return "A szerver válasza";
    case FailureKind::LocalFile:
        return "Helyi fájlhiba: a fájl nem hozható létre vagy nem írható";
    case FailureKind::NoFileName:
        return "Hibás cím: a letöltési címből nem derül ki a fájl neve";
    case FailureKind::RefusedAddress:
        return "Elutasított cím: csak http vagy https cím tölthető le";
    case FailureKind::PageNotLoaded:
        return "Weblap hiba: az oldal nem töltődött be";
    case FailureKind::PageTimedOut:
        return "Weblap hiba: az oldal nem töltődött be időben";
    case FailureKind::PageUnreadable:
        return "Weblap hiba: az oldal szövege nem olvasható";
    case FailureKind::NoFreeUserForm:
        return "Weblap hiba: a link oldalán nincs ingyenes letöltési űrlap";
    case FailureKind::NoWaitingTime:
        return "Weblap hiba: az oldalon nincs használható várakozási idő";
    case FailureKind::NoDownloadAddress:
        return "Weblap hiba: az oldalon nincs letöltési cím";
    case FailureKind::NoAfterWaitElement:
        return "Weblap hiba: a várakozás után nincs meg a letöltést indító elem";
    case FailureKind::FileGone:
        return "Weblap hiba: az oldal szerint a fájl nem érhető el";
    case FailureKind::HostBusy:
        return "Weblap hiba: az oldal szerint a szerver foglalt";
    case FailureKind::WebPage:
        return "A fájl helyett weblap érkezett";
    case FailureKind::CaptchaNotSolved:
        return "Weblap hiba: a captcha nem lett megoldva időben";
    case FailureKind::ChecksumMismatch:
        return "A fájl ellenőrzőösszege nem egyezik";
    case FailureKind::PageCrashed:
        return "Weblap hiba: az oldal összeomlott";
    case FailureKind::PageClosed:
        return "Weblap hiba: az oldal bezárta magát";
    case FailureKind::PremiumOnly:
        return "Csak prémium felhasználóknak";
    case FailureKind::WrongPassword:
        return "Hibás jelszó";
    case FailureKind::NoPassword:
        return "Weblap hiba: a link jelszavát nem adták meg";
    }
    return "Ismeretlen hiba";
}

} // namespace

std::string failureText(const FailureReason& reason) {
    std::string text = hungarianText(reason.kind);
    const bool answered =
        reason.httpStatus > 0 && (reason.httpStatus < 200 || reason.httpStatus > 299);
    if (reason.kind == FailureKind::HttpStatus)
        text += ": HTTP " + std::to_string(reason.httpStatus);
    else if (reason.kind == FailureKind::Network && answered)
        text += " (a szerver válasza: HTTP " + std::to_string(reason.httpStatus) + ")";
    return text;
}

void RunFailures::record(const std::string& link, const AttemptResult& result) {
    if (result.outcome == OutcomeKind::Success) {
        reasons_.erase(link);
        recordLine(link, result.checked);
        return;
    }
    recordLine(link, failureText(result.reason));
}

void RunFailures::recordLine(const std::string& link, std::string line) {
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
