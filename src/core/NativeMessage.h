#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// A web browser's native messaging frame: the length of the message as a
// 32-bit number in the machine's byte order, then the message, UTF-8 JSON.
inline constexpr std::size_t kFrameHeaderBytes = 4;
// Longer messages are refused; a message of links is far shorter.
inline constexpr std::uint32_t kLargestNativeMessage = 1024 * 1024;

// The length a frame's four header bytes announce.
std::uint32_t frameLength(const unsigned char (&header)[kFrameHeaderBytes]);
// A message with its frame header.
std::string framed(std::string_view message);

// Whether a browser may hand `link` over: an http or https address with a
// host part, of printable ASCII only (browsers percent-encode the rest).
bool isHandableLink(std::string_view link);

// The answers sent back to the extension.
std::string tooLongText();
std::string notJsonText();
std::string noLinksText();
std::string notHttpText(std::string_view link);
std::string cutShortText();
std::string notHandedOverText();
std::string strangerListensText();

} // namespace vardelo
