#include "session/PasswordStore.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QDir>
#include <QFile>

#include <cstdio>
#include <stdexcept>

namespace vardelo {
namespace {

// Far more than any queue's passwords.
constexpr std::int64_t kPasswordsFileLimit = 64 * 1024 * 1024;

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kPasswordsFileName);
}

std::string tooLarge(std::string_view name) {
    return std::string(name) + " is too large";
}

void tell(const QString& path, const char* what, const char* why) {
    std::fprintf(stderr, "Vardelo: %s was not %s: %s\n", QFile::encodeName(path).constData(), what,
                 withFinalPeriod(why).c_str());
    qCWarning(lcRecords).noquote() << path << "was not" << what << "-" << why;
}

} // namespace

LinkPasswords loadPasswords(const QString& folder, bool* unread) {
    *unread = false;
    const QString path = pathIn(folder);
    try {
        const std::optional<std::string> bytes = readKeptFile(path, kPasswordsFileLimit, tooLarge);
        if (!bytes)
            return {};
        if (std::optional<LinkPasswords> passwords = LinkPasswords::decode(*bytes))
            return *passwords;
        tell(path, "read", "it is not a password file");
    } catch (const std::exception& error) {
        tell(path, "read", error.what());
    }
    *unread = true;
    return {};
}

bool savePasswords(const QString& folder, const LinkPasswords& passwords) {
    const QString path = pathIn(folder);
    try {
        if (!QDir().mkpath(folder))
            throw std::runtime_error("its folder cannot be made");
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        writeRecordFile(path, passwords.encode());
        return true;
    } catch (const std::exception& error) {
        tell(path, "saved", error.what());
        return false;
    }
}

} // namespace vardelo
