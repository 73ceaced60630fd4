#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// The packages' file beside Lista.Vdl, which keeps its designed records.
inline constexpr char kPackagesFileName[] = "Csomagok.Vdl";
inline constexpr std::int64_t kPackagesFileLimit = std::int64_t{64} << 20;

// A part of a package that arrived: the link it came by and the file it is.
struct ArrivedPart {
    std::string link;
    std::string path;
};

// A part whose link was given up: its package still waits for it.
struct AwaitedPart {
    std::string link;
    std::string name; // the file's name as it was known
};

// Which package each link belongs to, and what of each package has arrived.
// A link is in the package it was put in (the folder it came from, a name
// the user gave), else in the archive set its file's name belongs to
// ("film" for "film.part03.rar"); else it is a package of its own.
class PackageBook {
  public:
    // The package of a link whose file is (or will be) named `fileName`;
    // empty for a link of its own.
    std::string packageOf(const std::string& link, std::string_view fileName) const;
    // The package the link was put in; empty when none.
    const std::string* placedIn(const std::string& link) const;

    void place(const std::string& link, std::string package);
    // The link leaves (deleted, or its folder expanded); what arrived stays.
    void forget(const std::string& link);
    // Every link placed in `from` and every part of it go to `to`.
    void rename(const std::string& from, const std::string& to);

    void arrived(const std::string& package, ArrivedPart part);
    const std::vector<ArrivedPart>& arrivedOf(const std::string& package) const;
    // The link was given up; the package goes on waiting for its part
    // until it arrives or the package is closed.
    void gaveUp(const std::string& package, AwaitedPart part);
    const std::vector<AwaitedPart>& awaitedOf(const std::string& package) const;
    const std::string* awaitedIn(const std::string& link) const;
    // The package is done with: its parts are no longer remembered.
    void close(const std::string& package);

    // The package's own password (a folder's, or the user's answer).
    void setPassword(const std::string& package, std::string password);
    const std::string* passwordOf(const std::string& package) const;

    const std::map<std::string, std::string>& placements() const { return placed_; }
    const std::map<std::string, std::vector<ArrivedPart>>& parts() const { return arrived_; }
    const std::map<std::string, std::vector<AwaitedPart>>& awaited() const { return awaited_; }
    const std::map<std::string, std::string>& passwords() const { return passwords_; }

  private:
    std::map<std::string, std::string> placed_; // link -> package
    std::map<std::string, std::vector<ArrivedPart>> arrived_;
    std::map<std::string, std::vector<AwaitedPart>> awaited_;
    std::map<std::string, std::string> passwords_;
};

// The stored form: a line naming the format, then one line per placed link
// ("L", link, package), arrived part ("A", package, link, path), part
// given up ("W", package, link, name) and package password ("P", package,
// password), fields split by tabs, in which a
// backslash, a tab, a line feed and a carriage return are escaped. It holds
// passwords: the file is kept as a secret one.
std::string encodePackages(const PackageBook& book);
// Lines that do not read are left out; nothing when the first line is not
// the format's.
std::optional<PackageBook> decodePackages(std::string_view text);

} // namespace vardelo
