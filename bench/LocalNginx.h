// What the benchmarks against a local nginx share: a run kept in its own
// folder, the server found, its ports, its files.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

namespace vardelo {

// The browser's store, the settings and the records stay in the run's
// folder; the engine starts as root and without a screen. Before the
// application object.
inline void keepRunIn(const QTemporaryDir& dir) {
    for (const char* variable :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
        qputenv(variable, (dir.path() + QLatin1Char('/') + QLatin1String(variable)).toUtf8());
    if (::geteuid() == 0) // the browser engine refuses to start as root with its sandbox
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

// Empty when nginx is not installed.
inline QString findNginx() {
    const QString nginx = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (!nginx.isEmpty())
        return nginx;
    // A user's PATH often lacks the system's own programs.
    return QStandardPaths::findExecutable(QStringLiteral("nginx"), {QStringLiteral("/usr/sbin")});
}

inline bool writeFile(const QString& path, const QByteArray& text) {
    QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

inline int freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline bool accepts(int port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    return socket.waitForConnected(200);
}

} // namespace vardelo
