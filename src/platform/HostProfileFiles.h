#pragma once

#include "core/HostProfile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace vardelo {

// What start-up read of the profile files: the usable profiles, and one
// line ("file: why") for each file that was left out and each key that was
// not known (its profile is used without it).
struct LoadedProfiles {
    HostProfiles profiles;
    QStringList problems;
};

// The shipped folder HostProfiles beside Skins, then the user's own in
// $XDG_DATA_HOME/Vardelo/HostProfiles.
QStringList hostProfileFolders();

// Reads every *.json file of these folders in file-name order (for equal
// names, the earlier folder's first). A profile whose name is already
// loaded takes that one's place: a user's file replaces a shipped one.
LoadedProfiles loadHostProfiles(const QStringList& folders);

// One profile file's text, or why it cannot be used; keys it does not know
// are named in `warnings`.
std::shared_ptr<const CompiledProfile> parseHostProfile(const QByteArray& json, QString* reason,
                                                        QStringList* warnings = nullptr);

// The problems as the message box and standard error give them.
QString profileProblemsText(const QStringList& problems);

} // namespace vardelo
