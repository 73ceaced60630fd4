#include "core/NativeMessage.h"

#include "core/AsciiCase.h"
#include "core/ListText.h"

#include <algorithm>
#include <cstring>

namespace vardelo {
namespace {

// Enough of a refused link to recognise it by.
constexpr std::size_t kShownLinkChars = 100;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

} // namespace

std::uint32_t frameLength(const unsigned char (&header)[kFrameHeaderBytes]) {
    std::uint32_t length = 0;
    std::memcpy(&length, header, sizeof length);
    return length;
}

std::string framed(std::string_view message) {
    const auto length = static_cast<std::uint32_t>(message.size());
    std::string frame(kFrameHeaderBytes, '\0');
    std::memcpy(frame.data(), &length, sizeof length);
    frame.append(message);
    return frame;
}

bool isHandableLink(std::string_view link) {
    std::size_t schemeEnd = 0;
    if (startsWithNoCase(link, "http://"))
        schemeEnd = 7;
    else if (startsWithNoCase(link, "https://"))
        schemeEnd = 8;
    else
        return false;
    const bool printable = std::all_of(link.begin(), link.end(), [](char c) {
        return static_cast<unsigned char>(c) > 0x20 && static_cast<unsigned char>(c) < 0x7f;
    });
    const std::string_view rest = link.substr(schemeEnd);
    return printable && !rest.empty() && rest.front() != '/';
}

std::string tooLongText() {
    return "Az üzenet túl hosszú (legfeljebb 1 MiB lehet).";
}

std::string notJsonText() {
    return "Az üzenet nem érvényes JSON.";
}

std::string noLinksText() {
    return "Az üzenetben nincs link (\"links\": [...]).";
}

std::string notHttpText(std::string_view link) {
    return "Csak http vagy https link adható át: " +
           controlsReplaced(link.substr(0, kShownLinkChars));
}

std::string cutShortText() {
    return "Az üzenet a vége előtt megszakadt.";
}

std::string notHandedOverText() {
    return "A Vardelo nem vette át a linkeket (nem indult el, vagy nem válaszolt).";
}

std::string strangerListensText() {
    return "A linkek nem kerültek át: a Vardelo helyén egy másik felhasználó programja figyel.";
}

} // namespace vardelo
