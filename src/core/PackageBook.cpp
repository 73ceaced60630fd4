#include "core/PackageBook.h"

#include "core/ArchiveSet.h"

#include <algorithm>

namespace vardelo {
namespace {

constexpr std::string_view kFormatLine = "Vardelo packages 1";

void appendEscaped(std::string& out, std::string_view field) {
    for (const char c : field) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

std::optional<std::string> unescaped(std::string_view field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i == field.size())
            return std::nullopt;
        switch (field[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return std::nullopt;
        }
    }
    return out;
}

void appendLine(std::string& out, std::initializer_list<std::string_view> fields) {
    bool first = true;
    for (const std::string_view field : fields) {
        if (!first)
            out += '\t';
        first = false;
        appendEscaped(out, field);
    }
    out += '\n';
}

std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        const auto field = unescaped(line.substr(0, tab));
        if (!field)
            return {};
        fields.push_back(*field);
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

} // namespace

std::string PackageBook::packageOf(const std::string& link, std::string_view fileName) const {
    if (const std::string* placed = placedIn(link))
        return *placed;
    if (const auto volume = archiveVolumeOf(fileName))
        return volume->setName;
    return {};
}

const std::string* PackageBook::placedIn(const std::string& link) const {
    const auto found = placed_.find(link);
    return found == placed_.end() ? nullptr : &found->second;
}

void PackageBook::place(const std::string& link, std::string package) {
    if (package.empty())
        placed_.erase(link);
    else
        placed_[link] = std::move(package);
}

void PackageBook::forget(const std::string& link) {
    placed_.erase(link);
}

void PackageBook::rename(const std::string& from, const std::string& to) {
    if (from == to || to.empty())
        return;
    for (auto& [link, package] : placed_)
        if (package == from)
            package = to;
    if (auto parts = arrived_.extract(from)) {
        auto& kept = arrived_[to];
        kept.insert(kept.end(), parts.mapped().begin(), parts.mapped().end());
    }
    if (auto parts = awaited_.extract(from)) {
        auto& kept = awaited_[to];
        kept.insert(kept.end(), parts.mapped().begin(), parts.mapped().end());
    }
    if (auto password = passwords_.extract(from); password && !passwords_.contains(to))
        passwords_[to] = std::move(password.mapped());
}

void PackageBook::arrived(const std::string& package, ArrivedPart part) {
    auto& parts = arrived_[package];
    // A link downloaded again replaces what it brought before.
    std::erase_if(parts, [&](const ArrivedPart& p) { return p.link == part.link; });
    if (const auto waiting = awaited_.find(package); waiting != awaited_.end()) {
        std::erase_if(waiting->second, [&](const AwaitedPart& p) { return p.link == part.link; });
        if (waiting->second.empty())
            awaited_.erase(waiting);
    }
    parts.push_back(std::move(part));
}

void PackageBook::gaveUp(const std::string& package, AwaitedPart part) {
    auto& parts = awaited_[package];
    std::erase_if(parts, [&](const AwaitedPart& p) { return p.link == part.link; });
    parts.push_back(std::move(part));
}

const std::vector<AwaitedPart>& PackageBook::awaitedOf(const std::string& package) const {
    static const std::vector<AwaitedPart> none;
    const auto found = awaited_.find(package);
    return found == awaited_.end() ? none : found->second;
}

const std::string* PackageBook::awaitedIn(const std::string& link) const {
    for (const auto& [package, parts] : awaited_)
        for (const AwaitedPart& part : parts)
            if (part.link == link)
                return &package;
    return nullptr;
}

const std::vector<ArrivedPart>& PackageBook::arrivedOf(const std::string& package) const {
    static const std::vector<ArrivedPart> none;
    const auto found = arrived_.find(package);
    return found == arrived_.end() ? none : found->second;
}

void PackageBook::close(const std::string& package) {
    arrived_.erase(package);
    awaited_.erase(package);
    passwords_.erase(package);
}

void PackageBook::setPassword(const std::string& package, std::string password) {
    passwords_[package] = std::move(password);
}

const std::string* PackageBook::passwordOf(const std::string& package) const {
    const auto found = passwords_.find(package);
    return found == passwords_.end() ? nullptr : &found->second;
}

std::string encodePackages(const PackageBook& book) {
    std::string text(kFormatLine);
    text += '\n';
    for (const auto& [link, package] : book.placements())
        appendLine(text, {"L", link, package});
    for (const auto& [package, parts] : book.parts())
        for (const ArrivedPart& part : parts)
            appendLine(text, {"A", package, part.link, part.path});
    for (const auto& [package, parts] : book.awaited())
        for (const AwaitedPart& part : parts)
            appendLine(text, {"W", package, part.link, part.name});
    for (const auto& [package, password] : book.passwords())
        appendLine(text, {"P", package, password});
    return text;
}

std::optional<PackageBook> decodePackages(std::string_view text) {
    const std::size_t firstEnd = std::min(text.find('\n'), text.size());
    std::string_view first = text.substr(0, firstEnd);
    if (first.ends_with('\r'))
        first.remove_suffix(1);
    if (first != kFormatLine)
        return std::nullopt;
    text.remove_prefix(std::min(firstEnd + 1, text.size()));
    PackageBook book;
    while (!text.empty()) {
        const std::size_t lineEnd = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(std::min(lineEnd + 1, text.size()));
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        const std::vector<std::string> f = fieldsOf(line);
        if (f.size() == 3 && f[0] == "L" && !f[1].empty() && !f[2].empty())
            book.place(f[1], f[2]);
        else if (f.size() == 4 && f[0] == "A" && !f[1].empty() && !f[3].empty())
            book.arrived(f[1], {f[2], f[3]});
        else if (f.size() == 4 && f[0] == "W" && !f[1].empty() && !f[2].empty())
            book.gaveUp(f[1], {f[2], f[3]});
        else if (f.size() == 3 && f[0] == "P" && !f[1].empty())
            book.setPassword(f[1], f[2]);
    }
    return book;
}

} // namespace vardelo
