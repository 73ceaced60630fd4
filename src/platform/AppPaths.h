#pragma once

#include <QString>

namespace vardelo {

// Where Lista.Vdl and Naplo.Vdl live: beside the executable (a portable
// program), or, when that folder is not writable (an installed program),
// in $XDG_DATA_HOME/Vardelo, created on demand.
QString recordFolder();

// The target folder a first start offers: the user's download folder.
QString defaultTargetFolder();

} // namespace vardelo
