#include "core/SkinRules.h"

namespace vardelo {
namespace {

std::string withSlash(std::string_view folder) {
    std::string path(folder);
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    return path;
}

std::string parentOf(std::string_view folder) {
    std::string path(folder);
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isAbsoluteUrl(std::string_view url) {
    return url.empty() || url.front() == '/' || url.front() == '\\' ||
           url.find(':') != std::string_view::npos;
}

std::string_view trimmedUrl(std::string_view url, char& quote) {
    while (!url.empty() && (url.front() == ' ' || url.front() == '\t'))
        url.remove_prefix(1);
    while (!url.empty() && (url.back() == ' ' || url.back() == '\t'))
        url.remove_suffix(1);
    quote = 0;
    if (url.size() >= 2 && (url.front() == '"' || url.front() == '\'') &&
        url.back() == url.front()) {
        quote = url.front();
        url = url.substr(1, url.size() - 2);
    }
    return url;
}

} // namespace

std::string resolveSkinDirectory(std::string_view directory, std::string_view programFolder) {
    if (directory.substr(0, 2) == "..")
        return parentOf(programFolder) +
               std::string(directory.substr(std::min<std::size_t>(3, directory.size())));
    if (directory.substr(0, 2) == "./" || directory.substr(0, 2) == ".\\")
        return withSlash(programFolder) + std::string(directory.substr(2));
    if (directory.find(':') == std::string_view::npos)
        return withSlash(programFolder) + std::string(directory);
    return std::string(directory);
}

std::string resolveSkinUrls(std::string_view sheet, std::string_view skinFolder) {
    std::string out;
    out.reserve(sheet.size());
    std::size_t at = 0;
    while (true) {
        const std::size_t open = sheet.find("url(", at);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = sheet.find(')', open + 4);
        if (close == std::string_view::npos)
            break;
        out.append(sheet.substr(at, open + 4 - at));
        char quote = 0;
        const std::string_view url = trimmedUrl(sheet.substr(open + 4, close - open - 4), quote);
        out += '"';
        if (!isAbsoluteUrl(url))
            out += withSlash(skinFolder);
        out.append(url);
        out += '"';
        out += ')';
        at = close + 1;
    }
    out.append(sheet.substr(at));
    return out;
}

} // namespace vardelo
