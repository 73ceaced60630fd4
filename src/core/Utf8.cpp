#include "core/Utf8.h"

namespace vardelo {

std::optional<char32_t> nextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return std::nullopt;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size())
            return std::nullopt;
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        c = (c << 6) | (next & 0x3F);
        ++i;
    }
    // An overlong form would smuggle in a character, such as "/" as C0 AF;
    // a surrogate is half of a UTF-16 pair, no character.
    constexpr char32_t kShortest[] = {0x80, 0x800, 0x10000};
    if (c < kShortest[extra - 1] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return std::nullopt;
    return c;
}

bool isStrictUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        if (!nextCodePoint(text, i))
            return false;
    }
    return true;
}

} // namespace vardelo
