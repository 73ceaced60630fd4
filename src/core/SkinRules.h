#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace vardelo {

// Where the skin directory lies: a directory beginning with ".." is the
// program folder's parent followed by the text after the first three
// characters; one beginning with "./" or ".\" is the program folder followed
// by the text after the first two; one without ":" is the program folder
// followed by the directory; anything else is used as it is.
std::string resolveSkinDirectory(std::string_view directory, std::string_view programFolder);

// A skin's style sheet names its images relative to its own folder: every
// url() that is not absolute (no leading "/", no ":" scheme or resource
// prefix) is made to point into that folder.
std::string resolveSkinUrls(std::string_view styleSheet, std::string_view skinFolder);

} // namespace vardelo
