#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifndef VARDELO_DATA_FROM_BINDIR
#define VARDELO_DATA_FROM_BINDIR "../share/vardelo"
#endif

namespace vardelo {
namespace {

QString installedDataFolder() {
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                           QStringLiteral(VARDELO_DATA_FROM_BINDIR));
}

} // namespace

bool isInstalled() {
    // Decided by the installed layout, not by where the prefix was
    // configured: a package under /usr and `cmake --install --prefix ~/.local`
    // both count, a build folder does not.
    return QFileInfo(installedDataFolder()).isDir();
}

QString dataFolder() {
    return isInstalled() ? installedDataFolder() : QCoreApplication::applicationDirPath();
}

QString recordFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    // Never the installation's own folder, even for root, who may write it.
    if (!isInstalled() && QFileInfo(programFolder).isWritable())
        return programFolder;
    const QString dataFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Vardelo");
    // The download history is the user's own business.
    if (!QFileInfo::exists(dataFolder) && QDir().mkpath(dataFolder))
        QFile::setPermissions(dataFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner);
    return dataFolder;
}

QString stateFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/Vardelo");
}

QString partialFolder() {
    return stateFolder() + QStringLiteral("/partials");
}

QString defaultTargetFolder() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Downloads");
#else
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    return downloads.isEmpty() ? QDir::homePath() + QStringLiteral("/Downloads") : downloads;
#endif
}

} // namespace vardelo
