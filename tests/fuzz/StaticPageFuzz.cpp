// The selector reader under any page and selector (the first line): it
// ends, and reads the same each time and from each parse; a text it reads
// comes from the page, each byte of it at most a replacement character.
#include "FuzzCheck.h"

#include "core/StaticPage.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view selector = input.substr(0, lineEnd);
    const std::string_view page =
        lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    const vardelo::StaticPage parsed(page);
    const auto text = parsed.read(selector);
    FUZZ_REQUIRE(text == parsed.read(selector));
    FUZZ_REQUIRE(!text || text->size() <= page.size() * 3);
    const auto value = parsed.read(selector, "data-x");
    FUZZ_REQUIRE(value == vardelo::StaticPage(page).read(selector, "data-x"));
    return 0;
}
