#pragma once

#include "core/ExpectedFile.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vardelo {

enum class Availability : unsigned char { Unknown, Online, Offline };

// What a host's page said of a link that is not a free user's to have,
// beyond its being there or not: a verdict's reason the user is told.
enum class PageMarker : unsigned char { None, PremiumOnly, TempOffline };

// What a check found of one link, and when.
struct LinkFacts {
    Availability availability = Availability::Unknown;
    std::string name;
    std::optional<SizeReading> size;
    std::optional<ExpectedDigest> digest;
    std::int64_t checkedAt = 0; // seconds since the epoch
    PageMarker marker = PageMarker::None;
};

// "igen", "nem" or "ismeretlen", as the queue's "Elérhető" column says it.
const char* availabilityText(Availability availability);
// The marker's reason as the verdict's tooltip says it; empty for none.
const char* pageMarkerText(PageMarker marker);

// How a link is checked: the first page of the profile that claims it, in a
// page of the check's own, or, for a link no profile claims, the address's
// answer to a request for its headers.
enum class CheckWay : unsigned char { Page, Headers };

struct CheckJob {
    std::string link;
    std::string host; // one job of a host runs at a time
    CheckWay way = CheckWay::Page;
};

// One run of the link check: which links wait, which run and how many are
// done. Each way runs at most `slots` jobs at once, and a host one job at a
// time, so no host sees more than one of the check's requests at once.
// Every step is O(1) amortised, whatever the queue's length.
class LinkCheck {
  public:
    static constexpr int kSlots = 4;
    // The most jobs that run at once: every slot of both ways.
    static constexpr int kMostRunning = 2 * kSlots;

    explicit LinkCheck(int slots = kSlots) : slots_(slots) {}

    // Links may be added while the check runs.
    void add(CheckJob job);
    // The jobs that may start now, each marked running; an index stays the
    // job's for the whole run.
    std::vector<std::size_t> start();
    const CheckJob& job(std::size_t index) const { return jobs_[index]; }
    // A running job has ended: its host and its slot are free again; it
    // counts as done when it found something (not when a stop ended it). An
    // index that is not running is ignored.
    void finish(std::size_t index, bool found = true);
    // No job starts any more; running ones may still finish.
    void stop();

    std::size_t total() const { return jobs_.size(); }
    std::size_t done() const { return done_; }
    std::size_t running() const { return running_[0] + running_[1]; }
    bool stopped() const { return stopped_; }
    // Nothing waits and nothing runs.
    bool over() const { return running() == 0 && (stopped_ || ended_ == jobs_.size()); }

  private:
    enum class JobState : unsigned char { Waiting, Running, Done };
    struct Host {
        std::deque<std::size_t> waiting;
        bool busy = false;
        bool ready = false; // listed in its way's ready hosts
    };
    static int wayIndex(CheckWay way) { return way == CheckWay::Page ? 0 : 1; }
    void markReady(const std::string& hostKey, Host& host, CheckWay way);

    int slots_;
    std::vector<CheckJob> jobs_;
    std::vector<JobState> states_;
    std::unordered_map<std::string, Host> hosts_; // by way and host
    std::deque<std::string> ready_[2];            // hosts with a waiting job and none running
    std::size_t running_[2] = {0, 0};
    std::size_t done_ = 0;
    std::size_t ended_ = 0;
    bool stopped_ = false;
};

class CompiledProfile;

// What the first page's selector readers gave, read in the page itself.
struct SelectedTexts {
    std::optional<std::string> name, size, hash;
};

// What the markers of a profile and of its first step on the first page
// say of its link, in the order a download reads them: offline when it is
// dead or for premium users only, unknown when the host is down for now;
// nothing when none is on it.
std::optional<LinkFacts> markedFacts(const CompiledProfile& profile, std::string_view markup);

// What a profile's first page says of its link: what its markers say
// (markedFacts), else online with what its readers give. A size or hash that does not read is left
// out and its reader ("size", "hash") added to `unreadable`.
LinkFacts firstPageFacts(const CompiledProfile& profile, std::string_view markup,
                         const SelectedTexts& selected, std::vector<std::string>* unreadable);

// Whether the profile reads its first page by a selector: without the
// browser only where the page as sent holds what the selector finds.
bool readsFirstPageBySelector(const CompiledProfile& profile);

// The part of a document the browser's body markup holds: what stands
// between the body's tags, or the whole of it when it has none.
std::string_view bodyOf(std::string_view document);

// What the first page's document, as the server sent it, says of its link,
// when that is as sure as the browser's reading: what its markers say (on
// its body), or online with every reader of the profile answered, a
// selector's on the page parsed without its scripts. Nothing when a reader
// found nothing there (its value may be set by a script) or a selector
// could not be read so: the page is then loaded in the browser.
std::optional<LinkFacts> textPageFacts(const CompiledProfile& profile, std::string_view document);

// The answer to a request for a link's headers.
struct HeaderAnswer {
    bool timedOut = false;
    bool refusedAddress = false;    // not an address the program may fetch
    bool refusedConnection = false; // the server's machine turned the connection away
    bool whole = false;             // the answer's header lines came to their end
    int status = 0;                 // of the last answer; 0: none came
    std::optional<std::string> contentType, contentLength, contentDisposition;
};

// 404 and 410, or a refused connection, are offline; a 2xx answer whose
// headers came whole is online, with the file's length and name (none for a
// web page); anything else (a final 3xx, no answer, one cut short or late)
// is unknown: only a host's own word makes a link dead.
LinkFacts headerFacts(std::string_view link, const HeaderAnswer& answer);

// Whether a status says the link's file is gone for good.
bool isGoneStatus(int status);

// The check's results by link, as kept beside the queue. A copy shares the
// entries until either side changes them, so the snapshot a background save
// takes of 100,000 results costs the window's thread nothing. Copies are
// made on one thread only.
class LinkResults {
  public:
    LinkResults() = default;
    // No moves: a moved-from object would lose its entries' holder.
    LinkResults(const LinkResults&) = default;
    LinkResults& operator=(const LinkResults&) = default;

    const LinkFacts* find(const std::string& link) const;
    void set(const std::string& link, LinkFacts facts);
    void erase(const std::string& link);
    std::size_t size() const { return byLink_->size(); }
    bool empty() const { return byLink_->empty(); }
    const std::unordered_map<std::string, LinkFacts>& all() const { return *byLink_; }
    // Drops the entries of links no longer queued.
    void keepOnly(const std::vector<std::string>& links);

  private:
    using ByLink = std::unordered_map<std::string, LinkFacts>;
    ByLink& owned();
    std::shared_ptr<ByLink> byLink_ = std::make_shared<ByLink>();
};

} // namespace vardelo
