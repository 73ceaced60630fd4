#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vardelo {

// How archivers name the volumes of one archive cut into parts.
enum class VolumeScheme {
    RarParts, // film.part01.rar, film.part02.rar, ...
    RarOld,   // film.rar, film.r00, film.r01, ...
    SevenZip, // film.7z.001, film.7z.002, ...
    SplitZip, // film.z01, film.z02, ..., film.zip last
    Numbered, // film.001, film.002, ... (an archive only if part 1 says so)
};

// Where a file name stands in its set of volumes, and how the set writes
// its names: setName + marker + number (digits wide) + suffix.
struct ArchiveVolume {
    std::string setName; // the name without the volume's ending: "film"
    VolumeScheme scheme = VolumeScheme::Numbered;
    int position = 1;     // in reading order, 1 first; see `closing`
    bool closing = false; // a split zip's ".zip": read after every numbered part
    int digits = 2;
    std::string marker; // as written: ".part", ".r", ".7z.", ".z", "."
    std::string suffix; // as written: ".rar" after a part number, else empty

    // Volumes of one set share this key: the scheme and the set name
    // without letter case.
    std::string setKey() const;
};

// The volume a file name is, or nothing when the name is no volume of a set
// (a lone "film.zip" is a volume: the set it closes may have no other part).
std::optional<ArchiveVolume> archiveVolumeOf(std::string_view fileName);

// Whether a file name is one that is unpacked on its own: a zip, 7z or rar
// file, a tar (plain or compressed), or a file compressed by gzip, bzip2, xz
// or zstd.
bool isArchiveName(std::string_view fileName);

// Whether the first bytes of a file begin a 7z, zip or rar archive (how
// ".001" parts are told from a cut film).
bool startsAnArchive(std::string_view firstBytes);

// The names of the volumes a set lacks before its highest one (and a split
// zip's ".zip" when only ".zNN" parts are there), in reading order, written
// as the set's names are.
std::vector<std::string> missingVolumes(const std::vector<ArchiveVolume>& volumes);

// The name of the volume with the given number in the set of `like`.
std::string volumeName(const ArchiveVolume& like, int number, bool closing = false);

} // namespace vardelo
