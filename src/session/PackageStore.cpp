#include "session/PackageStore.h"

#include "session/KeptFile.h"

namespace vardelo {
namespace {

// Far more than any queue's packages.
constexpr std::int64_t kPackagesFileLimit = 256 * 1024 * 1024;

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kFoldersFileName);
}

} // namespace

FolderTree loadPackages(const QString& folder, bool* unread) {
    return loadKeptFile<FolderTree>(
        pathIn(folder), kPackagesFileLimit, "it is not a package file",
        [](const std::string& bytes) { return FolderTree::decodePackages(bytes); }, unread);
}

bool savePackages(const QString& folder, const FolderTree& packages) {
    return saveKeptFile(pathIn(folder), [&] { return packages.encodePackages(); });
}

} // namespace vardelo
