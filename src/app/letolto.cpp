#include "app/letolto.h"

#include "core/Outcome.h"
#include "platform/HttpClient.h"

#include <QElapsedTimer>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace vardelo {
namespace {

constexpr std::int64_t kProgressIntervalMs = 40;

std::int64_t contentLengthOf(const HttpHeaders& headers) {
    const std::string* value = headers.find("Content-length");
    if (!value)
        return -1;
    std::int64_t length = -1;
    const auto* end = value->data() + value->size();
    const auto [ptr, ec] = std::from_chars(value->data(), end, length);
    return (ec == std::errc{} && ptr == end && length >= 0) ? length : -1;
}

QString systemError(const char* what) {
    return QString::fromUtf8(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TTesztThread::TTesztThread(HttpClient& http, std::string downloadUrl, std::string targetFolder,
                           QObject* parent)
    : QThread(parent), http_(http), downloadUrl_(std::move(downloadUrl)),
      targetFolder_(std::move(targetFolder)) {}

TTesztThread::~TTesztThread() {
    abandon();
    wait();
}

void TTesztThread::reportProgress(std::int64_t received, bool force) {
    const std::int64_t now = clock_.elapsed();
    if (!force && lastReportMs_ >= 0 && now - lastReportMs_ < kProgressIntervalMs)
        return;
    lastReportMs_ = now;
    Q_EMIT work(received);
}

void TTesztThread::Execute() {
    clock_.start();
    const std::string target = targetFolder_ + "/" + link_kiszed(downloadUrl_);
    const std::string partial = target + ".part";
    std::FILE* file =
        link_kiszed(downloadUrl_).empty() ? nullptr : std::fopen(partial.c_str(), "wb");
    if (!file) {
        if (!abort_requested.load())
            Q_EMIT failed(link_kiszed(downloadUrl_).empty()
                              ? QStringLiteral("no file name")
                              : systemError("cannot create the file"));
        return;
    }

    HttpBody body;
    body.begin = [this](std::int64_t expected, const HttpHeaders& headers) {
        Q_EMIT workBegin(expected, contentLengthOf(headers));
    };
    body.write = [file](const char* data, std::size_t size) {
        return std::fwrite(data, 1, size, file) == size;
    };
    body.progress = [this](std::int64_t received) { reportProgress(received, false); };

    const HttpResult result = http_.get(downloadUrl_, body, abort_requested);
    const bool closed = std::fclose(file) == 0;
    if (result.status == HttpResult::Status::Aborted || abort_requested.load())
        return;
    if (result.status == HttpResult::Status::Failed) {
        std::error_code ignored;
        if (result.received == 0)
            std::filesystem::remove(partial, ignored); // nothing of it arrived
        Q_EMIT failed(QString::fromStdString(result.error));
        return;
    }
    std::error_code renameError;
    if (closed)
        std::filesystem::rename(partial, target, renameError);
    if (!closed || renameError) {
        Q_EMIT failed(QStringLiteral("cannot store the file"));
        return;
    }
    reportProgress(result.received, true);
    Q_EMIT workEnd(result.received);

    http_.head(downloadUrl_, abort_requested); // its answer is not used
}

} // namespace vardelo
