#pragma once

#include "core/LinkCheck.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

class QTimer;

namespace vardelo {

class Browser;
class CompiledProfile;
class HostProfiles;
class HttpClient;
struct FetchedPage;

// Runs a link check: the first page of each link a profile claims, fetched
// and read as text on a worker thread (its selectors on the page as sent)
// and, when that does not answer the profile's readers, loaded in hidden
// pages of its own (never the cycle's); for any
// other link a request for its headers on a worker thread. Nothing is submitted, waited
// out or solved. The plan is a core LinkCheck; the results are kept here by
// link. The window hears of progress at most ten times a second.
class LinkCheckRunner final : public QObject {
    Q_OBJECT
  public:
    LinkCheckRunner(Browser& browser, HttpClient& http, const HostProfiles* profiles,
                    QObject* parent = nullptr);
    ~LinkCheckRunner() override; // stops, and waits for the header requests to end

    // Checks these links; a check that runs already is left to run.
    void start(std::vector<std::string> links);
    // Starts nothing more and ends the running jobs at once; what they had
    // not found stays as it was.
    void stop();
    bool running() const { return running_; }
    std::size_t done() const { return plan_.done(); }
    std::size_t total() const { return links_.size(); }

    LinkResults& results() { return results_; }
    const LinkResults& results() const { return results_; }

    // A page or a header request that takes longer is unknown, and so are
    // the other links of its host in the same check.
    void setPageTimeout(std::chrono::milliseconds timeout) { pageTimeout_ = timeout; }
    // Links that are not checked when their turn comes (a download works on
    // them): nothing is found of them.
    void setLeftAlone(std::function<bool(const std::string& link)> leftAlone) {
        leftAlone_ = std::move(leftAlone);
    }

  Q_SIGNALS:
    // Results came since the last time: at most every 100 ms.
    void progressed();
    void ended(bool stopped);

  private:
    struct PageSlot;
    struct WorkerJob;
    void feed();
    void launch();
    void startPage(std::size_t job);
    void loadPage(std::size_t job);
    void fetchPage(std::size_t job, std::shared_ptr<const CompiledProfile> profile);
    void pageFetched(std::size_t job, const FetchedPage& page, std::optional<LinkFacts> facts,
                     bool bySelector, bool aborted);
    void startHeaders(std::size_t job);
    PageSlot* freePage();
    void pageLoaded(PageSlot& slot, bool ok);
    void markupRead(PageSlot& slot, quint64 ticket, bool ok, const QString& markup);
    void elementRead(PageSlot& slot, quint64 ticket, bool ok, const QString& text);
    void readNextSelector(PageSlot& slot);
    void pageTimedOut(PageSlot& slot);
    void endPage(PageSlot& slot, std::optional<LinkFacts> facts, bool abandon);
    void dropPages();
    void startWorkerJob(std::size_t job, std::function<void(const std::atomic<bool>& abort)> work);
    // The job's entry goes; whether its time ran out, nothing when it was gone.
    std::optional<bool> endWorkerJob(std::size_t job);
    void headersAnswered(std::size_t job, const HeaderAnswer& answer, bool aborted);
    void record(std::size_t job, std::optional<LinkFacts> facts);
    void publish();
    void endIfOver();

    Browser& browser_;
    HttpClient& http_;
    const HostProfiles* profiles_;
    std::chrono::milliseconds pageTimeout_;

    LinkCheck plan_;
    std::vector<std::string> links_; // the run's links, added to the plan in slices
    std::size_t fed_ = 0;
    bool running_ = false;
    bool changed_ = false;
    LinkResults results_;
    std::function<bool(const std::string&)> leftAlone_;
    std::unordered_set<std::string> hungHosts_; // of the plan's jobs, timed out in this check

    std::vector<std::unique_ptr<PageSlot>> pages_;
    std::map<std::size_t, WorkerJob> workerJobs_; // by job
    QThreadPool workers_;
    QTimer* feeder_;
    QTimer* publisher_;
};

} // namespace vardelo
