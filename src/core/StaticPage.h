#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vardelo {

// A page as its server sent it, parsed as a browser parses HTML but with no
// script run, and read by CSS selectors as `document.querySelector` reads
// the browser's page. Only what it is sure of is answered: a page too
// large or too deep, a selector of a form it does not know, or an attribute
// whose live property a browser may tell otherwise (a link's resolved
// `href`) reads nothing, and the caller asks the browser instead.
class StaticPage {
  public:
    // Beyond these the page is not parsed: a host's first page is far
    // smaller, and the parse's time and memory stay bounded.
    static constexpr std::size_t kMostBytes = 2 * 1024 * 1024;
    static constexpr std::size_t kMostTags = 20'000;
    // Deeper than this a browser's tree may differ (Blink's parser stops
    // nesting at 512).
    static constexpr int kMostDepth = 256;

    explicit StaticPage(std::string_view document);
    ~StaticPage();
    StaticPage(const StaticPage&) = delete;
    StaticPage& operator=(const StaticPage&) = delete;

    // Whether the page was parsed within the bounds.
    bool parsed() const { return tree_ != nullptr; }

    // The first element the selector finds, in document order: its text
    // (`textContent`), or with `attribute` that attribute's value. Nothing
    // when no element matches, the element lacks the attribute, or the page
    // or the reading is one it cannot be sure of.
    std::optional<std::string> read(std::string_view selector,
                                    std::string_view attribute = {}) const;

  private:
    struct Tree;
    std::unique_ptr<Tree> tree_;
};

} // namespace vardelo
