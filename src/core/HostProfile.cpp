#include "core/HostProfile.h"

#include "core/AsciiCase.h"
#include "core/CookieLine.h"
#include "core/ListText.h"
#include "core/WaitPage.h"

#include <re2/re2.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <unordered_set>

namespace vardelo {
namespace {

std::unique_ptr<re2::RE2> compilePattern(const std::string& pattern, const char* key,
                                         std::string* reason) {
    re2::RE2::Options options;
    options.set_log_errors(false);
    auto compiled = std::make_unique<re2::RE2>(pattern, options);
    if (!compiled->ok()) {
        *reason = std::string("hibás minta (\"") + key + "\"): " + compiled->error();
        return nullptr;
    }
    return compiled;
}

// A pattern reader's pattern: it must have a group to give.
bool compileReader(const std::optional<PageReader>& reader, const char* key,
                   std::unique_ptr<re2::RE2>* into, std::string* reason) {
    if (!reader || reader->kind != PageReader::Kind::Pattern)
        return true;
    *into = compilePattern(reader->first, key, reason);
    if (!*into)
        return false;
    if ((*into)->NumberOfCapturingGroups() < 1) {
        *reason = std::string("a \"") + key + "\" mintájában nincs zárójeles csoport";
        return false;
    }
    return true;
}

bool compileOptional(const std::string& pattern, const char* key, std::unique_ptr<re2::RE2>* into,
                     std::string* reason) {
    if (pattern.empty())
        return true;
    *into = compilePattern(pattern, key, reason);
    return *into != nullptr;
}

std::optional<PageReader> retryReader(const std::optional<RetryAfterReader>& retry) {
    return retry ? std::optional(retry->reader) : std::nullopt;
}

bool searches(const std::unique_ptr<re2::RE2>& pattern, std::string_view text) {
    return pattern && re2::RE2::PartialMatch(text, *pattern);
}

bool searchesAny(const std::vector<const re2::RE2*>& patterns, std::string_view text) {
    return std::any_of(patterns.begin(), patterns.end(), [text](const re2::RE2* pattern) {
        return re2::RE2::PartialMatch(text, *pattern);
    });
}

void addPattern(std::vector<const re2::RE2*>& into, const std::unique_ptr<re2::RE2>& pattern) {
    if (pattern)
        into.push_back(pattern.get());
}

std::optional<std::string> readWith(const std::optional<PageReader>& reader,
                                    const re2::RE2* pattern, std::string_view markup) {
    if (!reader)
        return std::nullopt;
    switch (reader->kind) {
    case PageReader::Kind::Between:
    case PageReader::Kind::Designed:
        return readBetween(markup, reader->first, reader->second);
    case PageReader::Kind::Pattern: {
        std::string group;
        if (!pattern || !re2::RE2::PartialMatch(markup, *pattern, &group))
            return std::nullopt;
        return group;
    }
    case PageReader::Kind::Selector:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> readWith(const std::optional<PageReader>& reader,
                                    const std::unique_ptr<re2::RE2>& pattern,
                                    std::string_view markup) {
    return readWith(reader, pattern.get(), markup);
}

bool appendCodePoint(std::string& out, unsigned long code) {
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    return true;
}

// One reference's text between "&" and ";" decoded onto `out`.
bool decodeReference(std::string_view name, std::string& out) {
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [text, character] : kNamed) {
        if (name == text) {
            out += character;
            return true;
        }
    }
    if (name.size() < 2 || name.size() > 8 || name[0] != '#')
        return false;
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty())
        return false;
    unsigned long code = 0;
    for (const char c : digits) {
        int value = -1;
        if (c >= '0' && c <= '9')
            value = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            value = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            value = c - 'A' + 10;
        if (value < 0)
            return false;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(value);
    }
    return appendCodePoint(out, code);
}

// A first step takes the profile's own readers of the file where it has none.
std::vector<ProfileStep> withFirstPageReaders(const HostProfile& profile,
                                              std::vector<ProfileStep> steps) {
    if (steps.empty())
        return steps;
    ProfileStep& first = steps.front();
    if (!first.size)
        first.size = profile.size;
    if (!first.hash) {
        first.hash = profile.hash;
        first.hashType = profile.hashType;
    }
    return steps;
}

} // namespace

CompiledProfile::~CompiledProfile() = default;

std::shared_ptr<const CompiledProfile> CompiledProfile::compile(HostProfile profile,
                                                                std::string* reason) {
    std::shared_ptr<CompiledProfile> compiled(new CompiledProfile);
    for (const std::string& link : profile.links) {
        auto pattern = compilePattern(link, "links", reason);
        if (!pattern)
            return nullptr;
        compiled->links_.push_back(std::move(pattern));
    }
    if (!compileOptional(profile.dead, "dead", &compiled->dead_, reason) ||
        !compileOptional(profile.busy, "busy", &compiled->busy_, reason) ||
        !compileOptional(profile.premiumOnly, "premium_only", &compiled->premiumOnly_, reason) ||
        !compileOptional(profile.tempOffline, "temp_offline", &compiled->tempOffline_, reason) ||
        !compileOptional(profile.wrongPassword, "wrong_password", &compiled->wrongPassword_,
                         reason) ||
        !compileReader(retryReader(profile.retryAfter), "retry_after", &compiled->retryPattern_,
                       reason) ||
        !compileReader(profile.captchaSolved, "captcha_solved", &compiled->solvedPattern_, reason))
        return nullptr;
    if (profile.files) {
        if (!compiled->compileFolder(profile, reason))
            return nullptr;
    } else if (!compiled->compileSteps(withFirstPageReaders(profile, profile.steps.empty()
                                                                         ? shorthandSteps(profile)
                                                                         : profile.steps),
                                       reason))
        return nullptr;
    for (const auto& [name, value] : profile.cookies) {
        if (!isCookieName(name) || !isCookieValue(value)) {
            *reason = "a \"cookies\" sütije nem küldhető így: \"" + name + "\"";
            return nullptr;
        }
    }
    for (const auto& [pattern, replacement] : profile.rewrite) {
        auto compiledRewrite = compilePattern(pattern, "rewrite", reason);
        if (!compiledRewrite)
            return nullptr;
        if (std::string error; !compiledRewrite->CheckRewriteString(replacement, &error)) {
            *reason = "a \"rewrite\" cseréje hibás (\"" + replacement + "\"): " + error;
            return nullptr;
        }
        if (!compiled->keepsItsLinks(replacement)) {
            *reason = "a \"rewrite\" cseréje (\"" + replacement +
                      "\") olyan címet ír, amelyet a profil nem ismer fel";
            return nullptr;
        }
        compiled->rewrites_.push_back(std::move(compiledRewrite));
    }
    compiled->profile_ = std::move(profile);
    compiled->addAfterLastStep();
    return compiled;
}

bool CompiledProfile::compileSteps(std::vector<ProfileStep> steps, std::string* reason) {
    if (steps.empty()) {
        *reason = "a \"steps\" üres";
        return false;
    }
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const std::string at = "steps[" + std::to_string(i + 1) + "].";
        const auto key = [&](const char* name) { return at + name; };
        CompiledStep compiled;
        compiled.step = std::move(steps[i]);
        const ProfileStep& step = compiled.step;
        if (step.submit.empty() == !step.address) {
            *reason = "a \"steps\" " + std::to_string(i + 1) +
                      ". lépésében a \"submit\" és az \"address\" közül pontosan egy kell";
            return false;
        }
        if (!compileOptional(step.dead, key("dead").c_str(), &compiled.dead, reason) ||
            !compileOptional(step.busy, key("busy").c_str(), &compiled.busy, reason) ||
            !compileOptional(step.premiumOnly, key("premium_only").c_str(), &compiled.premiumOnly,
                             reason) ||
            !compileOptional(step.tempOffline, key("temp_offline").c_str(), &compiled.tempOffline,
                             reason) ||
            !compileOptional(step.wrongPassword, key("wrong_password").c_str(),
                             &compiled.wrongPassword, reason) ||
            !compileReader(retryReader(step.retryAfter), key("retry_after").c_str(),
                           &compiled.retryPattern, reason) ||
            !compileReader(step.wait, key("wait").c_str(), &compiled.waitPattern, reason) ||
            !compileReader(step.address, key("address").c_str(), &compiled.addressPattern,
                           reason) ||
            !compileReader(step.fileName, key("name").c_str(), &compiled.namePattern, reason) ||
            !compileReader(step.captchaSolved, key("captcha_solved").c_str(),
                           &compiled.solvedPattern, reason) ||
            !compileReader(step.size, key("size").c_str(), &compiled.sizePattern, reason) ||
            !compileReader(step.hash, key("hash").c_str(), &compiled.hashPattern, reason))
            return false;
        steps_.push_back(std::move(compiled));
    }
    return true;
}

// A folder's page is read, not walked: its one step only checks it.
bool CompiledProfile::compileFolder(const HostProfile& profile, std::string* reason) {
    if (!profile.steps.empty() || !profile.form.empty() || profile.wait || profile.address ||
        !profile.afterWait.empty()) {
        *reason = "a \"files\" mappát olvas: nem állhat mellette \"steps\", \"form\", "
                  "\"wait\", \"address\" vagy \"after_wait\"";
        return false;
    }
    const FolderFiles& files = *profile.files;
    const bool bySelector = files.address.kind == PageReader::Kind::Selector;
    if (!bySelector && files.address.kind != PageReader::Kind::Pattern) {
        *reason = "a \"files\" kijelölő (\"selector\") vagy minta (\"pattern\")";
        return false;
    }
    for (const auto& entry : {files.name, files.size}) {
        if (entry && (entry->kind == PageReader::Kind::Selector) != bySelector) {
            *reason = bySelector ? "a kijelölős \"files\" \"name\" és \"size\" olvasója is kijelölő"
                                 : "a mintás \"files\" \"name\" és \"size\" olvasója nem kijelölő";
            return false;
        }
    }
    if (!compileReader(files.address, "files", &filesPattern_, reason) ||
        !compileReader(files.name, "files.name", &entryNamePattern_, reason) ||
        !compileReader(files.size, "files.size", &entrySizePattern_, reason) ||
        !compileReader(profile.package, "package", &packagePattern_, reason) ||
        !compileReader(profile.next, "next", &nextPattern_, reason))
        return false;
    steps_.emplace_back();
    return true;
}

CompiledProfile::Marks CompiledProfile::marksOf(const CompiledStep& step) const {
    Marks marks;
    addPattern(marks.dead, dead_);
    addPattern(marks.dead, step.dead);
    addPattern(marks.busy, busy_);
    addPattern(marks.busy, step.busy);
    addPattern(marks.premiumOnly, premiumOnly_);
    addPattern(marks.premiumOnly, step.premiumOnly);
    addPattern(marks.tempOffline, tempOffline_);
    addPattern(marks.tempOffline, step.tempOffline);
    marks.retry = step.step.retryAfter ? step.retryPattern.get() : retryPattern_.get();
    return marks;
}

// Where the last step's element led to a page, that page may be any of
// the walk's telling the file gone or the host busy; a host asking to
// wait says it as at the last step.
void CompiledProfile::addAfterLastStep() {
    CompiledStep after;
    after.step.afterLast = true;
    after.step.retryAfter = retryAfter(steps_.size() - 1);
    after.marks = marksOf(after);
    after.marks.retry = marksOf(steps_.back()).retry;
    for (CompiledStep& step : steps_) {
        step.marks = marksOf(step);
        addPattern(after.marks.dead, step.dead);
        addPattern(after.marks.busy, step.busy);
        addPattern(after.marks.premiumOnly, step.premiumOnly);
        addPattern(after.marks.tempOffline, step.tempOffline);
    }
    steps_.push_back(std::move(after));
}

std::vector<FolderEntry> CompiledProfile::readFolderEntries(std::string_view markup,
                                                            std::size_t limit, bool* more) const {
    std::vector<FolderEntry> entries;
    *more = false;
    if (!filesPattern_)
        return entries;
    const re2::StringPiece text(markup.data(), markup.size());
    re2::StringPiece groups[2];
    for (std::size_t at = 0;
         at <= text.size() &&
         filesPattern_->Match(text, at, text.size(), re2::RE2::UNANCHORED, groups, 2);) {
        if (entries.size() == limit) {
            *more = true;
            break;
        }
        const std::string_view whole(groups[0].data(), groups[0].size());
        const FolderFiles& files = *profile_.files;
        entries.push_back({std::string(std::string_view(groups[1].data(), groups[1].size())),
                           readWith(files.name, entryNamePattern_, whole).value_or(""),
                           readWith(files.size, entrySizePattern_, whole).value_or("")});
        // An empty match moves on by one, so that the walk ends.
        at = static_cast<std::size_t>(groups[0].data() - text.data()) +
             std::max<std::size_t>(groups[0].size(), 1);
    }
    return entries;
}

std::optional<std::string> CompiledProfile::readPackage(std::string_view markup) const {
    return readWith(profile_.package, packagePattern_, markup);
}

std::optional<std::string> CompiledProfile::readNextPage(std::string_view markup) const {
    return readWith(profile_.next, nextPattern_, markup);
}

std::vector<ProfileStep> shorthandSteps(const HostProfile& profile) {
    std::vector<ProfileStep> steps;
    if (!profile.form.empty()) {
        steps.emplace_back().submit = profile.form;
    }
    ProfileStep waitPage;
    waitPage.wait = profile.wait;
    waitPage.waitUnit = profile.waitUnit;
    if (!profile.afterWait.empty()) {
        waitPage.submit = profile.afterWait;
        steps.push_back(std::move(waitPage));
        // Where the element leads to a page instead of the download, the
        // address is read there.
        if (profile.address)
            steps.emplace_back().address = profile.address;
        return steps;
    }
    waitPage.address = profile.address;
    waitPage.addressBeforeWait = !profile.addressAfterWait;
    steps.push_back(std::move(waitPage));
    return steps;
}

bool CompiledProfile::claims(std::string_view link) const {
    return std::any_of(links_.begin(), links_.end(),
                       [link](const auto& pattern) { return searches(pattern, link); });
}

bool CompiledProfile::isDead(std::size_t step, std::string_view page) const {
    return searchesAny(steps_[step].marks.dead, page);
}

bool CompiledProfile::isBusy(std::size_t step, std::string_view page) const {
    return searchesAny(steps_[step].marks.busy, page);
}

bool CompiledProfile::isDead(std::string_view page) const {
    return isDead(stepCount(), page);
}

bool CompiledProfile::isBusy(std::string_view page) const {
    return isBusy(stepCount(), page);
}

bool CompiledProfile::isPremiumOnly(std::size_t step, std::string_view page) const {
    return searchesAny(steps_[step].marks.premiumOnly, page);
}

bool CompiledProfile::isTempOffline(std::size_t step, std::string_view page) const {
    return searchesAny(steps_[step].marks.tempOffline, page);
}

bool CompiledProfile::isPremiumOnly(std::string_view page) const {
    return isPremiumOnly(stepCount(), page);
}

bool CompiledProfile::isTempOffline(std::string_view page) const {
    return isTempOffline(stepCount(), page);
}

bool CompiledProfile::isWrongPassword(std::size_t step, std::string_view page) const {
    return searches(wrongPassword_, page) || searches(steps_[step].wrongPassword, page);
}

bool CompiledProfile::hasDeadPattern(std::size_t step) const {
    const Marks& marks = steps_[step].marks;
    return !marks.dead.empty() || !marks.premiumOnly.empty() || !marks.tempOffline.empty();
}

bool CompiledProfile::hasDeadPattern() const {
    return hasDeadPattern(stepCount());
}

const std::optional<RetryAfterReader>& CompiledProfile::retryAfter(std::size_t step) const {
    const auto& own = steps_[step].step.retryAfter;
    return own ? own : profile_.retryAfter;
}

std::optional<std::string> CompiledProfile::readRetryAfter(std::size_t step,
                                                           std::string_view markup) const {
    return readWith(retryReader(retryAfter(step)), steps_[step].marks.retry, markup);
}

std::optional<std::string> CompiledProfile::readWait(std::size_t step,
                                                     std::string_view markup) const {
    return readWith(steps_[step].step.wait, steps_[step].waitPattern, markup);
}

std::optional<std::string> CompiledProfile::readAddress(std::size_t step,
                                                        std::string_view markup) const {
    return readWith(steps_[step].step.address, steps_[step].addressPattern, markup);
}

std::optional<std::string> CompiledProfile::readFileName(std::size_t step,
                                                         std::string_view markup) const {
    return readWith(steps_[step].step.fileName, steps_[step].namePattern, markup);
}

const std::string& CompiledProfile::captcha(std::size_t step) const {
    const std::string& own = steps_[step].step.captcha;
    return own.empty() ? profile_.captcha : own;
}

const std::optional<PageReader>& CompiledProfile::captchaSolved(std::size_t step) const {
    const auto& own = steps_[step].step.captchaSolved;
    return own ? own : profile_.captchaSolved;
}

std::optional<std::string> CompiledProfile::readCaptchaSolved(std::size_t step,
                                                              std::string_view markup) const {
    const bool own = steps_[step].step.captchaSolved.has_value();
    return readWith(captchaSolved(step), own ? steps_[step].solvedPattern : solvedPattern_, markup);
}

std::optional<std::string> CompiledProfile::readSize(std::size_t step,
                                                     std::string_view markup) const {
    return readWith(steps_[step].step.size, steps_[step].sizePattern, markup);
}

std::optional<std::string> CompiledProfile::readHash(std::size_t step,
                                                     std::string_view markup) const {
    return readWith(steps_[step].step.hash, steps_[step].hashPattern, markup);
}

namespace {

// An address written from its scheme on: "file:", "javascript:", "https:".
bool startsWithScheme(std::string_view text) {
    const auto colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos)
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) {
                           return std::isalnum(static_cast<unsigned char>(c)) || c == '+' ||
                                  c == '-' || c == '.';
                       }) &&
           std::isalpha(static_cast<unsigned char>(text[0]));
}

} // namespace

bool CompiledProfile::keepsItsLinks(const std::string& replacement) const {
    if (!startsWithScheme(replacement))
        return true; // a part of the link: its form is checked where it is made
    // What the replacement writes of its own, its groups' text left out.
    std::string fixed;
    for (std::size_t i = 0; i < replacement.size(); ++i) {
        if (replacement[i] == '\\' && i + 1 < replacement.size()) {
            if (replacement[i + 1] == '\\')
                fixed += '\\';
            ++i;
            continue;
        }
        fixed += replacement[i];
    }
    // A replacement of the scheme alone ("https:") keeps the rest of the link.
    const std::size_t colon = fixed.find(':');
    const std::string scheme = asciiLower(fixed.substr(0, colon));
    if (scheme != "http" && scheme != "https")
        return false;
    if (fixed.size() <= colon + 3 || fixed.compare(colon, 3, "://") != 0)
        return true;
    return isWebLink(fixed) && claims(fixed);
}

std::string CompiledProfile::canonical(std::string_view link) const {
    std::string text(link);
    for (std::size_t i = 0; i < rewrites_.size(); ++i)
        re2::RE2::Replace(&text, *rewrites_[i], profile_.rewrite[i].second);
    // A form that left the web is no form of the link: it stays as it came.
    if (!isWebLink(text))
        return std::string(link);
    return text;
}

std::string HostProfiles::canonical(std::string_view link) const {
    const auto profile = forLink(link);
    return profile ? profile->canonical(link) : std::string(link);
}

std::string HostProfiles::hostKey(std::string_view link) const {
    const auto profile = forLink(link);
    return profile ? profile->profile().name : addressHostPort(link);
}

LinksToQueue linksToQueue(const std::vector<std::string>& links,
                          const std::vector<std::string>& queued, const HostProfiles* profiles) {
    if (!profiles || profiles->size() == 0)
        return {links, {}};
    LinksToQueue result;
    // Links queued before a rewrite was written count in their canonical form too.
    std::unordered_set<std::string> present;
    for (const std::string& link : queued)
        present.insert(profiles->canonical(link));
    for (const std::string& link : links) {
        if (!profiles->claims(link)) {
            result.added.push_back(link);
            continue;
        }
        std::string form = profiles->canonical(link);
        if (!present.insert(form).second) {
            result.alreadyQueued.push_back(std::move(form));
            continue;
        }
        result.added.push_back(std::move(form));
    }
    return result;
}

void HostProfiles::add(std::shared_ptr<const CompiledProfile> profile) {
    const auto same = std::find_if(profiles_.begin(), profiles_.end(), [&](const auto& present) {
        return present->profile().name == profile->profile().name;
    });
    if (same != profiles_.end())
        *same = std::move(profile);
    else
        profiles_.push_back(std::move(profile));
}

std::shared_ptr<const CompiledProfile> HostProfiles::forLink(std::string_view link) const {
    for (const auto& profile : profiles_) {
        if (profile->claims(link))
            return profile;
    }
    return nullptr;
}

std::optional<std::string> readBetween(std::string_view markup, std::string_view marker,
                                       std::string_view terminator) {
    if (marker.empty() || terminator.empty())
        return std::nullopt;
    const auto text = textBetween(markup, marker, terminator);
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        // A reference is short: a page of ampersands costs no more than its length.
        const std::size_t semicolon =
            text[i] == '&' ? text.substr(i + 1, 10).find(';') : std::string_view::npos;
        if (semicolon != std::string_view::npos &&
            decodeReference(text.substr(i + 1, semicolon), out)) {
            i += semicolon + 2;
            continue;
        }
        out += text[i++];
    }
    return out;
}

bool isPlaceholderAddress(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n\f\v";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return true;
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    return text == "#" || asciiLower(text.substr(0, 11)) == "javascript:";
}

bool isHttpAddress(std::string_view address) {
    const std::string lower = asciiLower(address.substr(0, 8));
    return lower.starts_with("http://") || lower.starts_with("https://");
}

bool isWebLink(std::string_view link) {
    return isHttpAddress(link) && !hasControlCharacters(link);
}

std::string addressHostPort(std::string_view address) {
    std::string_view scheme;
    if (const auto end = address.find("://"); end != std::string_view::npos) {
        scheme = address.substr(0, end);
        address.remove_prefix(end + 3);
    }
    std::string_view authority = address.substr(0, address.find_first_of("/?#"));
    if (const auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    // An IPv6 address stands in brackets, its colons inside them.
    const auto bracket = authority.rfind(']');
    const auto colon = authority.rfind(':');
    const bool hasPort =
        colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket);
    const std::string host = asciiLower(hasPort ? authority.substr(0, colon) : authority);
    std::string_view port = hasPort ? authority.substr(colon + 1) : std::string_view();
    if (port.empty()) {
        const std::string lowerScheme = asciiLower(scheme);
        port = lowerScheme == "http" ? "80" : lowerScheme == "https" ? "443" : "";
    }
    return port.empty() ? host : host + ":" + std::string(port);
}

} // namespace vardelo
