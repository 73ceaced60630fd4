#include "core/LinkCheck.h"
#include "core/HostProfile.h"
#include "core/StaticPage.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace vardelo {
namespace {

using Indices = std::vector<std::size_t>;

CheckJob page(std::string link, std::string host) {
    return {std::move(link), std::move(host), CheckWay::Page};
}

TEST(LinkCheckPlan, OneJobPerHostAndAtMostTheSlotsOfEachWayRunAtOnce) {
    LinkCheck check(2);
    check.add(page("a1", "a"));
    check.add(page("a2", "a"));
    check.add(page("b1", "b"));
    check.add(page("c1", "c"));
    check.add({"h1", "a", CheckWay::Headers}); // another way: not held by host a's page
    EXPECT_EQ(check.start(), (Indices{0, 2, 4}));
    EXPECT_EQ(check.start(), Indices{});
    check.finish(0);
    check.finish(0); // told twice: counted once
    EXPECT_EQ(check.done(), 1u);
    EXPECT_EQ(check.start(), (Indices{3})); // c waited for a slot; a2 waits behind it
    check.finish(2);
    EXPECT_EQ(check.start(), (Indices{1}));
    for (const std::size_t index : {1u, 3u, 4u})
        check.finish(index);
    EXPECT_TRUE(check.over());
    EXPECT_EQ(check.done(), 5u);

    LinkCheck growing; // a link added while its host runs waits for it
    growing.add(page("a1", "a"));
    EXPECT_EQ(growing.start(), (Indices{0}));
    growing.add(page("a2", "a"));
    EXPECT_EQ(growing.start(), Indices{});
}

TEST(LinkCheckPlan, StopStartsNothingMoreAndIsOverWhenTheRunningEnd) {
    LinkCheck check;
    for (int i = 0; i < 3; ++i)
        check.add(page("l" + std::to_string(i), "h"));
    EXPECT_EQ(check.start().size(), 1u);
    check.stop();
    EXPECT_FALSE(check.over());
    check.finish(0, false); // ended by the stop: found nothing
    EXPECT_TRUE(check.start().empty());
    EXPECT_TRUE(check.over());
    EXPECT_EQ(check.done(), 0u);
}

TEST(LinkCheckPlan, ManyLinksOfManyHostsRunInBoundedSteps) {
    LinkCheck check;
    for (int i = 0; i < 20'000; ++i)
        check.add({"l" + std::to_string(i), std::to_string(i % 1000), CheckWay::Headers});
    std::size_t most = 0;
    while (!check.over()) {
        const Indices started = check.start();
        most = std::max(most, check.running());
        for (const std::size_t index : started)
            check.finish(index);
    }
    EXPECT_EQ(most, std::size_t{LinkCheck::kSlots});
    EXPECT_EQ(check.done(), 20'000u);
}

// The hash read by a selector, or, for a page read as text, by a pattern.
std::shared_ptr<const CompiledProfile> sumProfile(bool hashBySelector = true) {
    HostProfile profile;
    profile.name = "Sum";
    profile.links = {"/sum/"};
    profile.dead = "File Not Found";
    profile.premiumOnly = "Premium Users only";
    ProfileStep first;
    first.tempOffline = "under maintenance";
    first.fileName = PageReader{PageReader::Kind::Pattern, "<h1>([^<]*)<", {}, false};
    first.size = PageReader{PageReader::Kind::Between, "id=\"size\">", "<", false};
    first.hash = hashBySelector
                     ? PageReader{PageReader::Kind::Selector, "#sum", {}, false}
                     : PageReader{PageReader::Kind::Pattern, "sum:([0-9a-f]+)", {}, false};
    first.address = PageReader{PageReader::Kind::Selector, "#go", "href", true};
    profile.steps = {first};
    std::string reason;
    auto compiled = CompiledProfile::compile(std::move(profile), &reason);
    EXPECT_TRUE(compiled) << reason;
    return compiled;
}

TEST(LinkCheckFacts, AFirstPageGivesItsNameSizeAndHashOrWhatItsMarkersSay) {
    const auto profile = sumProfile();
    const std::string sha1(40, 'A');
    std::vector<std::string> unreadable;
    LinkFacts facts =
        firstPageFacts(*profile, "<h1> a&amp;b.zip </h1><span id=\"size\">1.5 GB</span>",
                       {std::nullopt, std::nullopt, " " + sha1 + " "}, &unreadable);
    EXPECT_EQ(facts.availability, Availability::Online);
    EXPECT_EQ(facts.name, "a&b.zip");
    ASSERT_TRUE(facts.size);
    EXPECT_EQ(facts.size->bytes, 1'610'612'736);
    EXPECT_FALSE(facts.size->exact);
    ASSERT_TRUE(facts.digest);
    EXPECT_EQ(facts.digest->kind, DigestKind::Sha1);
    EXPECT_TRUE(unreadable.empty());

    // A size of no number and a hash of no known length are unknown, named.
    facts = firstPageFacts(*profile, "<span id=\"size\">sok</span>",
                           {std::nullopt, std::nullopt, "abc"}, &unreadable);
    EXPECT_EQ(facts.availability, Availability::Online);
    EXPECT_FALSE(facts.size);
    EXPECT_FALSE(facts.digest);
    EXPECT_EQ(unreadable, (std::vector<std::string>{"size", "hash"}));

    // The markers come before the readers, in the order a download reads
    // them; read as text, the page needs no reader answered then.
    const struct {
        const char* page;
        Availability availability;
        PageMarker marker;
    } marked[] = {
        {"<h1>File Not Found</h1>", Availability::Offline, PageMarker::None},
        {"<h1>a.zip</h1>For Premium Users only", Availability::Offline, PageMarker::PremiumOnly},
        {"<h1>a.zip</h1>The server is under maintenance", Availability::Unknown,
         PageMarker::TempOffline},
        {"File Not Found, for Premium Users only", Availability::Offline, PageMarker::None},
        {"Premium Users only, under maintenance", Availability::Offline, PageMarker::PremiumOnly},
    };
    const auto asText = sumProfile(false);
    for (const auto& c : marked) {
        facts = firstPageFacts(*profile, c.page, {std::nullopt, std::nullopt, sha1}, nullptr);
        EXPECT_EQ(facts.availability, c.availability) << c.page;
        EXPECT_EQ(facts.marker, c.marker) << c.page;
        EXPECT_TRUE(facts.name.empty() && !facts.digest) << c.page;
        const auto read = textPageFacts(*asText, c.page);
        ASSERT_TRUE(read) << c.page;
        EXPECT_EQ(read->availability, c.availability) << c.page;
        EXPECT_EQ(read->marker, c.marker) << c.page;
    }
}

// A page fetched without the browser answers only when it is as sure as
// the browser's reading; a reader it leaves unanswered sends it to the browser.
TEST(LinkCheckFacts, AFirstPageReadAsTextAnswersOnlyWhatItIsSureOf) {
    EXPECT_TRUE(readsFirstPageBySelector(*sumProfile()));
    const auto profile = sumProfile(false);
    EXPECT_FALSE(readsFirstPageBySelector(*profile));
    const std::string sha1(40, 'a');
    const std::string page = "<html><head><title><h1>head</h1></title></head><BODY class=a>"
                             "<h1>b.zip</h1><span id=\"size\">12 bytes</span>sum:" +
                             sha1 + "</body></html>";
    const std::string_view body = bodyOf(page);
    EXPECT_EQ(body.substr(0, 14), "<h1>b.zip</h1>");
    const auto facts = textPageFacts(*profile, body);
    ASSERT_TRUE(facts);
    EXPECT_EQ(facts->availability, Availability::Online);
    EXPECT_EQ(facts->name, "b.zip");
    EXPECT_TRUE(facts->size && facts->size->exact);
    EXPECT_TRUE(facts->digest);
    EXPECT_FALSE(textPageFacts(*profile, "<h1>b.zip</h1><span id=\"size\">12 bytes</span>"));
    EXPECT_FALSE(textPageFacts(*profile, "<h1>b.zip</h1>sum:" + sha1)); // no size there
    // A selector reader reads the page as sent where it finds its value
    // there; else the browser reads it, whose scripts may write it in.
    const auto bySelector = sumProfile();
    const std::string shown = "<h1>b.zip</h1><span id=\"size\">12 bytes</span><code id=sum> ";
    const auto selected = textPageFacts(*bySelector, shown + sha1 + " </code>");
    ASSERT_TRUE(selected && selected->digest);
    EXPECT_EQ(selected->digest->kind, DigestKind::Sha1);
    EXPECT_EQ(selected->name, "b.zip");
    EXPECT_FALSE(textPageFacts(*bySelector, shown + "</code>"));
    EXPECT_FALSE(textPageFacts(*bySelector, "<h1>b.zip</h1><span id=\"size\">12 bytes</span>"));
    EXPECT_FALSE(textPageFacts(*bySelector, shown + "<noscript>" + sha1 + "</noscript></code>"));
    EXPECT_EQ(textPageFacts(*bySelector, "<h2>File Not Found</h2>")->availability,
              Availability::Offline);
    // The profile's own size and hash readers serve a first step without them.
    HostProfile shorthand;
    shorthand.name = "Short";
    shorthand.links = {"/s/"};
    shorthand.afterWait = "#go";
    shorthand.size = PageReader{PageReader::Kind::Pattern, "size:(\\d+ bytes)", {}, false};
    shorthand.hash = PageReader{PageReader::Kind::Pattern, "sum:([0-9a-f]+)", {}, false};
    shorthand.hashType = DigestKind::Sha1;
    std::string reason;
    const auto compiled = CompiledProfile::compile(std::move(shorthand), &reason);
    ASSERT_TRUE(compiled) << reason;
    const auto read = textPageFacts(*compiled, "size:12 bytes sum:" + sha1);
    ASSERT_TRUE(read && read->size && read->digest);
    EXPECT_EQ(read->size->bytes, 12);
    EXPECT_EQ(read->digest->kind, DigestKind::Sha1);
    EXPECT_EQ(bodyOf("<bodyguard>x</bodyguard>"), "<bodyguard>x</bodyguard>");
    EXPECT_EQ(bodyOf("<body>cut short"), "cut short");
}

// A selector reads the page as sent as the browser's querySelector reads
// its document, or reads nothing, so the browser is asked.
TEST(FirstPageSelectors, ReadAsTheBrowserReadsOrNotAtAll) {
    const std::string page = "<!DOCTYPE html><html><head><title>Get a.zip</title></head><body>"
                             "<div id=\"box\" class=\"file main\"><h2>a&amp;b.zip</h2>"
                             "<p class=\"size\">(1,5 <b>MB</b>)</p></div>"
                             "<table><tr><td>x</td><td id=sum> ab12 </td></tr></table>"
                             "<form name=F1><input type=\"HIDDEN\" name=\"fname\" value=\"a.zip\">"
                             "<input type=checkbox name=c><textarea name=t value=x>y</textarea><a "
                             "href=\"/go\" data-id=\"7\">go</a></form>"
                             "<ul><li class=x>one<li class=x>two</ul>"
                             "<div class=\"late\"></div><noscript><p id=ns>no</p></noscript>"
                             "<template><p id=tpl>t</p></template><!-- <p id=hidden>c</p> -->"
                             "</body></html>";
    const struct {
        const char* what;
        const char* selector;
        const char* attribute;
        std::optional<std::string> read;
    } cases[] = {
        {"tag", "h2", "", "a&b.zip"},
        {"id", "#sum", "", " ab12 "},
        {"class pair", ".file.main h2", "", "a&b.zip"},
        {"text of the elements inside", "p.size", "", "(1,5 MB)"},
        {"unquoted attribute value", "td#sum", "", " ab12 "},
        {"attribute equals", "input[name=fname]", "value", "a.zip"},
        {"type compared without case", "input[type=hidden]", "value", "a.zip"},
        {"quoted value, blanks inside", "input[ name = \"fname\" ]", "value", "a.zip"},
        {"attribute present", "a[data-id]", "data-id", "7"},
        {"prefix, suffix, contains", "a[href^=\"/\"][href$=o][href*=g]", "data-id", "7"},
        {"child combinator", "form > input", "name", "fname"},
        {"child of a child", "table > tr > td#sum", "", std::nullopt}, // the tbody between
        {"descendant through the tbody", "table td#sum", "", " ab12 "},
        {"list: the first in the document", "#sum, h2", "", "a&b.zip"},
        {"first of many", "li.x", "", "one"},
        {"head element", "title", "", "Get a.zip"},
        {"any element", "div#box > *", "", "a&b.zip"},
        {"empty element: found, blank", "div.late", "", ""},
        {"nothing matches", "h3", "", std::nullopt},
        {"attribute missing", "h2", "title", std::nullopt},
        {"a checkbox's value without one written is \"on\"", "input[name=c]", "value",
         std::nullopt},
        {"a text box's value is live", "[name=t]", "value", std::nullopt},
        {"a link's href is resolved by the browser", "a", "href", std::nullopt},
        {"a property, not an attribute", "h2", "textContent", std::nullopt},
        {"inside noscript: text in a browser", "#ns", "", std::nullopt},
        {"noscript's own text is its markup", "noscript", "", std::nullopt},
        {"template content is no element", "#tpl", "", std::nullopt},
        {"comments are no elements", "#hidden", "", std::nullopt},
        {"pseudo-class", "li.x:first-child", "", std::nullopt},
        {"sibling combinator", "h2 + p", "", std::nullopt},
        {"case flag", "input[name=FNAME i]", "value", std::nullopt},
        {"escape", "#s\\75m", "", std::nullopt},
        {"id starting with a digit", "#1a", "", std::nullopt},
        {"empty list entry", "h2,", "", std::nullopt},
        {"empty selector", "", "", std::nullopt},
    };
    const StaticPage parsed(page);
    ASSERT_TRUE(parsed.parsed());
    for (const auto& c : cases)
        EXPECT_EQ(parsed.read(c.selector, c.attribute), c.read) << c.what;

    // Without a doctype the page is in quirks mode: ids and classes ignore case.
    const StaticPage quirks("<div ID=Box class=Size>1 MB</div>");
    EXPECT_EQ(quirks.read("#box.size"), "1 MB");
    const StaticPage standard("<!DOCTYPE html><div id=Box>1 MB</div>");
    EXPECT_EQ(standard.read("#box"), std::nullopt);
    EXPECT_EQ(standard.read("DIV#Box"), "1 MB");
}

// A page too large, too deep or broken is read as far as it is sure, or
// not at all, and ends at once.
TEST(FirstPageSelectors, HostilePagesReadNothingOrWhatTheyHold) {
    std::string deep;
    for (int i = 0; i < 15'000; ++i)
        deep += "<div>";
    deep += "<span id=x>1</span>";
    EXPECT_FALSE(StaticPage(deep).read("#x"));
    std::string nested = "<p id=top>a";
    for (int i = 0; i < StaticPage::kMostDepth - 10; ++i)
        nested += "<span>";
    nested += "<i id=x>b</i>";
    EXPECT_EQ(StaticPage(nested).read("#x"), "b");
    EXPECT_EQ(StaticPage(nested).read("#top span span > i"), "b");
    // Every chain of ancestors tried once at most, not each in each.
    EXPECT_FALSE(StaticPage(nested).read("form span span span span span span span span i"));
    std::string tags;
    for (std::size_t i = 0; i <= StaticPage::kMostTags; ++i)
        tags += "<b>";
    EXPECT_FALSE(StaticPage(tags + "<i id=x>1</i>").parsed());
    const std::string huge = "<h1 id=x>a</h1>" + std::string(StaticPage::kMostBytes, ' ');
    EXPECT_FALSE(StaticPage(huge).parsed());
    EXPECT_EQ(StaticPage(huge.substr(0, 100'000)).read("#x"), "a");
    // Unclosed and misnested, as a browser mends them: a heading ends where
    // the next begins; stray bytes and an unended attribute read nothing.
    const StaticPage broken(
        std::string("<h1 id=x>a.zip<h2 id=y>b</b></td><p class=\"q>\0\xff\xfe", 33));
    EXPECT_EQ(broken.read("#x"), "a.zip");
    EXPECT_EQ(broken.read("h1 + h2, #y"), std::nullopt);
    EXPECT_EQ(broken.read("body > h2"), "b");
    EXPECT_EQ(broken.read("p"), std::nullopt);
}

TEST(LinkCheckFacts, HeaderAnswersTellOnlineOfflineOrUnknown) {
    struct Case {
        const char* what;
        HeaderAnswer answer;
        Availability availability;
        const char* name;
        std::int64_t size; // -1: none
    };
    const auto answer = [](int status, std::optional<std::string> type = {},
                           std::optional<std::string> length = {},
                           std::optional<std::string> disposition = {}) {
        HeaderAnswer whole;
        whole.whole = true;
        whole.status = status;
        whole.contentType = std::move(type);
        whole.contentLength = std::move(length);
        whole.contentDisposition = std::move(disposition);
        return whole;
    };
    HeaderAnswer dripped = answer(200, "application/zip", "1234");
    dripped.whole = false;
    HeaderAnswer late404 = answer(404);
    late404.timedOut = true;
    HeaderAnswer refused, noAddress;
    refused.refusedConnection = true;
    noAddress.refusedAddress = true;
    const Case cases[] = {
        {"a file", answer(200, "application/zip", "1234", "attachment; filename=\"x.zip\""),
         Availability::Online, "x.zip", 1234},
        {"a web page", answer(200, "text/html; charset=utf-8", "99"), Availability::Online, "", -1},
        {"an unreadable length, the address's name", answer(200, {}, "12x"), Availability::Online,
         "f%20g.bin", -1},
        {"a negative length", answer(200, {}, "-5"), Availability::Online, "f%20g.bin", -1},
        {"a signed zero", answer(200, {}, "-0"), Availability::Online, "f%20g.bin", -1},
        {"404", answer(404), Availability::Offline, "", -1},
        {"410", answer(410), Availability::Offline, "", -1},
        {"a refused connection", refused, Availability::Offline, "", -1},
        {"no answer", {}, Availability::Unknown, "", -1},
        {"headers dripped until the time ran out", dripped, Availability::Unknown, "", -1},
        {"a final redirect", answer(302), Availability::Unknown, "", -1},
        {"503", answer(503), Availability::Unknown, "", -1},
        {"timed out", late404, Availability::Unknown, "", -1},
        {"no address", noAddress, Availability::Unknown, "", -1},
    };
    for (const Case& c : cases) {
        const LinkFacts facts = headerFacts("http://h/d/f%20g.bin?x=1", c.answer);
        EXPECT_EQ(facts.availability, c.availability) << c.what;
        EXPECT_EQ(facts.name, c.name == std::string("f%20g.bin") ? "f g.bin" : c.name) << c.what;
        EXPECT_EQ(facts.size ? facts.size->bytes : -1, c.size) << c.what;
    }
    EXPECT_STREQ(availabilityText(Availability::Unknown), "ismeretlen");
}

TEST(LinkCheckFacts, ResultsKeepOnlyQueuedLinks) {
    LinkResults results;
    results.set("a", {});
    results.set("b", {Availability::Offline, "", {}, {}, 5});
    results.keepOnly({"b", "c"});
    EXPECT_EQ(results.size(), 1u);
    ASSERT_NE(results.find("b"), nullptr);
    EXPECT_EQ(results.find("b")->checkedAt, 5);
}

// A save's snapshot shares the entries and keeps them as they were, whatever
// changes the original after it.
TEST(LinkCheckFacts, ACopyOfResultsIsASnapshot) {
    LinkResults results;
    results.set("a", {Availability::Online, "a.bin", {}, {}, 1});
    results.set("b", {});
    const LinkResults snapshot = results;
    EXPECT_EQ(&snapshot.all(), &results.all()); // not copied entry by entry
    results.set("a", {Availability::Offline, "", {}, {}, 2});
    const LinkResults second = results;
    results.erase("b");
    const LinkResults third = results;
    results.keepOnly({});
    EXPECT_TRUE(results.empty());
    ASSERT_EQ(snapshot.size(), 2u);
    EXPECT_EQ(snapshot.find("a")->availability, Availability::Online);
    EXPECT_EQ(second.size(), 2u);
    EXPECT_EQ(second.find("a")->checkedAt, 2);
    EXPECT_EQ(third.size(), 1u);
}

} // namespace
} // namespace vardelo
