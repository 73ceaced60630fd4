#pragma once

#include "core/AttemptResult.h"
#include "core/ExpectedFile.h"
#include "core/FormPost.h"
#include "platform/HttpClient.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace vardelo {

class PipelinedDigest;
class PartialTarget;
struct ResumeRequest;

// The transfer worker: fetches one file on its own thread. It gets the queue
// link the file is fetched for (the key of its partial file), the file
// address, the target folder and, for a file a host profile's pages led to,
// the browser's session when it is made, and takes the partial files' folder
// (AppPaths) then; it never touches the window; everything it has to say
// leaves through queued signals, in order. Progress is coalesced to at most
// 25 signals a second, and the last amount is always sent before the end.
class TTesztThread final : public QThread {
    Q_OBJECT
  public:
    TTesztThread(HttpClient& http, std::string queueLink, std::string downloadUrl,
                 std::string targetFolder, std::optional<HttpSession> session = std::nullopt,
                 QObject* parent = nullptr);
    ~TTesztThread() override;

    // For a profile's link: the file is named as the reply names it
    // (Content-Disposition), else as its pages showed it, else by its
    // address's path without the query. Set before the thread starts.
    void nameFileByReply(std::string pageName) {
        nameByReply_ = true;
        pageName_ = std::move(pageName);
    }

    // What the pages said of the file: an exact size or a digest that the
    // whole file must have before it takes its name. Set before the thread
    // starts.
    void expectFile(ExpectedFile expected) { expected_ = std::move(expected); }

    // The form the pages' last step would have sent: the file is asked for
    // by POST with the form's fields, as the page would have asked. Set
    // before the thread starts.
    void postForm(FormPost form) { post_ = std::move(form); }

    // Ends the transfer at once: nothing more is signalled, the file is closed
    // and keeps what was written. Safe from any thread.
    void abandon() { abort_requested.store(true); }

  Q_SIGNALS:
    // The body begins: the size announced (0 if none) and the Content-length
    // header as a number (-1 when there is none or it is not a number).
    void workBegin(qint64 expected, qint64 contentLength);
    void work(qint64 received);
    // The file has the digest its page showed; sent just before workEnd.
    // `note` is the log's ("SHA-256 egyezik").
    void fileChecked(const QString& note);
    // The whole body is in the file under its final name: this path, sent
    // just before workEnd.
    void stored(const QString& path);
    // The whole body is in the file under its final name.
    void workEnd(qint64 received);
    // The transfer has failed; nothing was stored under the final name.
    void failed(const vardelo::FailureReason& reason);
    // The host sent a web page instead of the file: its start (at most
    // kPageReadLimit bytes) and its declared type (empty when none). Nothing
    // of it was stored.
    void pageInsteadOfFile(const QByteArray& page, const QString& contentType);

  protected:
    void run() override { Execute(); }

  private:
    void Execute();
    // One request into the partial file: what arrived, from which byte of the
    // file it was written, and whether the whole file is to be asked for.
    struct Fetch {
        HttpResult result;
        std::int64_t offset = 0;
        std::int64_t total = 0; // the whole file's announced length, 0 if unknown
        bool refetch = false;
        bool localFailure = false;
        bool webPage = false;
        std::string page; // a web page's start
        std::string pageType;
    };
    Fetch fetchFile(PartialTarget& target);
    Fetch fetchInto(PartialTarget& target, const ResumeRequest& request);
    void finish(PartialTarget& target, const Fetch& fetch);
    bool hashKept(PartialTarget& target, std::int64_t length);
    std::optional<std::string> mismatch(std::int64_t whole, std::int64_t announced);
    void fail(const FailureReason& reason);
    void reportProgress(std::int64_t received, bool force);

    HttpClient& http_;
    const std::string queueLink_;
    const std::string downloadUrl_;
    const std::string targetFolder_;
    const std::optional<HttpSession> session_;
    const std::string partialFolder_;
    bool nameByReply_ = false;
    std::string pageName_;
    std::string fileName_; // as the address names it
    ExpectedFile expected_;
    std::optional<FormPost> post_;
    std::unique_ptr<PipelinedDigest> digest_; // of the file so far, when a digest is expected
    std::atomic<bool> abort_requested{false}; // set by Stop, read at every piece of the body
    QElapsedTimer clock_;
    std::int64_t lastReportMs_ = -1;
};

} // namespace vardelo
