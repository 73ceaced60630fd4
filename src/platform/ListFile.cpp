#include "platform/ListFile.h"

#include "core/IoError.h"
#include "core/ListText.h"
#include "platform/QtText.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

namespace vardelo {
namespace {

QString fileError(const char* pattern, const QString& path, const QString& reason) {
    return QString::fromLatin1(pattern).arg(QFileInfo(path).absoluteFilePath(), reason);
}

// The system's message for an error number, in the program's language: the
// same source as the messages QFile gives for a failed open.
QString systemMessage(int error) {
    return qt_error_string(error);
}

} // namespace

std::vector<std::string> readListFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw UserError(toStd(fileError("Cannot open file \"%1\". %2", path, file.errorString())));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw UserError(toStd(fileError("Cannot open file \"%1\". %2", path, file.errorString())));
    return splitListLines(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

void writeListFile(const QString& path, const std::vector<std::string>& lines) {
    const auto fail = [&path](const QString& reason) {
        throw UserError(toStd(fileError("Cannot create file \"%1\". %2", path, reason)));
    };
    // A read-only file stays as it is, even for a user the system lets write it.
    if (QFileInfo::exists(path) && !(QFile::permissions(path) & QFileDevice::WriteOwner))
        fail(systemMessage(EACCES));
    QSaveFile file(path);
    file.setDirectWriteFallback(true); // a folder that allows no temporary file
    if (!file.open(QIODevice::WriteOnly))
        fail(file.errorString());
    const std::string bytes = joinListLines(lines);
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    if (!file.commit())
        fail(file.errorString());
}

} // namespace vardelo
