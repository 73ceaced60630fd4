#include "session/KeptFile.h"

#include "core/IoError.h"
#include "platform/Diagnostics.h"
#include "platform/RecordFiles.h"

#include <QFile>

#include <cstdio>

namespace vardelo {
namespace {

std::string tooLarge(std::string_view name) {
    return std::string(name) + " is too large";
}

} // namespace

std::optional<std::string> readKeptBytes(const QString& path, std::int64_t limit) {
    return readKeptFile(path, limit, tooLarge);
}

void tellKeptFile(const QString& path, const char* what, const char* why) {
    std::fprintf(stderr, "Vardelo: %s was not %s: %s\n", QFile::encodeName(path).constData(), what,
                 withFinalPeriod(why).c_str());
    qCWarning(lcRecords).noquote() << path << "was not" << what << "-" << why;
}

bool saveKeptFile(const QString& path, const std::function<std::string()>& encode) {
    try {
        writeRecordFile(path, encode());
        return true;
    } catch (const std::exception& error) {
        tellKeptFile(path, "saved", error.what());
        return false;
    }
}

} // namespace vardelo
