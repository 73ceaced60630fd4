#pragma once

#include "core/ExpectedFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace re2 {
class RE2;
}

namespace vardelo {

// Where a profile reads a value: between a marker and a terminator in the
// page's markup, as the first group of a pattern's first match in it, or in
// the page itself by a CSS selector (an attribute, or the element's text).
// Designed is the built-in steps' wait-page reader: read as Between, its
// value taken as they take it (an address as it stands, a wait by the
// runtime's integer conversion); no profile file can ask for it.
struct PageReader {
    enum class Kind { Between, Pattern, Selector, Designed };
    Kind kind = Kind::Between;
    std::string first;  // marker, pattern or selector
    std::string second; // terminator, or the attribute's name
    bool hasAttribute = false;
};

// The time a host asks a user to wait before the next try, in a unit.
struct RetryAfterReader {
    PageReader reader;
    std::string unit = "s"; // "s", "min" or "h"
};

// A folder page's files: every element the selector finds (its address the
// attribute, on the element or on the first one inside it that has it) or
// every match of the pattern (its first group). `name` and `size` read each
// entry: a selector inside its element, a pattern in its match.
struct FolderFiles {
    PageReader address;
    std::optional<PageReader> name;
    std::optional<PageReader> size;
};

// One file a folder page lists, as it lists it.
struct FolderEntry {
    std::string address;
    std::string name;
    std::string size;
};

// One page of a host's walk to its file: checked, waited out, then either
// an element pressed (leading to the next page or to the file) or the
// file's address read.
struct ProfileStep {
    std::string dead; // patterns over the step's page
    std::string busy;
    std::string premiumOnly; // the file is for paying users: given up at once
    std::string tempOffline; // the host is down for now: its links wait
    std::optional<RetryAfterReader> retryAfter;
    std::optional<PageReader> wait;
    std::string waitUnit = "s"; // of a number the wait reads without one
    std::string submit;         // selector of the element pressed after the wait
    std::optional<PageReader> address;
    std::optional<PageReader> fileName;      // the file's name as the page shows it
    std::string captcha;                     // selector of a captcha the user solves
    std::string password;                    // selector of the field the link's password goes in
    std::string wrongPassword;               // pattern: the page after the password refuses it
    std::optional<PageReader> captchaSolved; // non-empty once it is solved
    // What the page says of the file, checked when it has arrived.
    std::optional<PageReader> size;
    std::optional<PageReader> hash;
    std::optional<DigestKind> hashType; // none: by the digest's length
    // Profiles written before steps read their address with the page and
    // then count down; a step's own address is read after its wait.
    bool addressBeforeWait = false;

    // What only the compiled-in built-in profile sets; no profile file can.
    // `submit` is the id of a form, submitted the moment its page completes,
    // nothing of the page read; the page it leads to is the next step's.
    bool submitForm = false;
    // The page loading again during its wait is read afresh while the
    // countdown and the page's time limit run on.
    bool readsAgainDuringWait = false;
    // The step's name in the probe's lines, whose page lines then go
    // without it; empty: "step N".
    std::string name;
    // The page the last step's element led to where the file was awaited:
    // checked as a page of the walk, then failed as no file.
    bool afterLast = false;
    // Failure texts said as designed; empty: the walk's general words.
    struct Texts {
        std::string notLoaded;  // the page did not load
        std::string unreadable; // its text could not be read
        std::string noElement;  // nothing to submit
        std::string noAddress;
        std::string noWait;
    } texts;
};

// One file host's free-user pages, as a user writes them in a profile file.
// Every text is untrusted: patterns run only in RE2, selectors reach the
// page only as data.
struct HostProfile {
    std::string name;
    std::vector<std::string> links; // patterns searched in a link
    std::string dead;               // patterns over every page of the walk
    std::string busy;
    std::string premiumOnly;
    std::string tempOffline;
    std::optional<RetryAfterReader> retryAfter;
    std::string captcha;       // as a step's, on every page
    std::string wrongPassword; // as a step's, on every page
    std::optional<PageReader> captchaSolved;
    // The walk; empty: the keys below make it (a first step that presses
    // `form`, then one that waits and reads `address` or presses `afterWait`).
    std::vector<ProfileStep> steps;
    std::string form; // empty: the first page is the wait page
    std::optional<PageReader> wait;
    std::string waitUnit = "s";
    std::optional<PageReader> address;
    bool addressAfterWait = false;
    std::string afterWait; // the element that leads to the download
    // What the first page says of the file, where its first step does not
    // say it itself (the file's name is a step's only: "name" names the
    // profile).
    std::optional<PageReader> size;
    std::optional<PageReader> hash;
    std::optional<DigestKind> hashType;
    // Set in the browser for the host's pages before the first one loads
    // (a language or a consent cookie).
    std::vector<std::pair<std::string, std::string>> cookies;
    // How long a reader that finds nothing reads its page again, as scripts
    // may fill it in late.
    int settleSeconds = 10;
    // How many of the host's links may download at once.
    int perHost = 1;
    // Patterns and their replacements ("\\1" for a group), applied in order
    // to every link the profile claims, so that each file has one link.
    std::vector<std::pair<std::string, std::string>> rewrite;
    // The built-in profile's: the file is asked for as designed, without the
    // browser's session and named by its address.
    bool designedTransfer = false;
    // A folder's page: its files are queued in its place, nothing downloaded.
    std::optional<FolderFiles> files;
    std::optional<PageReader> package; // the folder's name
    std::optional<PageReader> next;    // the address of its next page
};

// A profile whose patterns RE2 has taken; shared, never changed.
class CompiledProfile {
  public:
    // The profile, or why it cannot be used.
    static std::shared_ptr<const CompiledProfile> compile(HostProfile profile, std::string* reason);
    ~CompiledProfile();

    const HostProfile& profile() const { return profile_; }
    bool claims(std::string_view link) const;
    // The walk, the shorthand keys made into steps; never empty.
    std::size_t stepCount() const { return steps_.size() - 1; }
    // A step of the walk, or at stepCount() the page after its last step
    // (afterLast): that page's dead, busy, premium_only and temp_offline
    // patterns are every step's, its retry_after the last step's.
    const ProfileStep& step(std::size_t index) const { return steps_[index].step; }
    // The profile's patterns and the step's own.
    bool isDead(std::size_t step, std::string_view page) const;
    bool isBusy(std::size_t step, std::string_view page) const;
    // Any step's or the profile's: for a page sent where the file was.
    bool isDead(std::string_view page) const;
    bool isBusy(std::string_view page) const;
    bool isPremiumOnly(std::size_t step, std::string_view page) const;
    bool isTempOffline(std::size_t step, std::string_view page) const;
    bool isPremiumOnly(std::string_view page) const;
    bool isTempOffline(std::string_view page) const;
    // The profile's and the step's wrong_password patterns.
    bool isWrongPassword(std::size_t step, std::string_view page) const;
    // Whether a page that failed to load could still tell more: a dead,
    // premium_only or temp_offline pattern of the step's, or of any step's.
    bool hasDeadPattern(std::size_t step) const;
    bool hasDeadPattern() const;
    // The step's own retry_after reader, else the profile's.
    const std::optional<RetryAfterReader>& retryAfter(std::size_t step) const;
    // A markup reader's value; nothing when it does not read, or is a selector.
    std::optional<std::string> readRetryAfter(std::size_t step, std::string_view markup) const;
    std::optional<std::string> readWait(std::size_t step, std::string_view markup) const;
    std::optional<std::string> readAddress(std::size_t step, std::string_view markup) const;
    std::optional<std::string> readFileName(std::size_t step, std::string_view markup) const;
    // The step's captcha selector and its solved reader, else the profile's.
    const std::string& captcha(std::size_t step) const;
    const std::optional<PageReader>& captchaSolved(std::size_t step) const;
    std::optional<std::string> readCaptchaSolved(std::size_t step, std::string_view markup) const;
    std::optional<std::string> readSize(std::size_t step, std::string_view markup) const;
    std::optional<std::string> readHash(std::size_t step, std::string_view markup) const;
    // The link in its canonical form, the rewrites applied in order; the
    // link as it stands when that form is no web link (isWebLink).
    std::string canonical(std::string_view link) const;
    bool isFolder() const { return profile_.files.has_value(); }
    // The entries a pattern `files` reader finds, at most `limit`; `more`
    // tells whether the markup lists more. None for a selector reader.
    std::vector<FolderEntry> readFolderEntries(std::string_view markup, std::size_t limit,
                                               bool* more) const;
    std::optional<std::string> readPackage(std::string_view markup) const;
    std::optional<std::string> readNextPage(std::string_view markup) const;

  private:
    CompiledProfile() = default;
    using Patterns = std::vector<const re2::RE2*>;
    // The patterns that mark a step's page: the profile's and the step's own.
    struct Marks {
        Patterns dead, busy, premiumOnly, tempOffline;
        const re2::RE2* retry = nullptr; // of its retry_after reader
    };
    struct CompiledStep {
        ProfileStep step;
        std::unique_ptr<re2::RE2> wrongPassword;
        std::unique_ptr<re2::RE2> dead, busy, premiumOnly, tempOffline, retryPattern, waitPattern,
            addressPattern, namePattern, solvedPattern, sizePattern, hashPattern;
        Marks marks;
    };
    bool compileSteps(std::vector<ProfileStep> steps, std::string* reason);
    Marks marksOf(const CompiledStep& step) const;
    void addAfterLastStep();
    // Whether a rewrite's replacement that writes a whole address keeps the
    // link on the web and the profile's.
    bool keepsItsLinks(const std::string& replacement) const;

    HostProfile profile_;
    std::vector<std::unique_ptr<re2::RE2>> links_;
    std::unique_ptr<re2::RE2> dead_, busy_, premiumOnly_, tempOffline_, retryPattern_,
        solvedPattern_, wrongPassword_;
    std::vector<CompiledStep> steps_;
    std::vector<std::unique_ptr<re2::RE2>> rewrites_;
    std::unique_ptr<re2::RE2> filesPattern_, entryNamePattern_, entrySizePattern_, packagePattern_,
        nextPattern_;
    bool compileFolder(const HostProfile& profile, std::string* reason);
};

// The steps that the keys written before steps stand for.
std::vector<ProfileStep> shorthandSteps(const HostProfile& profile);

// The profiles in the order their files were read. A link belongs to the
// first one with a pattern found in it; no profile: the built-in one.
class HostProfiles {
  public:
    // A profile of a name already present takes that one's place.
    void add(std::shared_ptr<const CompiledProfile> profile);
    std::shared_ptr<const CompiledProfile> forLink(std::string_view link) const;
    bool claims(std::string_view link) const { return forLink(link) != nullptr; }
    // The host a link's downloads count against: the name of the profile
    // that claims it, else its address's host and port.
    std::string hostKey(std::string_view link) const;
    // A claimed link in its profile's canonical form; any other as it is.
    std::string canonical(std::string_view link) const;
    std::size_t size() const { return profiles_.size(); }

  private:
    std::vector<std::shared_ptr<const CompiledProfile>> profiles_;
};

// Links from one source, as the queue takes them: a link a profile claims
// in its canonical form, unless that form is queued already or came earlier
// in the same batch; a link no profile claims as it is, every time.
struct LinksToQueue {
    std::vector<std::string> added;
    std::vector<std::string> alreadyQueued; // canonical forms
};
LinksToQueue linksToQueue(const std::vector<std::string>& links,
                          const std::vector<std::string>& queued, const HostProfiles* profiles);

// The designed reader with any markers: from just after the first marker up
// to the next terminator, the first character taken whatever it is.
std::optional<std::string> readBetween(std::string_view markup, std::string_view marker,
                                       std::string_view terminator);

// Character references (&amp; &lt; &gt; &quot; &apos; &#N; &#xN;) replaced
// by their characters; anything else is kept as it stands.
std::string decodeCharacterReferences(std::string_view text);

// An address a page's script has yet to write in: empty, "#" or a
// javascript: address, blanks around it allowed.
bool isPlaceholderAddress(std::string_view text);

// An address the program may fetch: http or https, in any letter case.
bool isHttpAddress(std::string_view address);
// A link as the queue takes one from a profile: an http or https address
// with no control character in it.
bool isWebLink(std::string_view link);

// The host and port an address names, in lower case ("files.example:443"),
// the scheme's port when none is written (80 for http, 443 for https); an
// address without "://" names its host from its start.
std::string addressHostPort(std::string_view address);

} // namespace vardelo
