// The list text reader under any file content: every byte before the first
// zero is either a line end or part of exactly one line, unchanged, and the
// lines survive being written and read again.
#include "FuzzCheck.h"

#include "core/Cp1250.h"
#include "core/ListText.h"
#include "core/Utf8.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace vardelo;
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const auto lines = splitListLines(bytes);

    bytes = bytes.substr(0, bytes.find('\0'));
    // A file marked as UTF-8 keeps what it writes that code page 1250 has
    // no letter for: its lines are UTF-8 as they stand.
    if (bytes.starts_with("\xEF\xBB\xBF")) {
        FUZZ_REQUIRE(std::all_of(lines.begin(), lines.end(),
                                 [](const std::string& line) { return isStrictUtf8(line); }));
        FUZZ_REQUIRE(lines.size() <= bytes.size());
        return 0;
    }
    std::string withoutEnds(bytes);
    std::erase_if(withoutEnds, [](char c) { return c == '\r' || c == '\n'; });
    std::string joined;
    for (const auto& line : lines)
        joined += utf8ToCp1250(line);
    FUZZ_REQUIRE(joined == withoutEnds);
    FUZZ_REQUIRE(lines.size() <= bytes.size());

    FUZZ_REQUIRE(splitListLines(joinListLines(lines)) == lines);

    const auto links = linesToImport(lines);
    const auto blank = [](const std::string& line) { return trimControls(line).empty(); };
    FUZZ_REQUIRE(links.size() == lines.size() - static_cast<std::size_t>(std::count_if(
                                                    lines.begin(), lines.end(), blank)));
    FUZZ_REQUIRE(std::none_of(links.begin(), links.end(), blank));
    return 0;
}
