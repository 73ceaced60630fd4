#include "core/FileReply.h"
#include "core/HostProfile.h"

#include <gtest/gtest.h>

namespace vardelo {
namespace {

TEST(FileReply, OnlyADeclaredPageTypeOrAnUntypedHtmlStartIsAPage) {
    const std::string none = "<none>";
    const struct {
        std::string type; // "<none>": no Content-Type at all
        std::string name;
        std::string start;
        bool ended;
        ReplyBody reply;
    } cases[] = {
        {"text/html", "a.iso", "", false, ReplyBody::WebPage},
        {"Text/HTML; charset=utf-8", "a.iso", "", false, ReplyBody::WebPage},
        {" application/xhtml+xml ", "a.iso", "", false, ReplyBody::WebPage},
        {"text/html", "page.html", "<html>", true, ReplyBody::File},
        {"text/html", "PAGE.HTM", "", false, ReplyBody::File},
        {"text/htmlx", "a.iso", "", false, ReplyBody::File},
        {"text/plain", "a.txt", "<html>", true, ReplyBody::File},
        // A body that lies about its type is still the file.
        {"application/octet-stream", "a.iso", "<!DOCTYPE html><html>", true, ReplyBody::File},
        {none, "a.iso", "<!DOCTYPE html><html>", false, ReplyBody::WebPage},
        {"", "a.iso", "\xEF\xBB\xBF \r\n\t<HTML lang=en>", false, ReplyBody::WebPage},
        {none, "a.iso", "<head><title>x", false, ReplyBody::WebPage},
        {none, "a.iso", "  <BODY>", false, ReplyBody::WebPage},
        {none, "a.iso", "<!doctype html>", true, ReplyBody::WebPage},
        {none, "a.html", "<html>", true, ReplyBody::File},
        {none, "a.iso", "PK\x03\x04", false, ReplyBody::File},
        // The other openings a browser's sniffing counts, each followed by a
        // space or ">"; an XML declaration and a comment are looked past.
        {none, "a.iso", "<!-- built by hand --><html>", true, ReplyBody::WebPage},
        {none, "a.iso", "<!--\ncopyright\n-->\n<html>", true, ReplyBody::WebPage},
        {none, "a.iso", "<?xml version=\"1.0\"?>\n<html xmlns=\"x\">", true, ReplyBody::WebPage},
        {none, "a.iso", "\xEF\xBB\xBF<SCRIPT>go()", false, ReplyBody::WebPage},
        {none, "a.iso", "<title>x", false, ReplyBody::WebPage},
        {none, "a.iso", "\n<DIV class=x>", false, ReplyBody::WebPage},
        {none, "a.iso", "<p>Sorry", false, ReplyBody::WebPage},
        {none, "a.iso", "<table border=1>", false, ReplyBody::WebPage},
        {none, "a.iso", "<a href=\"/\">", false, ReplyBody::WebPage},
        {none, "a.iso", "<iframe src=x>", false, ReplyBody::WebPage},
        {none, "a.iso", "<b>Gone</b>", false, ReplyBody::WebPage},
        {none, "a.iso", "<br>", false, ReplyBody::WebPage},
        {none, "a.iso", "<h1>Gone</h1>", false, ReplyBody::WebPage},
        {none, "a.iso", "<font size=2>", false, ReplyBody::WebPage},
        {none, "a.iso", "<style>p{}", false, ReplyBody::WebPage},
        {none, "a.iso", "<pre>x", false, ReplyBody::File},
        {none, "a.iso", "<abc>", false, ReplyBody::File},
        {none, "a.iso", "<?xml version=\"1.0\"?><svg>", true, ReplyBody::File},
        {none, "a.iso", "<!--x--><svg>", true, ReplyBody::File},
        {none, "a.iso", "<p", false, ReplyBody::Undecided},
        {none, "a.iso", "<p", true, ReplyBody::File},
        {none, "a.iso", "<?xml version", false, ReplyBody::Undecided},
        {none, "a.iso", "<?xml version", true, ReplyBody::File},
        {none, "a.iso", "<!--x", false, ReplyBody::Undecided},
        {none, "a.iso", "<htm", false, ReplyBody::Undecided},
        {none, "a.iso", "<htm", true, ReplyBody::File},
        {none, "a.iso", "   ", false, ReplyBody::Undecided},
        {none, "a.iso", "", true, ReplyBody::File},
        // Blanks alone do not hold the body back for ever.
        {none, "a.iso", std::string(kBodyStartLimit, ' ') + "<html>", false, ReplyBody::File},
    };
    for (const auto& c : cases) {
        const std::string* type = c.type == none ? nullptr : &c.type;
        ReplyBody reply = replyByType(type, c.name);
        if (reply == ReplyBody::Undecided)
            reply = replyByStart(c.start, c.ended);
        EXPECT_EQ(reply, c.reply) << c.type << " | " << c.name << " | " << c.start;
    }
}

TEST(FileReply, APageForTheFileIsMatchedAgainstTheProfilesMarkersFirst) {
    HostProfile written;
    written.name = "Host";
    written.links = {"host"};
    written.dead = "File was removed";
    written.busy = "wait \\d+ minutes";
    written.afterWait = "#dl";
    std::string reason;
    const auto profile = CompiledProfile::compile(written, &reason);
    ASSERT_TRUE(profile) << reason;

    const struct {
        const CompiledProfile* profile;
        std::string page;
        std::string type;
        OutcomeKind outcome;
        FailureKind kind;
        std::string text;
    } cases[] = {
        {profile.get(), "<h2>File was removed</h2>", "text/html", OutcomeKind::DeadLink,
         FailureKind::FileGone, "the profile's dead pattern matches the page sent for the file"},
        {profile.get(), "<p>Please wait 45 minutes</p>", "text/html",
         OutcomeKind::WaitPageUnreadable, FailureKind::HostBusy,
         "the profile's busy pattern matches the page sent for the file"},
        {profile.get(), "Direct linking is not allowed", "text/html; charset=utf-8",
         OutcomeKind::TransferFailed, FailureKind::WebPage,
         "the host sent a web page instead of the file (Content-Type: text/html; "
         "charset=utf-8)"},
        {nullptr, "<h2>File was removed</h2>", "", OutcomeKind::TransferFailed,
         FailureKind::WebPage,
         "the host sent a web page instead of the file (no type declared, the body begins as "
         "HTML)"},
    };
    for (const auto& c : cases) {
        const AttemptResult result = pageForFileResult(c.profile, c.page, c.type);
        EXPECT_EQ(result.outcome, c.outcome) << c.page;
        EXPECT_EQ(result.reason.kind, c.kind) << c.page;
        EXPECT_EQ(result.reason.text, c.text) << c.page;
    }
    EXPECT_EQ(failureText(pageForFileResult(nullptr, "<html>", "text/html").reason),
              "A fájl helyett weblap érkezett");
}

TEST(FileReply, AProfileLinksFileIsNamedByTheReplyThenByTheAddressPath) {
    const std::string none = "<none>";
    const std::string address = "http://h/d/alpha.bin?t=tk2138005&u=1";
    const std::string longName = std::string(296, 'n') + ".bin";
    const struct {
        std::string disposition; // "<none>": no header
        std::string address;
        std::string name;
    } cases[] = {
        {none, address, "alpha.bin"},
        {none, "http://h/d/%C3%A1rv%C3%ADz%20t.bin#top", "\xC3\xA1rv\xC3\xADz t.bin"},
        {none, "http://h/d/a%2F..%2Fb.bin", "b.bin"},
        {none, "http://h/d/", ""},
        {none, "http://h", ""},
        {none, "http://h/d/100%.bin", "100%.bin"},
        {"attachment; filename=\"quoted name.bin\"", address, "quoted name.bin"},
        {"attachment; filename=plain.bin", address, "plain.bin"},
        {"attachment;filename = spaced out.bin ;size=3", address, "spaced out.bin"},
        {"attachment; filename=\"a \\\"b\\\";c.bin\"", address, "a \"b\";c.bin"},
        {"inline; filename=\"fallback.bin\"; filename*=UTF-8''%C3%A1rv%C3%ADzt%C5%B1r%C5%91.bin",
         address, "\xC3\xA1rv\xC3\xADzt\xC5\xB1r\xC5\x91.bin"},
        {"attachment; filename*=utf-8'hu'%C3%A9.bin; filename=\"e.bin\"", address, "\xC3\xA9.bin"},
        {"attachment; filename*=ISO-8859-1''%E9.bin", address, "\xC3\xA9.bin"},
        // An extended name that cannot be read gives way to the plain one.
        {"attachment; filename*=UTF-8''%FF.bin; filename=\"ok.bin\"", address, "ok.bin"},
        // An overlong "/" and a surrogate are no UTF-8.
        {"attachment; filename*=UTF-8''..%C0%AFx.bin; filename=\"ok.bin\"", address, "ok.bin"},
        {"attachment; filename*=UTF-8''%ED%A0%80.bin; filename=\"ok.bin\"", address, "ok.bin"},
        {"attachment; filename*=KOI8-R''%C1.bin; filename=\"ok.bin\"", address, "ok.bin"},
        {"attachment; filename*=UTF-8''%G1.bin", address, "alpha.bin"},
        {"attachment", address, "alpha.bin"},
        {"attachment; filename=\"\"", address, "alpha.bin"},
        // Hostile names go through the name rules.
        {"attachment; filename=\"../../.bashrc\"", address, "bashrc"},
        {"attachment; filename=\"..\\\\..\\\\win.ini\"", address, "win.ini"},
        {"attachment; filename*=UTF-8''a%00b%0A%1Bc%7F.bin", address, "abc.bin"},
        {"attachment; filename=\"/\"", address, "alpha.bin"},
        {"attachment; filename=\"..\"", address, "alpha.bin"},
        {"attachment; filename=\"   \"", address, "alpha.bin"},
        {"attachment; filename=\" . \"", address, "alpha.bin"},
        {none, "http://h/d/%20%20", ""},
        {"attachment; filename=\"" + longName + "\"", address, std::string(251, 'n') + ".bin"},
    };
    for (const auto& c : cases) {
        const std::string* header = c.disposition == none ? nullptr : &c.disposition;
        EXPECT_EQ(replyFileName(header, c.address), c.name) << c.disposition << " | " << c.address;
    }
    // The name a page showed comes after the reply's, before the address's,
    // through the same rules.
    const std::string given = "attachment; filename=given.bin";
    EXPECT_EQ(replyFileName(nullptr, address, "Shown name.bin"), "Shown name.bin");
    EXPECT_EQ(replyFileName(&given, address, "Shown name.bin"), "given.bin");
    EXPECT_EQ(replyFileName(nullptr, address, "../../.profile"), "profile");
    EXPECT_EQ(replyFileName(nullptr, address, ".."), "alpha.bin");
    EXPECT_EQ(replyFileName(nullptr, address, "  "), "alpha.bin");
}

} // namespace
} // namespace vardelo
