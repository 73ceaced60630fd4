#include "session/PackageStore.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QFile>

#include <cstdio>

namespace vardelo {
namespace {

// Far more than any queue's packages.
constexpr std::int64_t kPackagesFileLimit = 256 * 1024 * 1024;

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kFoldersFileName);
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

FolderTree loadPackages(const QString& folder, bool* unread) {
    *unread = false;
    const QString path = pathIn(folder);
    try {
        const std::optional<std::string> bytes = readKeptFile(path, kPackagesFileLimit, tooLarge);
        if (!bytes)
            return {};
        if (std::optional<FolderTree> packages = FolderTree::decodePackages(*bytes))
            return *packages;
        tell(path, "read", "it is not a package file");
    } catch (const std::exception& error) {
        tell(path, "read", error.what());
    }
    *unread = true;
    return {};
}

bool savePackages(const QString& folder, const FolderTree& packages) {
    const QString path = pathIn(folder);
    try {
        writeRecordFile(path, packages.encodePackages());
        return true;
    } catch (const std::exception& error) {
        tell(path, "saved", error.what());
        return false;
    }
}

} // namespace vardelo
