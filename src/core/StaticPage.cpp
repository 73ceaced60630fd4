#include "core/StaticPage.h"

#include "core/AsciiCase.h"

#include <gumbo.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <vector>

namespace vardelo {
namespace {

// Every block the parser takes is linked here, so the whole tree goes with
// one loop: the parser's own release walks the tree by recursion, which a
// deep page would run off the stack.
struct alignas(std::max_align_t) Block {
    Block* previous;
    Block* next;
};

struct Arena {
    Block* last = nullptr;

    static void* allocate(void* arena, std::size_t size) {
        auto* self = static_cast<Arena*>(arena);
        auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (!block)
            std::abort(); // the parser cannot take a refusal
        block->previous = self->last;
        block->next = nullptr;
        if (self->last)
            self->last->next = block;
        self->last = block;
        return block + 1;
    }

    static void release(void* arena, void* pointer) {
        if (!pointer)
            return;
        auto* self = static_cast<Arena*>(arena);
        Block* block = static_cast<Block*>(pointer) - 1;
        if (block->previous)
            block->previous->next = block->next;
        if (block->next)
            block->next->previous = block->previous;
        else
            self->last = block->previous;
        std::free(block);
    }

    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena() {
        while (last) {
            Block* previous = last->previous;
            std::free(last);
            last = previous;
        }
    }
};

// One `[name op value]` of a compound selector.
struct AttributeTest {
    enum class Op { Exists, Equals, Word, Prefix, Suffix, Contains, Dash };
    std::string name; // lower case
    Op op = Op::Exists;
    std::string value;
};

struct Compound {
    std::string tag; // lower case; empty: any
    std::vector<std::string> ids, classes;
    std::vector<AttributeTest> attributes;
    bool childOfNext = false; // joined to the compound on its left by '>'
};

// A complex selector, its compounds from the right: [0] is the element read.
using Complex = std::vector<Compound>;

constexpr std::size_t kMostCompounds = 16;

bool isNameChar(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || byte >= 0x80;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// A CSS identifier starts with no digit, nor with a hyphen and a digit:
// the browser refuses "#1a" as a selector.
bool isIdentifier(std::string_view name) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return !name.empty() && !digit(name[0]) &&
           !(name[0] == '-' && (name.size() == 1 || digit(name[1])));
}

// Reads the selector forms profiles use; anything else (pseudo-classes,
// sibling combinators, escapes, namespaces) leaves the list empty.
class SelectorParser {
  public:
    explicit SelectorParser(std::string_view text) : text_(text) {}

    std::vector<Complex> parseList() {
        std::vector<Complex> list;
        for (;;) {
            Complex complex;
            if (!parseComplex(&complex))
                return {};
            std::reverse(complex.begin(), complex.end());
            list.push_back(std::move(complex));
            if (at_ == text_.size())
                return list;
            ++at_; // the ','
        }
    }

  private:
    bool parseComplex(Complex* complex) {
        skipBlanks();
        bool child = false;
        for (;;) {
            Compound compound;
            if (!parseCompound(&compound) || complex->size() == kMostCompounds)
                return false;
            if (!complex->empty())
                complex->back().childOfNext = child;
            complex->push_back(std::move(compound));
            const bool blank = skipBlanks();
            if (at_ == text_.size() || text_[at_] == ',')
                return true;
            child = text_[at_] == '>';
            if (child) {
                ++at_;
                skipBlanks();
            } else if (!blank) {
                return false;
            }
        }
    }

    bool parseCompound(Compound* compound) {
        bool any = false;
        if (at_ < text_.size() && text_[at_] == '*') {
            ++at_;
            any = true;
        } else if (at_ < text_.size() && isNameChar(text_[at_])) {
            compound->tag = asciiLower(name());
            if (!isIdentifier(compound->tag))
                return false;
            any = true;
        }
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '#' || c == '.') {
                ++at_;
                std::string value = name();
                if (!isIdentifier(value))
                    return false;
                (c == '#' ? compound->ids : compound->classes).push_back(std::move(value));
            } else if (c == '[') {
                ++at_;
                AttributeTest test;
                if (!parseAttribute(&test))
                    return false;
                compound->attributes.push_back(std::move(test));
            } else {
                break;
            }
            any = true;
        }
        return any;
    }

    bool parseAttribute(AttributeTest* test) {
        skipBlanks();
        test->name = asciiLower(name());
        skipBlanks();
        if (!isIdentifier(test->name) || at_ == text_.size())
            return false;
        if (text_[at_] == ']') {
            ++at_;
            return true;
        }
        static constexpr std::array<std::pair<char, AttributeTest::Op>, 5> kOps{{
            {'~', AttributeTest::Op::Word},
            {'^', AttributeTest::Op::Prefix},
            {'$', AttributeTest::Op::Suffix},
            {'*', AttributeTest::Op::Contains},
            {'|', AttributeTest::Op::Dash},
        }};
        test->op = AttributeTest::Op::Equals;
        for (const auto& [sign, op] : kOps)
            if (text_[at_] == sign) {
                test->op = op;
                ++at_;
                break;
            }
        if (at_ == text_.size() || text_[at_] != '=')
            return false;
        ++at_;
        skipBlanks();
        if (at_ < text_.size() && (text_[at_] == '"' || text_[at_] == '\'')) {
            const char quote = text_[at_++];
            const std::size_t end = text_.find(quote, at_);
            if (end == std::string_view::npos)
                return false;
            test->value = std::string(text_.substr(at_, end - at_));
            if (test->value.find('\\') != std::string::npos)
                return false;
            at_ = end + 1;
        } else {
            test->value = name();
            if (!isIdentifier(test->value))
                return false;
        }
        skipBlanks();
        // A case flag (" i]") is not read.
        if (at_ == text_.size() || text_[at_] != ']')
            return false;
        ++at_;
        return true;
    }

    std::string name() {
        const std::size_t start = at_;
        while (at_ < text_.size() && isNameChar(text_[at_]))
            ++at_;
        return std::string(text_.substr(start, at_ - start));
    }

    bool skipBlanks() {
        const std::size_t start = at_;
        while (at_ < text_.size() && isBlank(text_[at_]))
            ++at_;
        return at_ > start;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

// Attributes whose values HTML compares without case in a selector.
bool valueIgnoresCase(std::string_view name) {
    static constexpr std::string_view kNames[] = {
        "accept",     "accept-charset", "align",     "alink",    "axis",     "bgcolor", "charset",
        "checked",    "clear",          "codetype",  "color",    "compact",  "declare", "defer",
        "dir",        "direction",      "disabled",  "enctype",  "face",     "frame",   "hreflang",
        "http-equiv", "lang",           "language",  "link",     "media",    "method",  "multiple",
        "nohref",     "noresize",       "noshade",   "nowrap",   "readonly", "rel",     "rev",
        "rules",      "scope",          "scrolling", "selected", "shape",    "target",  "text",
        "type",       "valign",         "valuetype", "vlink"};
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

bool sameText(std::string_view a, std::string_view b, bool ignoreCase) {
    return ignoreCase ? asciiLower(a) == asciiLower(b) : a == b;
}

// Whether an attribute read without script gives what the browser's
// reading gives: the live property of that name, where the element has
// one, else the attribute. Those below reflect their attribute as written.
bool readsAsWritten(std::string_view tag, std::string_view attribute) {
    if (attribute.starts_with("data-") || attribute.starts_with("aria-"))
        return true;
    if (attribute == "value") // a field's or a button's; a list's or a text box's is live
        return tag == "input" || tag == "button" || tag == "option" || tag == "param";
    static constexpr std::string_view kWritten[] = {"id",      "name",  "title",       "alt",
                                                    "content", "class", "label",       "for",
                                                    "rel",     "lang",  "placeholder", "download"};
    return std::find(std::begin(kWritten), std::end(kWritten), attribute) != std::end(kWritten);
}

struct ElementTree {
    struct Element {
        const GumboNode* node;
        int parent; // index in `elements`; -1: none
        std::string tag;
    };

    Arena arena;
    GumboOutput* output = nullptr;
    std::vector<Element> elements; // in document order
    bool quirks = false;
};

std::string tagOf(const GumboElement& element) {
    if (element.tag != GUMBO_TAG_UNKNOWN)
        return gumbo_normalized_tagname(element.tag);
    GumboStringPiece original = element.original_tag;
    gumbo_tag_from_original_text(&original);
    return asciiLower(std::string_view(original.data, original.length));
}

const char* attributeOf(const GumboNode& node, const std::string& name) {
    const GumboAttribute* found = gumbo_get_attribute(&node.v.element.attributes, name.c_str());
    return found ? found->value : nullptr;
}

bool hasWord(std::string_view words, std::string_view word, bool ignoreCase) {
    std::size_t at = 0;
    while (at < words.size()) {
        while (at < words.size() && isBlank(words[at]))
            ++at;
        std::size_t end = at;
        while (end < words.size() && !isBlank(words[end]))
            ++end;
        if (end > at && sameText(words.substr(at, end - at), word, ignoreCase))
            return true;
        at = end;
    }
    return false;
}

bool attributeMatches(const GumboNode& node, const AttributeTest& test) {
    const char* found = attributeOf(node, test.name);
    if (!found)
        return false;
    const bool ignoreCase = valueIgnoresCase(test.name);
    const std::string value = ignoreCase ? asciiLower(found) : std::string(found);
    const std::string wanted = ignoreCase ? asciiLower(test.value) : test.value;
    switch (test.op) {
    case AttributeTest::Op::Exists:
        return true;
    case AttributeTest::Op::Equals:
        return value == wanted;
    case AttributeTest::Op::Word:
        return hasWord(value, wanted, false);
    case AttributeTest::Op::Prefix:
        return !wanted.empty() && value.starts_with(wanted);
    case AttributeTest::Op::Suffix:
        return !wanted.empty() && value.ends_with(wanted);
    case AttributeTest::Op::Contains:
        return !wanted.empty() && value.find(wanted) != std::string::npos;
    case AttributeTest::Op::Dash:
        return value == wanted || value.starts_with(wanted + '-');
    }
    return false;
}

bool compoundMatches(const ElementTree& tree, const Compound& compound, int index) {
    const auto& element = tree.elements[static_cast<std::size_t>(index)];
    if (!compound.tag.empty() && compound.tag != element.tag)
        return false;
    const GumboNode& node = *element.node;
    // A page in quirks mode compares ids and classes without case.
    for (const std::string& id : compound.ids) {
        const char* own = attributeOf(node, "id");
        if (!own || !sameText(own, id, tree.quirks))
            return false;
    }
    if (!compound.classes.empty()) {
        const char* own = attributeOf(node, "class");
        for (const std::string& name : compound.classes)
            if (!own || !hasWord(own, name, tree.quirks))
                return false;
    }
    for (const AttributeTest& test : compound.attributes)
        if (!attributeMatches(node, test))
            return false;
    return true;
}

// Whether a complex selector's compounds from `compound` leftwards match at
// an element, each answer kept: a deep page and a long selector would
// otherwise try every chain of ancestors.
class ComplexMatch {
  public:
    ComplexMatch(const ElementTree& tree, const Complex& complex)
        : tree_(tree), complex_(complex), known_(complex.size() * tree.elements.size(), -1) {}

    bool matchesAt(std::size_t compound, int index) {
        signed char& known =
            known_[compound * tree_.elements.size() + static_cast<std::size_t>(index)];
        if (known < 0)
            known = matches(compound, index) ? 1 : 0;
        return known == 1;
    }

  private:
    bool matches(std::size_t compound, int index) {
        if (!compoundMatches(tree_, complex_[compound], index))
            return false;
        if (compound + 1 == complex_.size())
            return true;
        const bool child = complex_[compound].childOfNext;
        for (int up = tree_.elements[static_cast<std::size_t>(index)].parent; up >= 0;
             up = tree_.elements[static_cast<std::size_t>(up)].parent) {
            if (matchesAt(compound + 1, up))
                return true;
            if (child)
                return false;
        }
        return false;
    }

    const ElementTree& tree_;
    const Complex& complex_;
    std::vector<signed char> known_; // by compound and element; -1: not asked yet
};

// What `textContent` gives: the text of every node inside, in order. A
// <noscript> inside is text in a browser that runs scripts, not the
// elements parsed here: nothing then.
std::optional<std::string> textOf(const GumboNode& top) {
    std::string text;
    std::vector<const GumboNode*> pending{&top};
    while (!pending.empty()) {
        const GumboNode* node = pending.back();
        pending.pop_back();
        switch (node->type) {
        case GUMBO_NODE_TEXT:
        case GUMBO_NODE_WHITESPACE:
        case GUMBO_NODE_CDATA:
            text += node->v.text.text;
            break;
        case GUMBO_NODE_ELEMENT: {
            if (node->v.element.tag == GUMBO_TAG_NOSCRIPT)
                return std::nullopt;
            const GumboVector& children = node->v.element.children;
            for (unsigned int i = children.length; i > 0; --i)
                pending.push_back(static_cast<const GumboNode*>(children.data[i - 1]));
            break;
        }
        default: // comments; a template's content is not its text
            break;
        }
    }
    return text;
}

} // namespace

struct StaticPage::Tree : ElementTree {};

StaticPage::StaticPage(std::string_view document) {
    if (document.size() > kMostBytes)
        return;
    std::size_t tags = 0;
    for (std::size_t at = document.find('<'); at != std::string_view::npos;
         at = document.find('<', at + 1))
        if (at + 1 < document.size() && isNameChar(document[at + 1]) && ++tags > kMostTags)
            return;

    auto tree = std::make_unique<Tree>();
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::release;
    options.userdata = &tree->arena;
    options.max_errors = 0; // nothing reads them
    tree->output = gumbo_parse_with_options(&options, document.data(), document.size());
    if (!tree->output)
        return;
    tree->quirks = tree->output->document->v.document.doc_type_quirks_mode == GUMBO_DOCTYPE_QUIRKS;

    // The elements in document order, each with its parent and depth. A
    // template's content and what a <noscript> holds are no elements of a
    // browser's document.
    struct Pending {
        const GumboNode* node;
        int parent;
        int depth;
    };
    std::vector<Pending> pending{{tree->output->root, -1, 1}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        if (next.depth > kMostDepth)
            return;
        const int index = static_cast<int>(tree->elements.size());
        tree->elements.push_back({next.node, next.parent, tagOf(next.node->v.element)});
        if (next.node->type == GUMBO_NODE_TEMPLATE ||
            next.node->v.element.tag == GUMBO_TAG_NOSCRIPT)
            continue;
        const GumboVector& children = next.node->v.element.children;
        for (unsigned int i = children.length; i > 0; --i) {
            const auto* child = static_cast<const GumboNode*>(children.data[i - 1]);
            if (child->type == GUMBO_NODE_ELEMENT || child->type == GUMBO_NODE_TEMPLATE)
                pending.push_back({child, index, next.depth + 1});
        }
    }
    tree_ = std::move(tree);
}

StaticPage::~StaticPage() = default;

std::optional<std::string> StaticPage::read(std::string_view selector,
                                            std::string_view attribute) const {
    if (!tree_)
        return std::nullopt;
    const std::vector<Complex> list = SelectorParser(selector).parseList();
    if (list.empty())
        return std::nullopt;
    const std::string wanted = asciiLower(attribute);
    // A name of capitals is a property's (`textContent`), not an attribute's.
    if (wanted != attribute)
        return std::nullopt;
    std::vector<ComplexMatch> matchers;
    for (const Complex& complex : list)
        matchers.emplace_back(*tree_, complex);
    for (std::size_t index = 0; index < tree_->elements.size(); ++index) {
        const bool matches =
            std::any_of(matchers.begin(), matchers.end(), [&](ComplexMatch& match) {
                return match.matchesAt(0, static_cast<int>(index));
            });
        if (!matches)
            continue;
        const ElementTree::Element& element = tree_->elements[index];
        if (wanted.empty())
            return textOf(*element.node);
        if (!readsAsWritten(element.tag, wanted))
            return std::nullopt;
        const char* value = attributeOf(*element.node, wanted);
        return value ? std::optional<std::string>(value) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace vardelo
