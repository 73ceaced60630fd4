#include "core/ArchiveSet.h"

#include "core/AsciiCase.h"

#include <algorithm>
#include <array>
#include <set>

namespace vardelo {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// The run of digits that ends `text`: its length (0 when none).
std::size_t trailingDigits(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[text.size() - 1 - n]))
        ++n;
    return n;
}

// Digits read as a number, nothing when too long to mean a volume.
std::optional<int> volumeNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 5)
        return std::nullopt;
    int number = 0;
    for (const char c : digits)
        number = number * 10 + (c - '0');
    return number;
}

ArchiveVolume volumeOf(std::string_view setName, VolumeScheme scheme) {
    ArchiveVolume volume;
    volume.setName = std::string(setName);
    volume.scheme = scheme;
    return volume;
}

std::string padded(int number, int digits) {
    std::string text = std::to_string(number);
    if (static_cast<int>(text.size()) < digits)
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return text;
}

// "name" + marker + digits at the end of `name` (marker compared without
// letter case): the volume, or nothing.
std::optional<ArchiveVolume> numberedEnding(std::string_view name, std::string_view marker,
                                            VolumeScheme scheme, std::size_t minDigits,
                                            std::size_t maxDigits) {
    const std::size_t digits = trailingDigits(name);
    if (digits < minDigits || digits > maxDigits)
        return std::nullopt;
    const std::string_view rest = name.substr(0, name.size() - digits);
    if (rest.size() <= marker.size() ||
        !equalsIgnoringAsciiCase(rest.substr(rest.size() - marker.size()), marker))
        return std::nullopt;
    const auto number = volumeNumber(name.substr(name.size() - digits));
    if (!number)
        return std::nullopt;
    ArchiveVolume volume = volumeOf(rest.substr(0, rest.size() - marker.size()), scheme);
    volume.position = *number;
    volume.digits = static_cast<int>(digits);
    volume.marker = std::string(rest.substr(rest.size() - marker.size()));
    return volume;
}

std::optional<ArchiveVolume> rarVolume(std::string_view name) {
    const std::string_view stem = name.substr(0, name.size() - 4);
    const std::string suffix(name.substr(name.size() - 4));
    if (auto part = numberedEnding(stem, ".part", VolumeScheme::RarParts, 1, 4)) {
        part->suffix = suffix;
        return part;
    }
    ArchiveVolume first = volumeOf(stem, VolumeScheme::RarOld);
    first.marker = isUpper(suffix[1]) ? ".R" : ".r";
    return first;
}

} // namespace

std::string ArchiveVolume::setKey() const {
    return std::to_string(static_cast<int>(scheme)) + '|' + asciiLower(setName);
}

std::optional<ArchiveVolume> archiveVolumeOf(std::string_view name) {
    const std::string lower = asciiLower(name);
    if (endsWith(lower, ".rar") && lower.size() > 4)
        return rarVolume(name);
    if (auto old = numberedEnding(name, ".r", VolumeScheme::RarOld, 2, 3)) {
        old->position += 2; // ".rar" is read first, then ".r00"
        return old;
    }
    if (auto sevenZip = numberedEnding(name, ".7z.", VolumeScheme::SevenZip, 3, 3))
        return sevenZip;
    if (endsWith(lower, ".zip") && lower.size() > 4) {
        ArchiveVolume closing = volumeOf(name.substr(0, name.size() - 4), VolumeScheme::SplitZip);
        closing.closing = true;
        closing.position = 0;
        closing.marker = isUpper(name[name.size() - 3]) ? ".Z" : ".z";
        return closing;
    }
    if (auto zip = numberedEnding(name, ".z", VolumeScheme::SplitZip, 2, 3))
        return zip;
    auto numbered = numberedEnding(name, ".", VolumeScheme::Numbered, 3, 3);
    // "film.zip.001": the set is "film", its volumes keep the ".zip".
    if (numbered) {
        const std::string set = asciiLower(numbered->setName);
        for (const std::string_view kind : {".zip", ".rar", ".tar"})
            if (set.size() > kind.size() && endsWith(set, kind)) {
                numbered->marker = numbered->setName.substr(set.size() - kind.size()) + ".";
                numbered->setName.resize(set.size() - kind.size());
                break;
            }
    }
    return numbered;
}

bool isArchiveName(std::string_view name) {
    static constexpr std::array endings{
        ".zip",    ".7z",  ".rar",     ".tar",  ".tar.gz", ".tgz", ".tar.bz2", ".tbz2", ".tbz",
        ".tar.xz", ".txz", ".tar.zst", ".tzst", ".gz",     ".bz2", ".xz",      ".zst"};
    const std::string lower = asciiLower(name);
    return std::any_of(endings.begin(), endings.end(), [&](std::string_view ending) {
        return lower.size() > ending.size() && endsWith(lower, ending);
    });
}

bool startsAnArchive(std::string_view start) {
    static constexpr std::array signatures{
        std::string_view("7z\xBC\xAF\x27\x1C", 6),
        std::string_view("PK\x03\x04", 4),
        std::string_view("PK\x07\x08", 4), // a split zip's first part
        std::string_view("Rar!\x1A\x07", 6),
    };
    return std::any_of(signatures.begin(), signatures.end(),
                       [&](std::string_view signature) { return start.starts_with(signature); });
}

std::string volumeName(const ArchiveVolume& like, int position, bool closing) {
    const bool upper = like.marker.size() > 1 && isUpper(like.marker[1]);
    switch (like.scheme) {
    case VolumeScheme::RarParts:
        return like.setName + like.marker + padded(position, like.digits) + like.suffix;
    case VolumeScheme::RarOld:
        if (position == 1)
            return like.setName + (upper ? ".RAR" : ".rar");
        return like.setName + like.marker + padded(position - 2, like.digits);
    case VolumeScheme::SplitZip:
        if (closing)
            return like.setName + (upper ? ".ZIP" : ".zip");
        return like.setName + like.marker + padded(position, like.digits);
    case VolumeScheme::SevenZip:
    case VolumeScheme::Numbered:
        break;
    }
    return like.setName + like.marker + padded(position, like.digits);
}

std::vector<std::string> missingVolumes(const std::vector<ArchiveVolume>& volumes) {
    std::vector<std::string> missing;
    if (volumes.empty())
        return missing;
    std::set<int> present;
    bool closed = false;
    const ArchiveVolume* numbered = nullptr; // the one whose writing names the gaps
    for (const ArchiveVolume& volume : volumes) {
        if (volume.closing) {
            closed = true;
            continue;
        }
        present.insert(volume.position);
        if (!numbered || (volume.scheme == VolumeScheme::RarOld && volume.position > 1))
            numbered = &volume;
    }
    const ArchiveVolume& like = numbered ? *numbered : volumes.front();
    const int highest = present.empty() ? 0 : *present.rbegin();
    for (int position = 1; position < highest; ++position)
        if (!present.contains(position))
            missing.push_back(volumeName(like, position));
    if (like.scheme == VolumeScheme::SplitZip && !closed)
        missing.push_back(volumeName(like, 0, true));
    return missing;
}

} // namespace vardelo
