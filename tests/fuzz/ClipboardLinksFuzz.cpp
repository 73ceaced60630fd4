// The clipboard examination under any text: every link is a piece of one
// line that holds the prefix, starts with a visible character and was cut
// before ".htm".
#include "FuzzCheck.h"

#include "core/ClipboardLinks.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vardelo;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto links = linksInClipboardText(text);
    // Without host profiles the watcher takes exactly the designed links.
    FUZZ_REQUIRE(linksInClipboardText(text, nullptr) == links);

    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\r') +
                                                std::count(text.begin(), text.end(), '\n')) +
                       1;
    FUZZ_REQUIRE(links.size() <= lines);
    std::size_t searchFrom = 0;
    for (const auto& link : links) {
        FUZZ_REQUIRE(link.find(kLinkPrefix) != std::string::npos);
        FUZZ_REQUIRE(link.find(".htm") == std::string::npos);
        FUZZ_REQUIRE(link.find_first_of("\r\n") == std::string::npos);
        FUZZ_REQUIRE(static_cast<unsigned char>(link.front()) > 32);
        // Links come in the order of the text.
        const std::size_t at = text.find(link, searchFrom);
        FUZZ_REQUIRE(at != std::string_view::npos);
        searchFrom = at + link.size();
    }
    balloonBody(links);
    balloonTitle(links.size());
    return 0;
}
