#pragma once

#include <string>
#include <vector>

namespace vardelo {

// One file of a package as far as unpacking cares.
struct PackageFile {
    std::string name;           // as the folder, the link check or the file gave it
    bool arrived = false;       // downloaded whole
    bool passed = true;         // what its page or folder showed of it holds
    bool startsArchive = false; // its first bytes begin an archive (read for ".001" parts)
};

// What a package waits for, or the archives it is unpacked from.
struct PackagePlan {
    enum class Kind {
        Waiting, // a part is missing or has not passed its check
        Unpack,  // every part is there: unpack `archives`
        Nothing, // no archive in it
    };
    Kind kind = Kind::Nothing;
    std::vector<std::string> missing; // the parts waited for, by name
    std::vector<std::string> failed;  // arrived, but not what their page showed
    // Each archive's volumes in reading order, by name.
    std::vector<std::vector<std::string>> archives;
};

// A package's archives are its sets of volumes ("X.part01.rar" ..., "X.7z.001"
// ..., "X.z01" ... "X.zip", a lone "X.zip") and the files unpacked on their own
// (a tar, a gz). A numbered set ("X.001") is an archive only when part 1 begins
// one. The package is unpacked once every file of it has arrived and passed,
// and no set lacks a volume before its highest.
PackagePlan planUnpacking(const std::vector<PackageFile>& files);

} // namespace vardelo
