#pragma once

#include "core/LinkPasswords.h"

#include <QString>

namespace vardelo {

// The links' passwords, in the state folder, apart from Lista.Vdl, readable
// by their user only.
inline constexpr char kPasswordsFileName[] = "Passwords.Vdl";

// The kept passwords; none when there is no file. A file that is there but
// does not read sets `unread` (told on standard error and in the log), so
// that it is never written over with less.
LinkPasswords loadPasswords(const QString& folder, bool* unread);

// Writes them whole through a temporary file, the folder made for this user
// only; false (told) when it could not.
bool savePasswords(const QString& folder, const LinkPasswords& passwords);

} // namespace vardelo
