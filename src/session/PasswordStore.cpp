#include "session/PasswordStore.h"

#include "session/KeptFile.h"

#include <QDir>
#include <QFile>

namespace vardelo {
namespace {

// Far more than any queue's passwords.
constexpr std::int64_t kPasswordsFileLimit = 64 * 1024 * 1024;

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kPasswordsFileName);
}

} // namespace

LinkPasswords loadPasswords(const QString& folder, bool* unread) {
    return loadKeptFile<LinkPasswords>(
        pathIn(folder), kPasswordsFileLimit, "it is not a password file",
        [](const std::string& bytes) { return LinkPasswords::decode(bytes); }, unread);
}

bool savePasswords(const QString& folder, const LinkPasswords& passwords) {
    const QString path = pathIn(folder);
    if (!QDir().mkpath(folder)) {
        tellKeptFile(path, "saved", "its folder cannot be made");
        return false;
    }
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return saveKeptFile(path, [&] { return passwords.encode(); });
}

} // namespace vardelo
