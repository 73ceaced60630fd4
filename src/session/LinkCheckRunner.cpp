#include "session/LinkCheckRunner.h"

#include "session/LinkCheckRequests.h"
#include "core/HostProfile.h"
#include "platform/Browser.h"
#include "platform/Diagnostics.h"
#include "platform/HttpClient.h"
#include "platform/QtText.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QUrl>

namespace vardelo {
namespace {

// Links added to the plan in one turn of the event loop: a long queue is
// taken in slices, so the window never waits for the whole of it.
constexpr std::size_t kSliceOfLinks = 2000;
// A check asks many hosts and finds out little of each: a host that has
// not answered in this time is not waited for longer, nor asked again in
// the same check.
constexpr std::chrono::milliseconds kCheckTimeout{30 * 1000};

// A first page that did not come as a 2xx page: the markers on what came
// of it count, as a download reads them; else only a gone status makes it
// offline, for only the host's own word makes a link dead.
LinkFacts unansweredPageFacts(const CompiledProfile& profile, const FetchedPage& page) {
    if (!page.markup.empty())
        if (auto marked = markedFacts(profile, bodyOf(page.markup)))
            return std::move(*marked);
    LinkFacts facts;
    if (page.gone)
        facts.availability = Availability::Offline;
    return facts;
}

} // namespace

// One hidden page and the job it works on.
struct LinkCheckRunner::PageSlot {
    // FailedPageMarkup: the markup of a page that failed to load, read for
    // its markers alone.
    enum class Step { Idle, Loading, Markup, FailedPageMarkup, Selectors };
    Browser* page = nullptr;
    QTimer* limit = nullptr;
    Step step = Step::Idle;
    std::size_t job = 0;
    quint64 ticket = 0;
    std::shared_ptr<const CompiledProfile> profile;
    std::string markup;
    SelectedTexts selected;
    int nextSelector = 0; // 0 name, 1 size, 2 hash
};

// A request on a worker thread: the link's headers, or its first page.
struct LinkCheckRunner::WorkerJob {
    std::shared_ptr<std::atomic<bool>> abort;
    QTimer* limit = nullptr;
    bool timedOut = false;
};

LinkCheckRunner::LinkCheckRunner(Browser& browser, HttpClient& http, const HostProfiles* profiles,
                                 QObject* parent)
    : QObject(parent), browser_(browser), http_(http), profiles_(profiles),
      pageTimeout_(kCheckTimeout), feeder_(new QTimer(this)), publisher_(new QTimer(this)) {
    // A thread for each job the plan may run at once (a page read as text
    // or a header request): a request's time limit runs from the moment it
    // is handed over, so none may wait for a thread while its time runs out.
    workers_.setMaxThreadCount(LinkCheck::kMostRunning);
    feeder_->setInterval(0);
    connect(feeder_, &QTimer::timeout, this, &LinkCheckRunner::feed);
    publisher_->setInterval(100);
    connect(publisher_, &QTimer::timeout, this, &LinkCheckRunner::publish);
}

LinkCheckRunner::~LinkCheckRunner() {
    for (auto& [job, headers] : workerJobs_)
        *headers.abort = true;
    workers_.waitForDone();
    dropPages();
}

void LinkCheckRunner::start(std::vector<std::string> links) {
    if (running_)
        return;
    plan_ = LinkCheck();
    hungHosts_.clear();
    links_ = std::move(links);
    fed_ = 0;
    running_ = true;
    changed_ = true;
    feeder_->start();
    publisher_->start();
    feed();
}

void LinkCheckRunner::feed() {
    const std::size_t end = std::min(links_.size(), fed_ + kSliceOfLinks);
    for (; fed_ < end; ++fed_) {
        const std::string& link = links_[fed_];
        if (const auto profile = profiles_ ? profiles_->forLink(link) : nullptr) {
            plan_.add({link, profile->profile().name, CheckWay::Page});
        } else {
            // A server is a host and a port: two servers of one machine are
            // asked side by side.
            const QUrl address(toQt(link));
            const int port = address.port(
                address.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443
                                                                                           : 80);
            plan_.add({link, toStd(address.host().toLower()) + ':' + std::to_string(port),
                       CheckWay::Headers});
        }
    }
    if (fed_ == links_.size())
        feeder_->stop();
    launch();
}

void LinkCheckRunner::launch() {
    // A job that ends as it starts (no engine for pages) frees its slot at once.
    for (std::vector<std::size_t> started = plan_.start(); !started.empty();
         started = plan_.start()) {
        for (const std::size_t job : started) {
            const CheckJob& planned = plan_.job(job);
            if (leftAlone_ && leftAlone_(planned.link)) {
                record(job, std::nullopt); // a download works on it
                continue;
            }
            if (hungHosts_.contains(planned.host)) {
                record(job, LinkFacts{});
                continue;
            }
            if (planned.way == CheckWay::Page)
                startPage(job);
            else
                startHeaders(job);
        }
    }
    endIfOver();
}

void LinkCheckRunner::stop() {
    if (!running_)
        return;
    plan_.stop();
    feeder_->stop();
    for (auto& page : pages_)
        if (page->step != PageSlot::Step::Idle)
            endPage(*page, std::nullopt, true);
    for (auto& [job, headers] : workerJobs_)
        *headers.abort = true; // their answers end them
    endIfOver();
}

void LinkCheckRunner::endIfOver() {
    // A stop ends the run even while links were still to be taken in.
    if (!running_ || (fed_ < links_.size() && !plan_.stopped()) || !plan_.over())
        return;
    running_ = false;
    publisher_->stop();
    // The hidden pages' processes are not kept for a next check.
    dropPages();
    publish();
    Q_EMIT ended(plan_.stopped());
}

void LinkCheckRunner::publish() {
    if (!std::exchange(changed_, false))
        return;
    Q_EMIT progressed();
}

void LinkCheckRunner::record(std::size_t job, std::optional<LinkFacts> facts) {
    const bool found = facts.has_value();
    if (facts) {
        facts->checkedAt = QDateTime::currentSecsSinceEpoch();
        results_.set(plan_.job(job).link, std::move(*facts));
    }
    plan_.finish(job, found);
    changed_ = true;
}

// Pages ----------------------------------------------------------------------

LinkCheckRunner::PageSlot* LinkCheckRunner::freePage() {
    for (auto& page : pages_)
        if (page->step == PageSlot::Step::Idle)
            return page.get();
    Browser* made = browser_.makeHiddenPage(this);
    if (!made)
        return nullptr;
    auto slot = std::make_unique<PageSlot>();
    PageSlot* raw = slot.get();
    raw->page = made;
    raw->limit = new QTimer(made);
    raw->limit->setSingleShot(true);
    connect(raw->limit, &QTimer::timeout, this, [this, raw] { pageTimedOut(*raw); });
    connect(made, &Browser::documentComplete, this, [this, raw](bool ok) { pageLoaded(*raw, ok); });
    connect(made, &Browser::bodyMarkupRead, this,
            [this, raw](quint64 ticket, bool ok, const QString& markup) {
                markupRead(*raw, ticket, ok, markup);
            });
    connect(made, &Browser::elementRead, this,
            [this, raw](quint64 ticket, bool ok, const QString& text) {
                elementRead(*raw, ticket, ok, text);
            });
    // A page that crashed or closed itself tells nothing more of its link.
    connect(made, &Browser::pageLost, this, [this, raw] {
        if (raw->step == PageSlot::Step::Idle)
            return;
        endPage(*raw, LinkFacts{}, true);
        launch();
    });
    pages_.push_back(std::move(slot));
    return raw;
}

void LinkCheckRunner::startPage(std::size_t job) {
    // A first page is fetched as text: the browser only loads it when the
    // text does not answer its readers.
    fetchPage(job, profiles_->forLink(plan_.job(job).link));
}

void LinkCheckRunner::loadPage(std::size_t job) {
    PageSlot* slot = freePage();
    if (!slot) { // no engine: such links stay unknown
        record(job, LinkFacts{});
        return;
    }
    const std::string& link = plan_.job(job).link;
    slot->job = job;
    slot->profile = profiles_->forLink(link);
    slot->markup.clear();
    slot->selected = {};
    slot->nextSelector = 0;
    slot->step = PageSlot::Step::Loading;
    slot->limit->start(pageTimeout_);
    const QString address = toQt(link);
    slot->page->presetCookies(address, slot->profile->profile().cookies);
    slot->page->navigate(address);
}

void LinkCheckRunner::pageLoaded(PageSlot& slot, bool ok) {
    if (slot.step != PageSlot::Step::Loading)
        return;
    // Why a page did not load is not told: no proof of a dead link. Its
    // error page may still carry the host's word, as a download reads it.
    if (!ok && !slot.profile->hasDeadPattern(0)) {
        endPage(slot, LinkFacts{}, false);
        launch();
        return;
    }
    slot.step = ok ? PageSlot::Step::Markup : PageSlot::Step::FailedPageMarkup;
    slot.page->readBodyMarkup(++slot.ticket);
}

void LinkCheckRunner::markupRead(PageSlot& slot, quint64 ticket, bool ok, const QString& markup) {
    const bool loaded = slot.step == PageSlot::Step::Markup;
    if ((!loaded && slot.step != PageSlot::Step::FailedPageMarkup) || ticket != slot.ticket)
        return;
    if (!ok) {
        endPage(slot, LinkFacts{}, true);
        launch();
        return;
    }
    slot.markup = toStd(markup);
    std::optional<LinkFacts> marked = markedFacts(*slot.profile, slot.markup);
    if (marked || !loaded) {
        endPage(slot, marked.value_or(LinkFacts{}), false);
        launch();
        return;
    }
    slot.step = PageSlot::Step::Selectors;
    readNextSelector(slot);
}

void LinkCheckRunner::readNextSelector(PageSlot& slot) {
    const ProfileStep& first = slot.profile->step(0);
    const std::optional<PageReader>* readers[] = {&first.fileName, &first.size, &first.hash};
    while (slot.nextSelector < 3) {
        const std::optional<PageReader>& reader = *readers[slot.nextSelector];
        if (reader && reader->kind == PageReader::Kind::Selector) {
            slot.page->readElement(++slot.ticket, toQt(reader->first),
                                   reader->hasAttribute ? toQt(reader->second) : QString());
            return;
        }
        ++slot.nextSelector;
    }
    std::vector<std::string> unreadable;
    LinkFacts facts = firstPageFacts(*slot.profile, slot.markup, slot.selected, &unreadable);
    for (const std::string& reader : unreadable)
        qCWarning(lcCycle).noquote()
            << "link check:" << toQt(reader) << "reader: nothing of a known form -"
            << toQt(plan_.job(slot.job).link);
    endPage(slot, std::move(facts), false);
    launch();
}

void LinkCheckRunner::elementRead(PageSlot& slot, quint64 ticket, bool ok, const QString& text) {
    if (slot.step != PageSlot::Step::Selectors || ticket != slot.ticket)
        return;
    std::optional<std::string>* targets[] = {&slot.selected.name, &slot.selected.size,
                                             &slot.selected.hash};
    if (ok)
        *targets[slot.nextSelector] = toStd(text);
    ++slot.nextSelector;
    readNextSelector(slot);
}

void LinkCheckRunner::pageTimedOut(PageSlot& slot) {
    if (slot.step == PageSlot::Step::Idle)
        return;
    qCWarning(lcBrowser).noquote()
        << "link check: the page did not answer in" << pageTimeout_.count() << "ms -"
        << toQt(plan_.job(slot.job).link);
    hungHosts_.insert(plan_.job(slot.job).host);
    endPage(slot, LinkFacts{}, true);
    launch();
}

void LinkCheckRunner::endPage(PageSlot& slot, std::optional<LinkFacts> facts, bool abandon) {
    slot.limit->stop();
    if (abandon)
        slot.page->abandonPage(); // whatever it still does ends with it
    slot.step = PageSlot::Step::Idle;
    ++slot.ticket; // late answers are dropped
    record(slot.job, std::move(facts));
}

void LinkCheckRunner::dropPages() {
    for (auto& slot : pages_) {
        // Nothing the page still sends reaches a slot that is gone.
        slot->page->disconnect(this);
        slot->limit->disconnect(this);
        slot->page->deleteLater();
    }
    pages_.clear();
}

// Header requests ------------------------------------------------------------

void LinkCheckRunner::startWorkerJob(std::size_t job,
                                     std::function<void(const std::atomic<bool>& abort)> work) {
    WorkerJob& running = workerJobs_[job];
    running.abort = std::make_shared<std::atomic<bool>>(false);
    running.limit = new QTimer(this);
    running.limit->setSingleShot(true);
    connect(running.limit, &QTimer::timeout, this, [this, job] {
        if (const auto found = workerJobs_.find(job); found != workerJobs_.end()) {
            found->second.timedOut = true;
            *found->second.abort = true;
        }
    });
    running.limit->start(pageTimeout_);
    // The runner waits for its workers before it goes, so `this` outlives them.
    workers_.start([work = std::move(work), abort = running.abort] { work(*abort); });
}

std::optional<bool> LinkCheckRunner::endWorkerJob(std::size_t job) {
    const auto found = workerJobs_.find(job);
    if (found == workerJobs_.end())
        return std::nullopt;
    const bool timedOut = found->second.timedOut;
    if (timedOut)
        hungHosts_.insert(plan_.job(job).host);
    delete found->second.limit;
    workerJobs_.erase(found);
    return timedOut;
}

void LinkCheckRunner::startHeaders(std::size_t job) {
    startWorkerJob(job, [this, http = &http_, link = plan_.job(job).link,
                         job](const std::atomic<bool>& abort) {
        bool aborted = false;
        const HeaderAnswer answer = askHeaders(*http, link, abort, &aborted);
        QMetaObject::invokeMethod(
            this, [this, job, answer, aborted] { headersAnswered(job, answer, aborted); },
            Qt::QueuedConnection);
    });
}

void LinkCheckRunner::headersAnswered(std::size_t job, const HeaderAnswer& answer, bool aborted) {
    const std::optional<bool> timedOut = endWorkerJob(job);
    if (!timedOut)
        return;
    if (aborted && !*timedOut) {
        record(job, std::nullopt); // stopped: nothing found
    } else {
        HeaderAnswer told = answer;
        told.timedOut = *timedOut;
        if (answer.status == 0 && !answer.refusedConnection && !answer.refusedAddress)
            hungHosts_.insert(plan_.job(job).host); // it took the request and said nothing
        record(job, headerFacts(plan_.job(job).link, told));
    }
    if (running_)
        launch();
}

// Pages read as text ---------------------------------------------------------

void LinkCheckRunner::fetchPage(std::size_t job, std::shared_ptr<const CompiledProfile> profile) {
    const std::string& link = plan_.job(job).link;
    // As the browser's page would ask: its cookies, the profile's own, its agent.
    HttpSession session = browser_.session();
    const std::string host = toStd(QUrl(toQt(link)).host());
    for (const auto& [name, value] : profile->profile().cookies)
        session.cookies.push_back({host, "/", false, 0, name, value});
    startWorkerJob(job, [this, http = &http_, link, session = std::move(session), job,
                         profile = std::move(profile)](const std::atomic<bool>& abort) {
        bool aborted = false;
        FetchedPage page = vardelo::fetchPage(*http, link, session, abort, &aborted);
        // The page is read here, not on the window's thread: a parse or a
        // pattern over a large page would hold its events.
        std::optional<LinkFacts> facts;
        if (!aborted)
            facts = page.answered ? textPageFacts(*profile, page.markup)
                                  : unansweredPageFacts(*profile, page);
        page.markup.clear();
        QMetaObject::invokeMethod(
            this,
            [this, job, page = std::move(page), facts = std::move(facts), aborted,
             bySelector = readsFirstPageBySelector(*profile)]() mutable {
                pageFetched(job, page, std::move(facts), bySelector, aborted);
            },
            Qt::QueuedConnection);
    });
}

void LinkCheckRunner::pageFetched(std::size_t job, const FetchedPage& page,
                                  std::optional<LinkFacts> facts, bool bySelector, bool aborted) {
    const std::optional<bool> timedOut = endWorkerJob(job);
    if (!timedOut)
        return;
    if (plan_.stopped() || (aborted && !*timedOut)) {
        record(job, std::nullopt); // stopped: nothing found
    } else if (*timedOut || page.refusedAddress) {
        record(job, LinkFacts{});
    } else if (page.silent) {
        hungHosts_.insert(plan_.job(job).host);
        record(job, LinkFacts{});
    } else if (!page.answered && bySelector) {
        // What a page read by selectors says when it is no 2xx page is
        // the browser's word, as a download reads it.
        loadPage(job);
    } else if (facts) {
        record(job, std::move(facts));
    } else {
        loadPage(job);
    }
    if (running_)
        launch();
}

} // namespace vardelo
