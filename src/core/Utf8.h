#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vardelo {

// The program's one UTF-8 decoder, strict: the character at text[i], and i
// moved past it; nothing, i moved past the bytes looked at, for bytes that
// are no character (a stray continuation, a sequence cut short, an
// overlong form, a surrogate, anything past U+10FFFF). i < text.size().
std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& i);

// Whether the whole of `text` is strict UTF-8.
bool isStrictUtf8(std::string_view text);

} // namespace vardelo
