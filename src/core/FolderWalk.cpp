#include "core/FolderWalk.h"

#include "core/ListText.h"

#include <utility>

namespace vardelo {

FolderWalk::FolderWalk(std::string firstPage) {
    enter(std::move(firstPage));
}

bool FolderWalk::goesTo(const std::string& page) const {
    return pages_.size() < kMostPages && !read_.count(page);
}

void FolderWalk::enter(std::string page) {
    read_.insert(page);
    pages_.push_back(std::move(page));
}

bool FolderWalk::add(FolderEntry entry) {
    if (entries_.size() >= kMostFiles) {
        cut_ = true;
        return false;
    }
    // Hosts link a file from its icon and its name alike.
    if (listed_.insert(entry.address).second)
        entries_.push_back(std::move(entry));
    return true;
}

FolderToQueue FolderTree::expand(const std::string& folder, const FolderWalk& walk,
                                 const std::vector<std::string>& queued,
                                 const HostProfiles* profiles) {
    const auto canonical = [profiles](const std::string& link) {
        return profiles ? profiles->canonical(link) : link;
    };
    const std::string self = canonical(folder);
    expanded_.insert(self);
    const auto above = placed_.find(folder);
    const Placed parent = above == placed_.end() ? Placed{} : above->second;
    const int depth = parent.depth + 1;
    // A folder in a folder that shows no name of its own is of its parent's package.
    const std::string& package = walk.package().empty() ? parent.package : walk.package();
    std::unordered_set<std::string> present;
    for (const std::string& link : queued)
        present.insert(canonical(link));
    FolderToQueue result;
    for (const FolderEntry& entry : walk.entries()) {
        std::string form = canonical(entry.address);
        const auto profile = profiles ? profiles->forLink(form) : nullptr;
        if (profile && profile->isFolder() && (depth >= kDeepest || expanded_.count(form))) {
            result.leftOut.push_back(std::move(form));
            continue;
        }
        if (!present.insert(form).second) {
            result.alreadyQueued.push_back(std::move(form));
            continue;
        }
        placed_[form] = {package, depth};
        FolderEntry added = entry;
        added.address = std::move(form);
        result.added.push_back(std::move(added));
    }
    placed_.erase(folder);
    return result;
}

std::string FolderTree::packageOf(const std::string& link) const {
    const auto found = placed_.find(link);
    return found == placed_.end() ? std::string() : found->second.package;
}

void FolderTree::forget(const std::string& link) {
    placed_.erase(link);
}

bool FolderTree::keepOnly(const std::vector<std::string>& links) {
    const std::unordered_set<std::string> queued(links.begin(), links.end());
    return std::erase_if(placed_, [&](const auto& entry) { return !queued.count(entry.first); }) >
           0;
}

namespace {
constexpr std::string_view kPackagesFormatLine = "Vardelo folders 1";
} // namespace

std::string FolderTree::encodePackages() const {
    std::string bytes(kPackagesFormatLine);
    bytes += '\n';
    for (const auto& [link, placed] : placed_) {
        if (placed.package.empty() || hasControlCharacters(link))
            continue;
        bytes += link + '\t' + controlsReplaced(placed.package) + '\n';
    }
    return bytes;
}

std::optional<FolderTree> FolderTree::decodePackages(std::string_view bytes) {
    std::size_t end = bytes.find('\n');
    if (bytes.substr(0, end) != kPackagesFormatLine)
        return std::nullopt;
    FolderTree tree;
    while (end != std::string_view::npos) {
        bytes.remove_prefix(end + 1);
        end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0 || tab + 1 == line.size())
            continue;
        tree.placed_[std::string(line.substr(0, tab))] = {std::string(line.substr(tab + 1)), 1};
    }
    return tree;
}

} // namespace vardelo
