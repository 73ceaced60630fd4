#include "session/letolto.h"

#include "core/FileReply.h"
#include "core/Outcome.h"
#include "core/PartialFile.h"
#include "platform/AppPaths.h"
#include "platform/HttpClient.h"
#include "platform/PipelinedDigest.h"
#include "session/PartialTarget.h"

#include <QFile>

#include <QElapsedTimer>

#include <algorithm>
#include <charconv>
#include <optional>

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

std::optional<std::string> optionalHeader(const HttpHeaders& headers, const char* name) {
    const std::string* value = headers.find(name);
    return value ? std::optional<std::string>(*value) : std::nullopt;
}

std::string headerOr(const HttpHeaders& headers, const char* name) {
    const std::string* value = headers.find(name);
    return value ? *value : std::string();
}

FailureReason reasonOf(const PartialTarget& target, const char* otherwise) {
    return {FailureKind::LocalFile, target.error().empty()
                                        ? std::string(otherwise)
                                        : QString::fromLocal8Bit(target.error()).toStdString()};
}

} // namespace

TTesztThread::TTesztThread(HttpClient& http, std::string queueLink, std::string downloadUrl,
                           std::string targetFolder, std::optional<HttpSession> session,
                           QObject* parent)
    : QThread(parent), http_(http), queueLink_(std::move(queueLink)),
      downloadUrl_(std::move(downloadUrl)), targetFolder_(std::move(targetFolder)),
      session_(std::move(session)),
      partialFolder_(QFile::encodeName(partialFolder()).toStdString()) {}

TTesztThread::~TTesztThread() {
    abandon();
    wait();
}

// A resumed body joins the bytes kept on disk: they are read into the
// digest first, as a fresh download would have hashed them.
bool TTesztThread::hashKept(PartialTarget& target, std::int64_t length) {
    if (!digest_)
        return true;
    digest_->restart();
    return target.readBack(
        length, [this](const char* data, std::size_t size) { digest_->add(data, size); },
        abort_requested);
}

// Why the whole file is not the one expected, if it is not. A rounded size
// from a page is never held against it.
std::optional<std::string> TTesztThread::mismatch(std::int64_t whole, std::int64_t announced) {
    if (announced > 0 && whole != announced)
        return "the file has " + std::to_string(whole) + " bytes, the reply announced " +
               std::to_string(announced);
    if (expected_.exactSize && whole != *expected_.exactSize)
        return "the file has " + std::to_string(whole) + " bytes, its page says " +
               std::to_string(*expected_.exactSize);
    if (!digest_)
        return std::nullopt;
    const std::string hex = digest_->hex();
    if (hex != expected_.digest->hex)
        return std::string("the file's ") + digestKindLabel(digest_->kind()) + " is " +
               (hex.empty() ? std::string("not computable") : hex) + ", its page says " +
               expected_.digest->hex;
    return std::nullopt;
}

void TTesztThread::reportProgress(std::int64_t received, bool force) {
    const std::int64_t now = clock_.elapsed();
    if (!force && lastReportMs_ >= 0 && now - lastReportMs_ < kProgressIntervalMs)
        return;
    lastReportMs_ = now;
    Q_EMIT work(received);
}

void TTesztThread::fail(const FailureReason& reason) {
    if (!abort_requested.load())
        Q_EMIT failed(reason);
}

void TTesztThread::Execute() {
    clock_.start();
    fileName_ = nameByReply_ ? safeFileName(addressFileName(downloadUrl_))
                             : storableName(link_kiszed(downloadUrl_));
    if (fileName_.empty()) {
        fail({FailureKind::NoFileName, "the address names no file"});
        return;
    }
    if (expected_.digest)
        digest_ = std::make_unique<PipelinedDigest>(expected_.digest->kind);
    PartialTarget target(partialFolder_, targetFolder_, fileName_, queueLink_);
    if (!target.open(abort_requested)) {
        fail(reasonOf(target, "cannot create the partial file"));
        return;
    }
    const Fetch fetch = fetchFile(target);
    finish(target, fetch);
}

TTesztThread::Fetch TTesztThread::fetchFile(PartialTarget& target) {
    if (isComplete(target.record(), target.size())) {
        // Fetched whole last time; only its final name was missing.
        Fetch fetch;
        fetch.offset = fetch.total = target.size();
        fetch.localFailure = !hashKept(target, fetch.total);
        fetch.result.status = HttpResult::Status::Ok;
        Q_EMIT workBegin(fetch.total, fetch.total);
        return fetch;
    }
    const ResumeRequest request = resumeRequest(target.record(), target.size());
    if (!hashKept(target, request.offset)) {
        Fetch fetch;
        fetch.localFailure = true;
        return fetch;
    }
    Fetch fetch = fetchInto(target, request);
    if (fetch.refetch && !abort_requested.load())
        fetch = fetchInto(target, ResumeRequest{}); // the whole file, once
    return fetch;
}

void TTesztThread::finish(PartialTarget& target, const Fetch& fetch) {
    const bool closed = target.close();
    if (fetch.result.status == HttpResult::Status::Aborted || abort_requested.load())
        return; // kept for the next attempt
    if (fetch.localFailure || (fetch.result.status == HttpResult::Status::Ok && !closed)) {
        const FailureReason reason = reasonOf(target, "cannot store the file");
        target.discard(); // a full disk must not also fail the next file
        fail(reason);
        return;
    }
    if (fetch.webPage) {
        if (target.sizeOnDisk() == 0)
            target.discard(); // a partial file of an earlier attempt stays as it was
        if (!abort_requested.load())
            Q_EMIT pageInsteadOfFile(QByteArray::fromStdString(fetch.page),
                                     QString::fromStdString(fetch.pageType));
        return;
    }
    if (fetch.result.status == HttpResult::Status::Failed || fetch.refetch) {
        if (target.sizeOnDisk() == 0 || !target.resumable())
            target.discard(); // nothing a later attempt could go on from
        fail(transferFailure(fetch.result.refusedAddress, fetch.result.httpStatus,
                             fetch.result.error));
        return;
    }
    const std::int64_t whole = fetch.offset + fetch.result.received;
    if (target.sizeOnDisk() != whole) {
        target.discard(); // what was written is not what arrived
        fail({FailureKind::Network, "the file does not have its announced length"});
        return;
    }
    if (const std::optional<std::string> why = mismatch(whole, fetch.total)) {
        target.discard(); // not the file expected: a next try starts afresh
        fail({FailureKind::ChecksumMismatch, *why});
        return;
    }
    if (!target.store(abort_requested)) {
        fail(reasonOf(target, "cannot give the file its name")); // kept: named next time
        return;
    }
    reportProgress(whole, true);
    if (digest_)
        Q_EMIT fileChecked(QString::fromStdString(digestMatchText(digest_->kind())));
    Q_EMIT stored(QString::fromStdString(target.storedPath()));
    Q_EMIT workEnd(whole);

    // A form's address is no file's, and its answer may be good once.
    if (!post_)
        http_.head(downloadUrl_, abort_requested, session_ ? &*session_ : nullptr); // unused
}

TTesztThread::Fetch TTesztThread::fetchInto(PartialTarget& target, const ResumeRequest& request) {
    Fetch fetch;
    const std::optional<PartialRecord> record = request.offset > 0 ? target.record() : std::nullopt;
    HttpBody body;
    body.requestHeaders = request.headers;
    body.session = session_ ? &*session_ : nullptr;
    body.post = post_ ? &*post_ : nullptr;
    const auto startFile = [&](int status, const HttpHeaders& headers) {
        const AnswerHead head{status, optionalHeader(headers, "Content-Range"),
                              optionalHeader(headers, "Content-Encoding"),
                              optionalHeader(headers, "ETag"),
                              optionalHeader(headers, "Last-Modified")};
        const BodyStart start = bodyStartFor(head, request.offset, record);
        bool ready = false;
        if (start == BodyStart::Append) {
            fetch.offset = request.offset;
            fetch.total = record->total;
            ready = target.continueAt(request.offset);
        } else {
            if (digest_)
                digest_->restart();
            const std::int64_t length = contentLengthOf(headers);
            fetch.total = head.contentEncoding ? 0 : std::max<std::int64_t>(length, 0);
            ready = target.startAgain(start == BodyStart::Restart
                                          ? recordForAnswer(length, headerOr(headers, "ETag"),
                                                            headerOr(headers, "Last-Modified"),
                                                            headerOr(headers, "Content-Encoding"))
                                          : std::nullopt);
        }
        fetch.localFailure = !ready;
        fetch.refetch = ready && start == BodyStart::Refetch;
        return ready && start != BodyStart::Refetch;
    };
    const auto beginFile = [&](std::int64_t expected, const HttpHeaders& headers) {
        const std::int64_t announced = fetch.offset > 0 ? fetch.total : contentLengthOf(headers);
        Q_EMIT workBegin(expected > 0 ? fetch.offset + expected : 0, announced);
    };

    // A web page is never the file: it is read into memory, bounded, and
    // the partial file is not touched. An untyped body's start is held
    // until it shows which of the two it is.
    ReplyBody reply = ReplyBody::File;
    int heldStatus = 0;
    HttpHeaders heldHeaders;
    std::int64_t heldExpected = 0;
    std::string held;
    const auto releaseHeld = [&] {
        reply = ReplyBody::File;
        if (!startFile(heldStatus, heldHeaders))
            return false;
        beginFile(heldExpected, heldHeaders);
        fetch.localFailure = !target.write(held.data(), held.size());
        if (digest_)
            digest_->add(held.data(), held.size());
        held.clear();
        return !fetch.localFailure;
    };
    body.accept = [&](int status, const HttpHeaders& headers) {
        std::string name = fileName_;
        if (nameByReply_) {
            // Named by where the file came from, after redirects; an
            // address there that names nothing leaves the one asked for's.
            name = replyFileName(headers.find("Content-Disposition"), body.answeredFrom, pageName_);
            if (name.empty())
                name = fileName_;
            target.setFinalName(name);
        }
        const std::string* type = headers.find("Content-Type");
        fetch.pageType = type ? *type : std::string();
        reply = replyByType(type, name);
        if (reply == ReplyBody::File)
            return startFile(status, headers);
        heldStatus = status;
        heldHeaders = headers;
        return true;
    };
    body.begin = [&](std::int64_t expected, const HttpHeaders& headers) {
        if (reply == ReplyBody::File)
            beginFile(expected, headers);
        else
            heldExpected = expected;
    };
    body.write = [&](const char* data, std::size_t size) {
        if (reply == ReplyBody::File) {
            fetch.localFailure = !target.write(data, size);
            if (digest_)
                digest_->add(data, size);
            return !fetch.localFailure;
        }
        held.append(data, size);
        if (reply == ReplyBody::Undecided) {
            reply = replyByStart(held, false);
            if (reply == ReplyBody::File)
                return releaseHeld();
        }
        if (reply == ReplyBody::WebPage && held.size() >= kPageReadLimit) {
            held.resize(kPageReadLimit);
            return false; // enough of the page to know it
        }
        return true;
    };
    body.progress = [&](std::int64_t received) {
        if (reply == ReplyBody::File)
            reportProgress(fetch.offset + received, false);
    };
    fetch.result = http_.get(downloadUrl_, body, abort_requested);
    if (reply == ReplyBody::Undecided && fetch.result.status == HttpResult::Status::Ok) {
        reply = replyByStart(held, true); // the whole body is this short
        if (reply == ReplyBody::File)
            releaseHeld();
    }
    fetch.webPage = reply == ReplyBody::WebPage;
    if (fetch.webPage)
        fetch.page = std::move(held);
    // A range the server cannot give: the whole file instead.
    if (request.offset > 0 && fetch.result.status == HttpResult::Status::Failed &&
        fetch.result.httpStatus == 416 && !fetch.localFailure) {
        fetch.localFailure = !target.startAgain(std::nullopt);
        fetch.refetch = !fetch.localFailure;
    }
    return fetch;
}

} // namespace vardelo
