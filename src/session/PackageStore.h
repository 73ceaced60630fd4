#pragma once

#include "core/FolderWalk.h"

#include <QString>

namespace vardelo {

// The package each queued file of a folder came in, beside Lista.Vdl.
inline constexpr char kFoldersFileName[] = "Folders.Vdl";

// The kept packages; none when there is no file. A file that is there but
// does not read sets `unread` (told on standard error and in the log), so
// that it is never written over with less.
FolderTree loadPackages(const QString& folder, bool* unread);

// Writes them whole, as Lista.Vdl is written; false (told) when it could not.
bool savePackages(const QString& folder, const FolderTree& packages);

} // namespace vardelo
