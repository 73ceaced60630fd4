#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace vardelo {

// How the host serves one file.
struct HostedFile {
    enum class Mode {
        Length,    // Content-Length and the whole body
        Chunked,   // chunked transfer coding, no length
        NoLength,  // no length at all: the body ends when the connection closes
        Truncated, // announces the whole body, sends `sendBytes`, then closes
        Status,    // answers `status` with no file
        Redirect,  // answers 302 to `redirectTo` (a path on this host)
        Slow,      // Content-Length, then pieces of `pieceBytes` every `pieceDelayMs`

        // Resuming. Each sends ETag and Last-Modified, paces its pieces as
        // Slow does, and sends only `sendBytes` of its first GET when that is
        // not 0 (then closes, as Truncated does).
        Ranged,             // honours "Range: bytes=N-" (and If-Range) with a 206
        RangeRefused,       // answers every Range with a 200 and the whole file
        RangeWrongStart,    // a 206 that starts at half of the asked byte
        RangeWrongTotal,    // a 206 of the rest that claims a larger file
        RangeUnsatisfiable, // answers every Range with a 416
        // After its first GET serves `laterBody` under another ETag and
        // Last-Modified, and answers every Range with a 206 of it, If-Range
        // or not.
        RangeNewVersion,
        // Answers a Range with a 206 of the rest whose chunked body ends
        // cleanly halfway.
        RangeChunkedShort,
    };
    std::string body;
    Mode mode = Mode::Length;
    int status = 200;
    std::string redirectTo;
    std::string laterBody; // RangeNewVersion
    // Length: the Content-Type sent. Empty, the header comes with no value
    // (without the header the host library would send one of its own).
    std::string contentType = "application/octet-stream";
    std::string disposition; // a Content-Disposition header, when not empty
    // A GET without this Referer gets the host's hotlink page instead, as
    // a 200 of text/html (real hosts answer a link posted elsewhere so).
    std::string referer;
    // A presigned address (a CDN's): a request carrying an Authorization or
    // a Content-Type header is refused with 400, as S3 refuses a second
    // authentication.
    bool signedAddress = false;
    std::size_t sendBytes = 0;
    std::size_t pieceBytes = 64 * 1024;
    int pieceDelayMs = 0;
};

struct RecordedRequest {
    std::string method;
    std::string path;                           // with the query, as asked
    std::map<std::string, std::string> headers; // lower-case names
};

// A local file host for tests, the demo and the benchmarks. Its link pages
// hold the free-user form with id "ff"; submitting it gives the wait page
// with the form named "dlf" whose action is the file's address, and the
// waiting time in "var c=N;". Dead links have no form; busy links lead to a
// wait page without the markers. Files set a session cookie.
class TestHost {
  public:
    explicit TestHost(int port = 0); // 0: any free port on 127.0.0.1
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    int port() const { return port_; }
    std::string base() const;

    void setWaitSeconds(int seconds);
    void addFile(const std::string& name, HostedFile file);

    // Link pages. The file's address on the wait page is base + "/files/" +
    // `filePath` (so a test can give it a query or a trailing "/"); a path
    // written "raw:ADDRESS" puts ADDRESS on the wait page as it is.
    std::string linkFor(const std::string& filePath) const;
    std::string deadLinkFor(const std::string& name) const;
    // A link page whose script raises an alert and a confirmation first.
    std::string alertLinkFor(const std::string& name) const;
    std::string busyLinkFor(const std::string& name) const;

    // Hostile pages and replies.
    // A link page whose script never returns.
    std::string hangLinkFor(const std::string& name) const;
    // The file `name` sent gzip-coded, or under a coding nobody knows.
    std::string gzipFileAddress(const std::string& name) const;
    std::string unknownCodingFileAddress(const std::string& name) const;
    // Half of the gzip stream, then the connection closes.
    std::string cutGzipFileAddress(const std::string& name) const;
    // A 302 reply sending the client to `address`, on any host.
    std::string redirectAddress(const std::string& address) const;

    // Other hosts' page shapes, each walked by a profile file of
    // tests/e2e/HostProfiles. The file is `name` under /files/.
    // A form without an id, found by its action; the wait in an element's
    // text; the address relative, with "&amp;" for the "&" of a name.
    // A name starting "javascript" gets a javascript: address instead.
    std::string actionFormLinkFor(const std::string& name) const;
    // No form: the page counts down in script and writes the link in at
    // the end; a name starting "late" has its address fetched by XHR 1.5 s
    // after the end. "busy.bin" also says that no free slot is left. A name
    // written "raw:ADDRESS" links ADDRESS as it is.
    std::string countdownLinkFor(const std::string& name) const;
    // A page that says the file is gone, though it still has a form.
    std::string deadFormLinkFor(const std::string& name) const;
    // The same page sent with status 404, as many hosts send it.
    std::string offlineLinkFor(const std::string& name) const;
    // A button, then a countdown with a second form that is answered with a
    // redirect to the file (an HTML page when no such file is hosted; a name
    // "raw:ADDRESS" leads to that address).
    std::string redirectFormLinkFor(const std::string& name) const;

    // A host that binds its files to the session: its first page shows the
    // free form only with the language cookie "lang=en" (a profile presets
    // it) and sets the session cookie "xfss=k7Tq2" (and "dl=1" for the
    // file's path); the file, at /k/file/NAME, answers 403 to a request
    // without the session cookie.
    std::string sessionLinkFor(const std::string& name) const;

    // The XFileSharing script that many small hosts run. The link page's
    // form (hidden "op" = "download1", "id", "fname", "referer"; submit
    // buttons "method_free" and "method_premium") posts back to the link;
    // the free answer counts down in <span class="seconds"> and holds the
    // form "F1" (hidden "op" = "download2", "id", "rand", "referer",
    // "method_free"). F1 posted before the countdown ends gets the
    // "Skipped countdown" page; after it, a 302 to the file at
    // /d/TOKEN/NAME. The token serves one GET; the next GET gets 410.
    // A name not hosted gets the "File Not Found" page with status 404.
    std::string xfsLinkFor(const std::string& name) const;
    // The same script set to answer F1 with a page holding the direct link
    // in <span id="direct_link">.
    std::string xfsDirectLinkFor(const std::string& name) const;
    // Another XFileSharing host (redirect ending) whose users are told to
    // wait in seconds; see setNextDownloadWait.
    std::string xfsSecondsLinkFor(const std::string& name) const;
    // The free form of `name` is answered, on every XFileSharing host, with
    // "You have to wait AMOUNT UNIT till next download" (counting down from
    // the first time it is said; `unit` "seconds", "minutes" or "hours"),
    // and once that time is over with the countdown as usual. `atFile`: the
    // forms go as usual and the file's address says it instead, as a page
    // sent in place of the file.
    void setNextDownloadWait(const std::string& name, int amount, const std::string& unit,
                             bool atFile = false);
    // How the script answers F1 once the countdown is over.
    enum class XfsEnding {
        Redirect,       // a 302 to the file (/x/, /xs/)
        DirectLinkPage, // a page with the direct link (/xd/)
        // Post/redirect/get: a 302 to that page, at /xp/TOKEN; the page is
        // served to every GET of it.
        RedirectToPage,
        // A 302 to the file at an address of the token alone (/d/TOKEN): only
        // the pages name the file.
        RedirectNameless,
    };
    // F1 of `name` answered so on every XFileSharing host, whatever its own.
    void setXfsEnding(const std::string& name, XfsEnding ending);

    // Two captcha widgets of the host's own, shaped as free hosts use them.
    // A checkbox widget (reCAPTCHA's shape): clicked, it asks the host for a
    // token by XHR and writes it into the hidden
    // textarea[name=g-recaptcha-response] beside it. The link page holds the
    // widget in the free form "free" (posting back to the link) beside a
    // countdown of the host's wait in <span class="seconds">. The form posted
    // before the countdown ends gets "Skipped countdown"; without a token the
    // host gave (each is good once), "Please complete the captcha"; else the
    // page with the direct link to /files/NAME in <span id="direct_link">.
    // A name not hosted gets "File Not Found" with status 404.
    std::string captchaLinkFor(const std::string& name) const;
    // The widget of `name` is put in by the page's script only when its
    // countdown ends.
    void setCaptchaAfterWait(const std::string& name);
    // An image with a code (an SVG of the text), typed into input[name=code]
    // of the form "f" and sent by the page's own button. A wrong code gets
    // "Wrong captcha" and the form again with a new code; the right one the
    // direct-link page. Each code is good for one post.
    std::string imageCaptchaLinkFor(const std::string& name) const;
    // The code the image last shown for `name` reads; empty before any.
    std::string imageCodeFor(const std::string& name) const;
    // Captcha tokens the checkbox widget has fetched.
    int captchaTokensGiven() const;

    std::vector<RecordedRequest> requests() const;
    std::vector<RecordedRequest> fileRequests() const; // GET and HEAD of /files/...
    // GETs whose path, query included, matches `pathPattern` as a whole
    // (ECMAScript): a token in the address need not be known.
    int getsOf(const std::string& pathPattern) const;
    // Body bytes the resuming modes have sent.
    std::uint64_t rangedBytesSent() const { return rangedBytesSent_.load(); }

    // A host whose link page (/sum/NAME) shows the file's name, its size and
    // its checksum as `showOnPage` sets them (nothing shown until then), and
    // links the file at /files/NAME.
    std::string checksumLinkFor(const std::string& name) const;
    void showOnPage(const std::string& name, const std::string& size, const std::string& digest);
    // The checksum left out of the page as sent, written in by its script.
    void showOnPageByScript(const std::string& name, const std::string& size,
                            const std::string& digest);

    // Pages whose script does the work, as many hosts' do.
    // "Slow download" (a.btn-free) starts a countdown of the host's wait by
    // XHR on the same page, shown in <span id="secs">; at its end the page
    // asks for the link (refused before the host's wait is over) and writes
    // <a id="go"> to the file under /files/ in.
    std::string clickCountdownLinkFor(const std::string& name) const;
    // The host's wait written as "MM:SS" (clockWait) or as "M min S s" in
    // <span id="wait">, beside <a id="go">; the file's address refuses a GET
    // that comes before the wait is over. The words are written in by script
    // a second after load, "calculating..." standing there until then.
    std::string clockWaitLinkFor(const std::string& name) const;
    std::string wordsWaitLinkFor(const std::string& name) const;
    // <a id="go" href="javascript:void(0)">, its address written in by the
    // page's script a second after load.
    std::string placeholderLinkFor(const std::string& name) const;
    // "This file is available for Premium Users only."
    std::string premiumLinkFor(const std::string& name) const;
    // "This server is temporarily unavailable", for ten minutes from the
    // first visit; a name starting "soon" adds "Please try again in 2
    // seconds" and shows the link after that time.
    std::string maintenanceLinkFor(const std::string& name) const;
    // A GET form whose own answer is the file (Content-Disposition
    // attachment), at /g/; its token serves one GET, the next gets 410.
    std::string getFormLinkFor(const std::string& name) const;
    // Its POST variant, as a large file's confirm page, at /gp/: the
    // form's token, a hidden op, a note of two lines and the pressed
    // button's name and value go by POST (multipart for a name starting
    // "mp"), with the page's cookie and the page as Referer. Answered with
    // the file once; anything else, and a GET of its action, gets 410. At
    // /gw/ the form asks for the file's password too (setFilePassword): a
    // wrong one is answered "Wrong password", and the token is spent.
    std::string postFormLinkFor(const std::string& name) const;
    std::string passwordPostFormLinkFor(const std::string& name) const;
    // A POST form answered with the file four seconds late, at /gl/; a GET
    // of its action gets the file at once.
    std::string lateFormLinkFor(const std::string& name) const;
    // A countdown page (as countdownLinkFor) of a name starting "tick"
    // reports the milliseconds its ticks took; -1 before it has.
    int tickedMilliseconds(const std::string& name) const;
    // Folders, as file hosts list a user's folder: the heading "Files in
    // <span>NAME</span>", a table of rows (class "file") each with the
    // file's link and its size, and on every page but the last a "Next"
    // link to ?page=N, at /folder/ID. An id not added answers "This folder
    // does not exist" with status 404; a folder of no files says "This
    // folder is empty". Hrefs are written as given, HTML-escaped.
    struct FolderItem {
        std::string href, name, size;
    };
    struct HostedFolder {
        std::string name;
        std::vector<std::vector<FolderItem>> pages;
        bool lastLinksFirst = false; // the last page's "Next" leads to the first again
        // A link protector's checkbox comes first; its form stays on the pages, as done.
        bool protectedByCaptcha = false;
        std::string lastLinksTo{}; // where the last page's "Next" leads, when not empty
    };
    void addFolder(const std::string& id, HostedFolder folder);
    std::string folderLinkFor(const std::string& id) const;
    // A link list as link protectors show a folder, at /list/ID: one
    // <div class="link"><a href="HREF">NAME</a></div> for each item.
    void addLinkList(const std::string& id, std::vector<FolderItem> items);
    std::string linkListFor(const std::string& id) const;

    // A file behind a password, as XFileSharing hosts protect one: the page
    // at /pw/NAME holds the form "pf" with input[name=password]; posted
    // with the file's password it answers the page with the direct link to
    // /files/NAME in <span id="direct_link">, else "Wrong password" and the
    // form again.
    std::string passwordLinkFor(const std::string& name) const;
    void setFilePassword(const std::string& name, const std::string& password);
    // The passwords posted for `name`, in order.
    std::vector<std::string> passwordsPosted(const std::string& name) const;

  private:
    void route();
    void routeFolders();
    void routeFormHosts();
    void routePasswordHost();
    std::string folderPage(const std::string& id, int page);
    void routeHostile();
    void routeOtherHosts();
    void routeSessionHost();
    void routeXfsHost();
    void routeCaptchaHosts();
    std::string captchaPage(const std::string& name);
    std::string imageCaptchaForm(const std::string& name);
    void serveXfs(const std::string& prefix, const void* request, void* response);
    // The wait `name` is told now, at its forms or at its file; empty when none.
    std::string nextDownloadWaitText(const std::string& name, bool atFile);
    int waitSeconds() const;
    void serveFile(const std::string& name, const void* request, void* response);
    void serveRanged(const HostedFile& file, std::shared_ptr<const std::string> body, bool firstGet,
                     const void* request, void* response);
    std::string fileAddress(const std::string& filePath) const;

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::map<std::string, HostedFile> files_;
    std::vector<RecordedRequest> requests_;
    int waitSeconds_ = 0;
    int sessions_ = 0;
    std::map<std::string, int> gets_;

    struct XfsCountdown {
        std::string name;
        std::chrono::steady_clock::time_point over;
    };
    struct XfsWait {
        int seconds = 0; // of one unit
        int amount = 0;
        std::string unit;
        std::chrono::steady_clock::time_point over{}; // set when first said
        bool said = false;
        bool atFile = false;
    };
    struct XfsToken {
        std::string name;
        int gets = 0;
    };
    std::map<std::string, XfsCountdown> xfsCountdowns_; // by "rand"
    std::map<std::string, XfsWait> xfsWaits_;           // by name
    std::map<std::string, XfsEnding> xfsEndings_;       // by name
    std::map<std::string, XfsToken> xfsTokens_;
    int xfsSerial_ = 0;

    struct CaptchaForm {
        std::string name;
        std::chrono::steady_clock::time_point over; // the countdown's end
    };
    std::map<std::string, CaptchaForm> captchaForms_; // by "rand"
    std::set<std::string> captchaTokens_;             // given, not yet used
    std::set<std::string> captchaAfterWait_;          // by name
    int captchaTokensGiven_ = 0;
    struct ImageCaptcha {
        std::string name;
        std::string code;
    };
    std::map<std::string, ImageCaptcha> imageCaptchas_; // by "rand"
    std::map<std::string, std::string> lastImageCode_;  // by name
    std::atomic<std::uint64_t> rangedBytesSent_{0};

    std::map<std::string, HostedFolder> folders_;
    std::map<std::string, std::vector<FolderItem>> linkLists_;
    std::map<std::string, std::string> filePasswords_;                // by name
    std::map<std::string, std::vector<std::string>> passwordsPosted_; // by name

    void routeChecksumHost();
    std::map<std::string, std::pair<std::string, std::string>> shownOnPage_; // size, digest
    std::set<std::string> scriptedDigests_;

    void routeScriptedHosts();
    using Clock = std::chrono::steady_clock;
    std::map<std::string, Clock::time_point> clickStarts_; // by name
    std::map<std::string, Clock::time_point> waitsIssued_; // by token
    std::map<std::string, Clock::time_point> firstVisits_; // by name
    struct FormToken {
        std::string name;
        std::string method; // the form's, "GET" or "POST"
        bool used = false;
    };
    std::map<std::string, FormToken> formTokens_;
    std::map<std::string, int> ticked_; // by name
};

} // namespace vardelo
