#include "platform/Diagnostics.h"

#include "platform/AppPaths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QStandardPaths>

#include <cstdio>
#include <memory>

Q_LOGGING_CATEGORY(lcCycle, "vardelo.cycle")
Q_LOGGING_CATEGORY(lcTransfer, "vardelo.transfer")
Q_LOGGING_CATEGORY(lcBrowser, "vardelo.browser")
Q_LOGGING_CATEGORY(lcRecords, "vardelo.records")
Q_LOGGING_CATEGORY(lcPackages, "vardelo.packages")

namespace vardelo {
namespace {

// The handler may be called from any thread; the file is shared.
struct Sink {
    QMutex mutex;
    QFile file;
    std::int64_t limit = 0;
    QtMessageHandler previous = nullptr;
};
Sink* sink = nullptr;

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "critical";
    case QtFatalMsg:
        return "fatal";
    }
    return "?";
}

// The log holds every link and address: for its user's eyes only, as the
// record files are. A file or folder kept from before is made private too.
constexpr QFileDevice::Permissions kOwnerOnlyFile =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kOwnerOnlyFolder = kOwnerOnlyFile | QFileDevice::ExeOwner;

bool openPrivately(QFile& file) {
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, kOwnerOnlyFile))
        return false;
    file.setPermissions(kOwnerOnlyFile);
    return true;
}

// Keeps two files: the one being written and the one before it.
void rotateIfFull(Sink& s, qint64 adding) {
    if (s.file.size() + adding <= s.limit)
        return;
    const QString path = s.file.fileName();
    const QString older = path + QStringLiteral(".1");
    s.file.close();
    QFile::remove(older);
    QFile::rename(path, older);
    s.file.setFileName(path);
    openPrivately(s.file);
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    const char* category = context.category ? context.category : "";
    // The program's own categories, and the browser engine's reports.
    const bool ours =
        qstrncmp(category, "vardelo.", 8) == 0 || qstrncmp(category, "qt.webengine", 12) == 0;
    if (!sink || !ours) {
        if (sink && sink->previous)
            sink->previous(type, context, text);
        return;
    }
    const QByteArray line = QDateTime::currentDateTime().toString(Qt::ISODateWithMs).toUtf8() +
                            ' ' + levelName(type) + ' ' + category + ": " + text.toUtf8() + '\n';
    const QMutexLocker lock(&sink->mutex);
    rotateIfFull(*sink, line.size());
    if (sink->file.isOpen()) {
        sink->file.write(line);
        sink->file.flush();
    }
}

} // namespace

QString diagnosticsFolder() {
    return stateFolder();
}

DiagnosticsLog::DiagnosticsLog(const QString& folder, std::int64_t limitBytes) {
    auto made = std::make_unique<Sink>();
    made->limit = limitBytes;
    made->file.setFileName(folder + QStringLiteral("/vardelo.log"));
    if (!QDir().mkpath(folder) || !QFile::setPermissions(folder, kOwnerOnlyFolder) ||
        !openPrivately(made->file)) {
        std::fprintf(stderr, "Vardelo: no diagnostics log: %s cannot be written\n",
                     qUtf8Printable(made->file.fileName()));
        return;
    }
    sink = made.release();
    sink->previous = qInstallMessageHandler(&handleMessage);
    writing_ = true;
}

DiagnosticsLog::~DiagnosticsLog() {
    if (!writing_)
        return;
    qInstallMessageHandler(sink->previous);
    delete sink;
    sink = nullptr;
}

} // namespace vardelo
