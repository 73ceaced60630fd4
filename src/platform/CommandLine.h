#pragma once

#include "core/ListText.h"

#include <QByteArray>
#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vardelo {

class HostProfiles;

// What a start's arguments ask of the program that keeps the queue.
struct HandedArguments {
    std::vector<std::string> links;     // in order: links, and the lines of list files
    bool bringToFront = false;          // started with no arguments at all
    bool awaitLinks = false;            // kAwaitLinksOption: links follow over the socket
    std::vector<ListEntry> passwords{}; // the list lines' "URL<TAB>password"
};

// Given by the browser's native messaging host to a program it starts: the
// links follow at once over the single-instance socket, and start-up waits
// a little for them, so that auto-start finds them queued.
inline constexpr char kAwaitLinksOption[] = "--await-links";

// Reads a start's arguments where they were given: an argument that starts
// with the link prefix brings its links; one that names an existing file is
// read as a link list, as "Megnyitás" reads one; anything else, and a list
// that cannot be read, is left out with a line on standard error.
// A web address that a host profile claims counts as a link too. A link
// with a control character in it (a line break among them) is left out.
HandedArguments readArguments(const QStringList& arguments, const HostProfiles* profiles = nullptr);

// The form in which a later start hands its arguments over; a message with
// a link that holds a control character is refused whole, as the native
// messaging host refuses one.
QByteArray encodeArguments(const HandedArguments& handed);
std::optional<HandedArguments> decodeArguments(const QByteArray& bytes);

// What the running program answers a later start that handed it links: the
// canonical forms of those that were in the queue already. A long list is
// cut; `unlisted` counts the rest.
struct HandedAnswer {
    std::vector<std::string> alreadyQueued;
    std::size_t unlisted = 0;
    std::size_t count() const { return alreadyQueued.size() + unlisted; }
};
QByteArray encodeHandedAnswer(const std::vector<std::string>& alreadyQueued);
// An answer that does not read (an older or newer program's, or a broken
// one) tells nothing.
HandedAnswer decodeHandedAnswer(const QByteArray& bytes);
// The lines a start prints for the links that were queued already; empty
// when there were none. Control characters are shown as "?".
std::string alreadyQueuedReport(const HandedAnswer& answer);

} // namespace vardelo
