// What the transfer benchmarks share: one file through the transfer worker,
// and one through `curl -o`, each timed.
#pragma once

#include "platform/HttpClient.h"
#include "session/letolto.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <optional>

namespace vardelo {

struct RoundResult {
    bool ended = false;
    double seconds = 0;
    qint64 updates = 0;
    qint64 received = 0;
};

inline RoundResult runWorker(HttpClient& http, const QString& url, const QString& folder,
                             std::optional<HttpSession> session = std::nullopt) {
    RoundResult result;
    TTesztThread worker(http, url.toStdString(), url.toStdString(), folder.toStdString(),
                        std::move(session));
    QElapsedTimer clock;
    QObject::connect(&worker, &TTesztThread::work, &worker, [&](qint64 amount) {
        ++result.updates;
        result.received = amount;
    });
    QObject::connect(&worker, &TTesztThread::workEnd, &worker, [&](qint64) {
        result.ended = true;
        result.seconds = clock.elapsed() / 1000.0;
    });
    QObject::connect(&worker, &TTesztThread::failed, &worker, [](const FailureReason& why) {
        std::fprintf(stderr, "transfer failed: %s\n", why.text.c_str());
    });
    QEventLoop loop;
    QObject::connect(&worker, &QThread::finished, &loop, &QEventLoop::quit);
    clock.start();
    worker.start();
    loop.exec();
    QCoreApplication::processEvents(); // what the worker sent last
    if (!result.ended)
        result.seconds = clock.elapsed() / 1000.0;
    return result;
}

// `curl -s -o target [options] url`; the time, or nothing when curl failed.
inline std::optional<double> curlSeconds(const QString& url, const QString& target,
                                         const QStringList& options = {}) {
    QElapsedTimer clock;
    clock.start();
    const int status = QProcess::execute(
        QStringLiteral("curl"),
        QStringList{QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), target} +
            options + QStringList{url});
    const double seconds = clock.elapsed() / 1000.0;
    if (status != 0) {
        std::fprintf(stderr, "curl failed (%d)\n", status);
        return std::nullopt;
    }
    return seconds;
}

} // namespace vardelo
