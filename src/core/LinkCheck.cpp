#include "core/LinkCheck.h"

#include "core/AsciiCase.h"
#include "core/FileReply.h"
#include "core/HostProfile.h"
#include "core/StaticPage.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <unordered_set>

namespace vardelo {

const char* availabilityText(Availability availability) {
    switch (availability) {
    case Availability::Online:
        return "igen";
    case Availability::Offline:
        return "nem";
    case Availability::Unknown:
        break;
    }
    return "ismeretlen";
}

const char* pageMarkerText(PageMarker marker) {
    switch (marker) {
    case PageMarker::PremiumOnly:
        return "Csak prémium felhasználóknak";
    case PageMarker::TempOffline:
        return "Átmenetileg nem elérhető";
    case PageMarker::None:
        break;
    }
    return "";
}

namespace {

// Pages and header requests are counted apart: a host's page and another
// link's header request may run side by side.
std::string hostKey(const CheckJob& job) {
    return (job.way == CheckWay::Page ? "p:" : "h:") + job.host;
}

} // namespace

void LinkCheck::add(CheckJob job) {
    const std::size_t index = jobs_.size();
    const std::string key = hostKey(job);
    const CheckWay way = job.way;
    jobs_.push_back(std::move(job));
    states_.push_back(JobState::Waiting);
    Host& host = hosts_[key];
    host.waiting.push_back(index);
    markReady(key, host, way);
}

void LinkCheck::markReady(const std::string& key, Host& host, CheckWay way) {
    if (host.busy || host.ready || host.waiting.empty())
        return;
    host.ready = true;
    ready_[wayIndex(way)].push_back(key);
}

std::vector<std::size_t> LinkCheck::start() {
    std::vector<std::size_t> started;
    if (stopped_)
        return started;
    for (int way = 0; way < 2; ++way) {
        while (running_[way] < static_cast<std::size_t>(slots_) && !ready_[way].empty()) {
            Host& host = hosts_[ready_[way].front()];
            ready_[way].pop_front();
            host.ready = false;
            const std::size_t index = host.waiting.front();
            host.waiting.pop_front();
            host.busy = true;
            states_[index] = JobState::Running;
            ++running_[way];
            started.push_back(index);
        }
    }
    return started;
}

void LinkCheck::finish(std::size_t index, bool found) {
    if (index >= jobs_.size() || states_[index] != JobState::Running)
        return;
    states_[index] = JobState::Done;
    ++ended_;
    if (found)
        ++done_;
    const CheckJob& ended = jobs_[index];
    --running_[wayIndex(ended.way)];
    const std::string key = hostKey(ended);
    Host& host = hosts_[key];
    host.busy = false;
    markReady(key, host, ended.way);
}

void LinkCheck::stop() {
    stopped_ = true;
}

namespace {

// A reader's text as the page shows it: references decoded, blanks around cut.
std::string shownText(const std::string& text) {
    std::string decoded = decodeCharacterReferences(text);
    const auto first = decoded.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    const auto last = decoded.find_last_not_of(" \t\r\n");
    return decoded.substr(first, last - first + 1);
}

std::optional<std::string> readerText(const std::optional<PageReader>& reader,
                                      const std::optional<std::string>& selected,
                                      std::optional<std::string> fromMarkup) {
    if (!reader)
        return std::nullopt;
    return reader->kind == PageReader::Kind::Selector ? selected : fromMarkup;
}

} // namespace

std::optional<LinkFacts> markedFacts(const CompiledProfile& profile, std::string_view markup) {
    LinkFacts facts;
    if (profile.isDead(0, markup)) {
        facts.availability = Availability::Offline;
    } else if (profile.isPremiumOnly(0, markup)) {
        facts.availability = Availability::Offline;
        facts.marker = PageMarker::PremiumOnly;
    } else if (profile.isTempOffline(0, markup)) {
        facts.marker = PageMarker::TempOffline; // it may be there later
    } else {
        return std::nullopt;
    }
    return facts;
}

LinkFacts firstPageFacts(const CompiledProfile& profile, std::string_view markup,
                         const SelectedTexts& selected, std::vector<std::string>* unreadable) {
    if (auto marked = markedFacts(profile, markup))
        return std::move(*marked);
    LinkFacts facts;
    facts.availability = Availability::Online;
    const ProfileStep& first = profile.step(0);
    if (const auto name =
            readerText(first.fileName, selected.name, profile.readFileName(0, markup)))
        facts.name = shownText(*name);
    if (const auto size = readerText(first.size, selected.size, profile.readSize(0, markup))) {
        facts.size = readSizeText(shownText(*size));
        if (!facts.size && unreadable)
            unreadable->push_back("size");
    }
    if (const auto hash = readerText(first.hash, selected.hash, profile.readHash(0, markup))) {
        facts.digest = readDigest(shownText(*hash), first.hashType);
        if (!facts.digest && unreadable)
            unreadable->push_back("hash");
    }
    return facts;
}

bool readsFirstPageBySelector(const CompiledProfile& profile) {
    const ProfileStep& first = profile.step(0);
    for (const std::optional<PageReader>* reader : {&first.fileName, &first.size, &first.hash})
        if (*reader && (*reader)->kind == PageReader::Kind::Selector)
            return true;
    return false;
}

std::string_view bodyOf(std::string_view document) {
    const std::string lower = asciiLower(document);
    std::size_t open = lower.find("<body");
    // "<bodyx" is no body tag.
    while (open != std::string::npos && open + 5 < lower.size() &&
           std::string_view(" \t\r\n>/").find(lower[open + 5]) == std::string_view::npos)
        open = lower.find("<body", open + 5);
    if (open == std::string::npos)
        return document;
    const std::size_t start = lower.find('>', open);
    if (start == std::string::npos)
        return document.substr(document.size());
    const std::size_t end = lower.rfind("</body");
    return document.substr(start + 1, end == std::string::npos || end < start
                                          ? std::string_view::npos
                                          : end - start - 1);
}

std::optional<LinkFacts> textPageFacts(const CompiledProfile& profile, std::string_view document) {
    const std::string_view body = bodyOf(document);
    if (auto marked = markedFacts(profile, body))
        return marked;
    SelectedTexts selected;
    const ProfileStep& first = profile.step(0);
    if (readsFirstPageBySelector(profile)) {
        // The browser's selectors see the whole document, its head too.
        const StaticPage page(document);
        const std::pair<const std::optional<PageReader>*, std::optional<std::string>*> reads[] = {
            {&first.fileName, &selected.name},
            {&first.size, &selected.size},
            {&first.hash, &selected.hash}};
        for (const auto& [reader, text] : reads) {
            if (!*reader || (*reader)->kind != PageReader::Kind::Selector)
                continue;
            *text = page.read((*reader)->first,
                              (*reader)->hasAttribute ? (*reader)->second : std::string());
            if (!*text)
                return std::nullopt; // the browser reads them all
        }
    }
    LinkFacts facts = firstPageFacts(profile, body, selected, nullptr);
    if ((first.fileName && facts.name.empty()) || (first.size && !facts.size) ||
        (first.hash && !facts.digest))
        return std::nullopt;
    return facts;
}

bool isGoneStatus(int status) {
    return status == 404 || status == 410;
}

LinkFacts headerFacts(std::string_view link, const HeaderAnswer& answer) {
    LinkFacts facts;
    if (answer.timedOut || answer.refusedAddress)
        return facts;
    if (answer.refusedConnection || isGoneStatus(answer.status)) {
        facts.availability = Availability::Offline;
        return facts;
    }
    // Headers dripped until the time ran out say nothing of the file.
    if (!answer.whole || answer.status < 200 || answer.status > 299)
        return facts;
    facts.availability = Availability::Online;
    // A link that answers with a page is a host's page, not the file: its
    // length and its address's name say nothing of a file.
    if (answer.contentType && declaresWebPage(*answer.contentType))
        return facts;
    if (answer.contentLength) {
        const std::string& text = *answer.contentLength;
        std::int64_t bytes = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), bytes);
        // Digits only: "-0" and "+5" are no length either.
        const bool digits = !text.empty() && text[0] >= '0' && text[0] <= '9';
        if (digits && error == std::errc{} && end == text.data() + text.size())
            facts.size = SizeReading{bytes, true};
    }
    std::optional<std::string> named;
    if (answer.contentDisposition)
        named = contentDispositionName(*answer.contentDisposition);
    facts.name = named ? safeFileName(*named) : addressFileName(link);
    return facts;
}

LinkResults::ByLink& LinkResults::owned() {
    // Copies are made on one thread only: a count of 1 cannot grow.
    if (byLink_.use_count() > 1)
        byLink_ = std::make_shared<ByLink>(*byLink_);
    else // a copy released on another thread has finished reading
        std::atomic_thread_fence(std::memory_order_acquire);
    return *byLink_;
}

const LinkFacts* LinkResults::find(const std::string& link) const {
    const auto found = byLink_->find(link);
    return found == byLink_->end() ? nullptr : &found->second;
}

void LinkResults::set(const std::string& link, LinkFacts facts) {
    owned()[link] = std::move(facts);
}

void LinkResults::erase(const std::string& link) {
    if (byLink_->contains(link))
        owned().erase(link);
}

void LinkResults::keepOnly(const std::vector<std::string>& links) {
    const std::unordered_set<std::string> queued(links.begin(), links.end());
    const auto gone = [&](const auto& entry) { return !queued.contains(entry.first); };
    if (std::any_of(byLink_->begin(), byLink_->end(), gone))
        std::erase_if(owned(), gone);
}

} // namespace vardelo
