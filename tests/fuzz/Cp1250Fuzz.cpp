// The code page conversion both ways. Any byte string survives a round trip
// through UTF-8; a UTF-8 text converts to one byte per character, and when
// nothing in it became '?', converting back gives the text itself.
#include "FuzzCheck.h"

#include "core/Cp1250.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vardelo;
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::string utf8 = cp1250ToUtf8(input);
    FUZZ_REQUIRE(utf8.size() >= input.size() && utf8.size() <= 3 * input.size());
    FUZZ_REQUIRE(utf8ToCp1250(utf8) == input);

    const std::string bytes = utf8ToCp1250(input);
    FUZZ_REQUIRE(bytes.size() <= input.size());
    const auto questionMarks = [](std::string_view text) {
        return std::count(text.begin(), text.end(), '?');
    };
    if (questionMarks(bytes) == questionMarks(input))
        FUZZ_REQUIRE(cp1250ToUtf8(bytes) == input);
    return 0;
}
