#pragma once

#include <QString>

namespace vardelo {

// An installed program lies in a bin folder with its data in the share
// folder beside it (<prefix>/share/vardelo); a portable one keeps everything
// beside the executable.
bool isInstalled();

// Where the shipped data (the folder Skins) lies: <prefix>/share/vardelo for
// an installed program, the executable's folder for a portable one.
QString dataFolder();

// Where Lista.Vdl and Naplo.Vdl live: beside the executable for a portable
// program whose folder is writable; otherwise (an installed program, also
// when run as root) in $XDG_DATA_HOME/Vardelo, created on demand for this
// user only (0700).
QString recordFolder();

// $XDG_STATE_HOME/Vardelo (~/.local/state/Vardelo when XDG_STATE_HOME is
// unset or relative): what the program keeps of its own that is no record.
QString stateFolder();

// Where partial files and their records wait for the rest of their file:
// $XDG_STATE_HOME/Vardelo/partials (~/.local/state/Vardelo/partials when
// that is unset), a folder no download can land in. The transfer makes it
// for this user only (0700).
QString partialFolder();

// The target folder a first start offers: the user's download folder.
QString defaultTargetFolder();

} // namespace vardelo
