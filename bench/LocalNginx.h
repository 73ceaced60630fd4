// What the benchmarks against a local nginx share: a run kept in its own
// folder, the server found, its ports, its files.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

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

// A configuration's start: nginx in the foreground, its pid and temporary
// files in the run's folder, nothing logged but warnings; the `http` block
// is left open for the benchmark's own settings and servers.
inline QByteArray nginxPreamble(int workerConnections) {
    return "daemon off;\n"
           "master_process off;\n"
           "pid nginx.pid;\n"
           "error_log stderr warn;\n"
           "events { worker_connections " +
           QByteArray::number(workerConnections) +
           "; }\n"
           "http {\n"
           "  access_log off;\n"
           "  log_not_found off;\n"
           "  client_body_temp_path tmp/body;\n"
           "  proxy_temp_path tmp/proxy;\n"
           "  fastcgi_temp_path tmp/fastcgi;\n"
           "  uwsgi_temp_path tmp/uwsgi;\n"
           "  scgi_temp_path tmp/scgi;\n";
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

// Starts nginx on the configuration under `prefix` and waits until every
// port takes connections; false, said on stderr, when it does not come up.
inline bool startNginx(QProcess& server, const QString& nginx, const QString& prefix,
                       const std::vector<int>& ports) {
    server.setProcessChannelMode(QProcess::ForwardedChannels);
    server.start(nginx,
                 {QStringLiteral("-p"), prefix, QStringLiteral("-c"), QStringLiteral("nginx.conf"),
                  QStringLiteral("-e"), QStringLiteral("stderr")});
    const auto allAccept = [&ports] {
        return std::all_of(ports.begin(), ports.end(), [](int port) { return accepts(port); });
    };
    QElapsedTimer startup;
    startup.start();
    while (!allAccept() && server.state() != QProcess::NotRunning && startup.elapsed() < 10000)
        server.waitForFinished(50);
    if (allAccept())
        return true;
    std::fprintf(stderr, "nginx did not start\n");
    return false;
}

} // namespace vardelo
