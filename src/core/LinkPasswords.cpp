#include "core/LinkPasswords.h"

#include "core/ListText.h"

#include <unordered_set>

namespace vardelo {
namespace {

constexpr std::string_view kFormatLine = "Vardelo passwords 1";

bool isUsableLink(std::string_view link) {
    return !link.empty() && !hasControlCharacters(link);
}

} // namespace

const std::string* LinkPasswords::find(const std::string& link) const {
    const auto found = byLink_.find(link);
    return found == byLink_.end() ? nullptr : &found->second;
}

void LinkPasswords::set(const std::string& link, std::string password) {
    if (isUsableLink(link) && isUsablePassword(password))
        byLink_[link] = std::move(password);
}

void LinkPasswords::erase(const std::string& link) {
    byLink_.erase(link);
}

bool LinkPasswords::keepOnly(const std::vector<std::string>& links) {
    const std::unordered_set<std::string> queued(links.begin(), links.end());
    return std::erase_if(byLink_, [&](const auto& entry) { return !queued.count(entry.first); }) >
           0;
}

std::string LinkPasswords::encode() const {
    std::string bytes(kFormatLine);
    bytes += '\n';
    for (const auto& [link, password] : byLink_)
        bytes += link + '\t' + password + '\n';
    return bytes;
}

std::optional<LinkPasswords> LinkPasswords::decode(std::string_view bytes) {
    std::size_t end = bytes.find('\n');
    if (bytes.substr(0, end) != kFormatLine)
        return std::nullopt;
    LinkPasswords passwords;
    while (end != std::string_view::npos) {
        bytes.remove_prefix(end + 1);
        end = bytes.find('\n');
        const std::string_view line = bytes.substr(0, end);
        const std::size_t tab = line.find('\t');
        if (tab != std::string_view::npos)
            passwords.set(std::string(line.substr(0, tab)), std::string(line.substr(tab + 1)));
    }
    return passwords;
}

bool isUsablePassword(std::string_view text) {
    return !text.empty() && !hasControlCharacters(text);
}

} // namespace vardelo
