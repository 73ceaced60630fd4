#pragma once

#include "core/AttemptResult.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

class CompiledProfile;

// What the reply to a file request is: the file, or a web page the host
// sent in its place (a hotlink refusal, a "file removed" page, a login).
enum class ReplyBody { File, WebPage, Undecided };

// Bytes of a body's start looked at when no type is declared.
constexpr std::size_t kBodyStartLimit = 1024;
// Bytes of a web page kept for its markers; the rest is not read.
constexpr std::size_t kPageReadLimit = 256 * 1024;

// A declared page type: text/html or application/xhtml+xml, whatever the
// letter case and parameters.
bool declaresWebPage(std::string_view contentType);

// A file that is itself a page: its name ends in ".htm" or ".html".
bool isWebPageName(std::string_view fileName);

// The reply by its declared type. A file named as a page is a file; a page
// type is a page and any other type a file, whatever the body holds. With
// no type (or an empty one) the body's start decides: Undecided.
ReplyBody replyByType(const std::string* contentType, std::string_view fileName);

// An untyped body by its start: a page when, after a byte-order mark and
// blanks, it begins as a browser's sniffing counts HTML, in any letter case:
// "<!doctype html", "<html", "<head" or "<body"; or "<script", "<iframe",
// "<h1", "<div", "<font", "<table", "<a", "<style", "<title", "<b", "<br",
// "<p" or "<!--" followed by a space or ">". An XML declaration, and a
// comment that neither follows, are looked past. Undecided while more of
// the body could still make it one.
ReplyBody replyByStart(std::string_view start, bool bodyEnded);

// What a page sent for the file means for the attempt. For a profile's
// link the page is matched against its dead and busy markers first: a dead
// link, a busy host; anything else is a failed transfer.
AttemptResult pageForFileResult(const CompiledProfile* profile, std::string_view page,
                                std::string_view contentType);

// The name a Content-Disposition header gives, as given: "filename*"
// (RFC 5987: UTF-8 or ISO-8859-1, percent-encoded) first, then "filename",
// quoted or not. Nothing when it gives none that can be read.
std::optional<std::string> contentDispositionName(std::string_view header);

// The last segment of an address's path, percent-decoded; never its query
// or fragment. Empty when the path ends in "/" or there is none.
std::string addressFileName(std::string_view address);

// A name from a host made one file of the target folder: only the part
// after its last "/" or "\", control characters dropped, then the
// storable-name rules. Empty when nothing is left but blanks and dots.
std::string safeFileName(std::string_view name);

// The name a profile link's file gets: the reply's Content-Disposition
// name, else the one its pages showed (a `name` reader's), else the
// address's.
std::string replyFileName(const std::string* contentDisposition, std::string_view address,
                          std::string_view pageName = {});

} // namespace vardelo
