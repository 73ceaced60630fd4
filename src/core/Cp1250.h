#pragma once

#include <string>
#include <string_view>

namespace vardelo {

// The program's texts live in memory as UTF-8; files and the clipboard speak
// the Central European code page 1250. The five bytes the code page leaves
// undefined map to the C1 controls of the same number, so any byte sequence
// survives a round trip unchanged.
std::string cp1250ToUtf8(std::string_view bytes);

// Characters the code page cannot hold become '?'; malformed UTF-8 bytes too.
std::string utf8ToCp1250(std::string_view text);

} // namespace vardelo
