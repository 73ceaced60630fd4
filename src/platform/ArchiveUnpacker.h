#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vardelo {

// The output past which a growth of more than `bombRatio` times what was
// read counts as a bomb.
inline constexpr std::int64_t bombFloor = std::int64_t{1} << 30;
inline constexpr std::int64_t bombRatio = 1000;

// One archive to unpack: its volumes in reading order, the folder its
// entries go to, and the passwords to try when it asks for one.
struct UnpackJob {
    std::vector<std::string> volumes;
    std::string folder;
    std::vector<std::string> passwords;
    std::int64_t bombFloor = vardelo::bombFloor;
};

struct UnpackResult {
    enum class Kind {
        Unpacked,             // every entry written and its checksum passed
        PasswordNeeded,       // none of the passwords fits
        EncryptedUnsupported, // an encrypted RAR or 7z, which cannot be read
        Damaged,              // not an archive, a missing volume, a bad checksum
        NoSpace,              // the folder's disk is too full
        Bomb,                 // the output grows far beyond what is read
        WriteFailed,          // the folder could not be written
        Stopped,
    };
    Kind kind = Kind::Damaged;
    int files = 0;        // the files written (on success)
    std::string password; // the one that fitted, when one was needed
    std::string detail;   // the library's or the system's words, for the diagnostics log
};

// How far an unpacking has come: the volumes' bytes read against their total.
using UnpackProgress = std::function<void(std::int64_t read, std::int64_t total)>;

// Unpacks in the calling thread. Entries stay inside the folder (no
// absolute path, no "..", no link that points out; names follow the file
// name rules), an existing file is never replaced ("name (1).ext"), a file
// gets its final name only once it is whole, and a failed or stopped
// unpacking removes everything it wrote. The passwords are tried on the
// smallest encrypted entry first, so a long list costs little.
UnpackResult unpackArchive(const UnpackJob& job, const UnpackProgress& progress,
                           const std::atomic<bool>& stop);

} // namespace vardelo
