// The wait-page readers under any page: a file address found is the text
// between the form's marker and the next quote, and the integer parser
// agrees with the standard library on plain decimal numbers, and a wait
// as people write it is never less than none nor more than a day.
#include "FuzzCheck.h"

#include "core/Duration.h"
#include "core/WaitPage.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace {

using namespace vardelo;

// Plain decimal text: an optional sign and up to 18 digits, nothing else.
void checkAgainstFromChars(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.size() > 18 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
        return;
    std::int64_t magnitude = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    const std::int64_t value = negative ? -magnitude : magnitude;
    std::optional<std::int32_t> expected;
    if (value >= INT32_MIN && value <= INT32_MAX)
        expected = static_cast<std::int32_t>(value);
    FUZZ_REQUIRE(parseInteger(text) == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);

    if (const auto address = read_download_url(page)) {
        constexpr std::string_view marker = "<form name=\"dlf\" action=\"";
        const std::size_t start = page.find(marker) + marker.size();
        FUZZ_REQUIRE(!address->empty());
        FUZZ_REQUIRE(page.substr(start, address->size()) == *address);
        FUZZ_REQUIRE(page.size() > start + address->size());
        FUZZ_REQUIRE(page[start + address->size()] == '"');
        FUZZ_REQUIRE(address->find('"', 1) == std::string::npos);
    }
    if (const auto seconds = read_waiting_time(page)) {
        const std::string text = "var c=" + std::to_string(*seconds) + ";";
        FUZZ_REQUIRE(read_waiting_time(text) == seconds);
    }
    checkAgainstFromChars(page);
    for (const std::int64_t unit : {1, 60, 3600}) {
        if (const auto seconds = durationSeconds(page, unit))
            FUZZ_REQUIRE(*seconds >= 0 && *seconds <= kLongestWaitSeconds);
    }
    return 0;
}
