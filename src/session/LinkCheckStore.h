#pragma once

#include "core/LinkCheck.h"
#include "core/TextGrid.h"

#include <QString>

#include <string>

namespace vardelo {

// The link check's results, kept beside Lista.Vdl so that they outlive a
// restart. Lista.Vdl is never touched by them. Losing them costs no
// download: a file that is missing, cut short, not JSON, written by a newer
// version, not a regular file or not this user's to write is left out (told
// on standard error and in the diagnostics log) and written anew at the next
// save.
inline constexpr char kLinkCheckFileName[] = "LinkCheck.Vdl";

// Start-up: the stored results; none when the file is missing or does not
// read. `unread` is set when a file was there but was left out.
LinkResults loadLinkResults(const QString& folder, bool* unread);

// The results of the links still queued, as the file holds them.
std::string encodeLinkResults(const LinkResults& results, const TextGrid& queue);
LinkResults decodeLinkResults(const std::string& bytes, QString* problem);

// Writes the results of the links still queued, replacing the file as a
// whole through a temporary file. False when it could not.
bool saveLinkResults(const QString& folder, const LinkResults& results, const TextGrid& queue);

} // namespace vardelo
