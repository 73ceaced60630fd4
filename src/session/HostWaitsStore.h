#pragma once

#include "core/HostWaits.h"

#include <QString>

#include <cstdint>

namespace vardelo {

// The hosts' waits kept in HostWaits.Vdl beside the queue, so that a restart
// does not knock on a host that asked for an hour. Losing them costs no
// download, so a file that cannot be read or written is told on standard
// error and in the diagnostics log, never in a box, and the program runs on.

// Start-up: the waits still running at `now`; none when the file is missing
// or does not read (a line that does not read is skipped).
HostWaits loadHostWaits(const QString& folder, std::int64_t now);

// A wait was noted: writes the waits still running at `now`, replacing the
// file as a whole (as Lista.Vdl is written). False when it could not.
bool saveHostWaits(const QString& folder, const HostWaits& waits, std::int64_t now);

} // namespace vardelo
