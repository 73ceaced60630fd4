#pragma once

#include <string>
#include <string_view>

namespace vardelo {

// The Referer a browser sends from the page at `page` to `target` under its
// default policy, strict-origin-when-cross-origin: the page's whole address
// (without its fragment and user name) to the page's own origin; only its
// origin and "/" to another origin; nothing from https to http, nor from a
// page that is no http or https address. An address over 4096 bytes goes as
// its origin.
std::string refererFor(std::string_view page, std::string_view target);

// The Origin a browser sends with a form the page at `page` posts: its
// scheme, host and port (the scheme's own left out); nothing for a page
// that is no http or https address.
std::string originFor(std::string_view page);

} // namespace vardelo
