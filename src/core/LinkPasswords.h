#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// The passwords given for queued links, kept beside the queue, never in its
// record file, and gone with their link.
class LinkPasswords {
  public:
    const std::string* find(const std::string& link) const;
    void set(const std::string& link, std::string password);
    void erase(const std::string& link);
    // Those of links no longer queued go; whether any went.
    bool keepOnly(const std::vector<std::string>& links);
    bool empty() const { return byLink_.empty(); }
    std::size_t size() const { return byLink_.size(); }

    // One "link TAB password" line each, after a line naming the format.
    std::string encode() const;
    // A line that does not read is left out; nothing when the first line
    // is not the format's.
    static std::optional<LinkPasswords> decode(std::string_view bytes);

  private:
    std::map<std::string, std::string> byLink_;
};

// A password a user may give: not empty, and no control character (a tab
// or a line break would split its line).
bool isUsablePassword(std::string_view text);

} // namespace vardelo
