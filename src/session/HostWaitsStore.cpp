#include "session/HostWaitsStore.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QFile>

#include <cstdio>

namespace vardelo {
namespace {

QString pathIn(const QString& folder) {
    return folder + QLatin1Char('/') + QLatin1String(kHostWaitsFileName);
}

void tell(const QString& path, const char* what, const std::exception& error) {
    std::fprintf(stderr, "Vardelo: %s was not %s: %s\n", QFile::encodeName(path).constData(), what,
                 withFinalPeriod(error.what()).c_str());
    qCWarning(lcRecords).noquote() << path << "was not" << what << "-" << error.what();
}

} // namespace

HostWaits loadHostWaits(const QString& folder, std::int64_t now) {
    const QString path = pathIn(folder);
    try {
        return readHostWaitsFile(path, now);
    } catch (const std::exception& error) {
        tell(path, "read", error);
        return {};
    }
}

bool saveHostWaits(const QString& folder, const HostWaits& waits, std::int64_t now) {
    const QString path = pathIn(folder);
    try {
        writeRecordFile(path, encodeHostWaits(waits, now));
        return true;
    } catch (const std::exception& error) {
        tell(path, "saved", error);
        return false;
    }
}

} // namespace vardelo
