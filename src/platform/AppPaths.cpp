#include "platform/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace vardelo {

QString recordFolder() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    if (QFileInfo(programFolder).isWritable())
        return programFolder;
    const QString dataFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
        QStringLiteral("/Vardelo");
    QDir().mkpath(dataFolder);
    return dataFolder;
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
