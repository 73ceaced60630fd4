#pragma once

#include "core/HostProfile.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace vardelo {

// A folder's pages as they are read one after another: the pages already
// read, and the files they listed, each address once.
class FolderWalk {
  public:
    static constexpr std::size_t kMostPages = 50;
    static constexpr std::size_t kMostFiles = 10'000;

    explicit FolderWalk(std::string firstPage);

    // Whether the walk goes on to `page`: not one it has read, and not
    // past its most pages.
    bool goesTo(const std::string& page) const;
    void enter(std::string page);
    // An address a page came from, as read without counting as a page.
    void markRead(std::string page) { read_.insert(std::move(page)); }
    // Adds an entry whose address is not listed yet; false once the walk
    // holds its most, the entry left out.
    bool add(FolderEntry entry);
    std::size_t room() const { return kMostFiles - entries_.size(); }

    void setPackage(std::string name) { package_ = std::move(name); }
    const std::string& package() const { return package_; }
    const std::vector<FolderEntry>& entries() const { return entries_; }
    const std::vector<std::string>& pages() const { return pages_; }
    // More files were listed than the walk holds.
    bool cut() const { return cut_; }
    void markCut() { cut_ = true; }

  private:
    std::vector<std::string> pages_;
    std::unordered_set<std::string> read_;
    std::vector<FolderEntry> entries_;
    std::unordered_set<std::string> listed_;
    std::string package_;
    bool cut_ = false;
};

// What of a folder's files joins the queue in the folder's place.
struct FolderToQueue {
    std::vector<FolderEntry> added;         // canonical addresses, in the folder's order
    std::vector<std::string> alreadyQueued; // as the balloon says them
    std::vector<std::string> leftOut;       // folders too deep, or expanded before
};

// What the queue keeps of folders beside its links: the package each file
// came in, how deep in folders it stands, and the folders expanded, so
// that a folder listing itself (or its parent) ends.
class FolderTree {
  public:
    static constexpr int kDeepest = 3;

    // The folder `folder` is replaced by its files: those queued already
    // (in any form a profile knows) and the folders it may not open are
    // left out; the rest carry its package.
    FolderToQueue expand(const std::string& folder, const FolderWalk& walk,
                         const std::vector<std::string>& queued, const HostProfiles* profiles);
    // The folder's name a file came in; empty for a link added by itself.
    std::string packageOf(const std::string& link) const;
    // A link that left the queue takes its package with it.
    void forget(const std::string& link);
    bool empty() const { return placed_.empty(); }
    // Those of links no longer queued go; whether any went.
    bool keepOnly(const std::vector<std::string>& links);

    // The packages, one "link TAB package" line each after a line naming
    // the format; how deep a file stood is not kept.
    std::string encodePackages() const;
    // Nothing when the first line is not the format's; a line that does not
    // read is left out.
    static std::optional<FolderTree> decodePackages(std::string_view bytes);

  private:
    struct Placed {
        std::string package;
        int depth = 0; // the folders above it
    };
    std::unordered_map<std::string, Placed> placed_;
    std::unordered_set<std::string> expanded_;
};

} // namespace vardelo
