#pragma once

#include <string>
#include <string_view>

namespace vardelo {

// Letter case of the ASCII letters only: header and setting names.
std::string asciiLower(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace vardelo
