#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// Removes every character of code 32 or below from both ends.
std::string_view trimControls(std::string_view text);

// Whether UTF-8 `text` holds a control character: C0 (line breaks among
// them), DEL, or C1.
bool hasControlCharacters(std::string_view text);
// UTF-8 `text` with each control character replaced by "?", so that text
// from elsewhere cannot steer a terminal (its title, a clear screen).
std::string controlsReplaced(std::string_view text);

// A plain-text link list (code page 1250) cut into lines: a line ends at CR,
// LF or CR LF (LF CR is two ends); a last line without an end counts; the
// text stops at the first zero byte. Lines come back as UTF-8. A text that
// begins with UTF-8's byte-order mark is UTF-8: the mark is dropped, and
// only a line that is not UTF-8 is read in the code page.
std::vector<std::string> splitListLines(std::string_view bytes);

// The lines that import appends: the non-blank ones, untrimmed.
std::vector<std::string> linesToImport(const std::vector<std::string>& lines);

// A list line's link, and the password after its first tab, if any
// ("URL<TAB>password").
struct ListEntry {
    std::string link;
    std::string password;
};
ListEntry splitListEntry(std::string_view line);

// Every line followed by CR LF, in code page 1250.
std::string joinListLines(const std::vector<std::string>& lines);

} // namespace vardelo
