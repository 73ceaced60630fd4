#include "platform/ArchiveUnpacker.h"

#include "core/AsciiCase.h"
#include "core/FileReply.h"
#include "core/PartialFile.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace vardelo {
namespace {

using Kind = UnpackResult::Kind;
using Archive = std::unique_ptr<archive, decltype(&archive_read_free)>;

constexpr std::size_t readBlock = 1 << 16;
constexpr std::int64_t kMostBytes = std::numeric_limits<std::int64_t>::max();

bool endsWith(std::string_view text, std::string_view end) {
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

// A file compressed on its own (no tar inside by its name): read as one
// entry named after the file.
std::optional<std::string> bareCompressedName(const std::vector<std::string>& volumes) {
    if (volumes.size() != 1)
        return std::nullopt;
    std::string name = volumes.front().substr(volumes.front().find_last_of('/') + 1);
    const std::string lower = asciiLower(name);
    if (lower.find(".tar.") != std::string::npos)
        return std::nullopt;
    for (const std::string_view ending : {".gz", ".bz2", ".xz", ".zst"})
        if (endsWith(lower, ending) && lower.size() > ending.size())
            return name.substr(0, name.size() - ending.size());
    return std::nullopt;
}

Archive openVolumes(const UnpackJob& job, const std::string* password, std::string& error) {
    Archive reader(archive_read_new(), archive_read_free);
    archive* a = reader.get();
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_tar(a);
    if (bareCompressedName(job.volumes))
        archive_read_support_format_raw(a);
    if (password)
        archive_read_add_passphrase(a, password->c_str());
    std::vector<const char*> names;
    for (const std::string& volume : job.volumes)
        names.push_back(volume.c_str());
    names.push_back(nullptr);
    if (archive_read_open_filenames(a, names.data(), readBlock) != ARCHIVE_OK) {
        const char* said = archive_error_string(a);
        error = said ? said : "cannot open";
        return Archive(nullptr, archive_read_free);
    }
    return reader;
}

std::string libraryError(archive* a) {
    const char* said = archive_error_string(a);
    return said ? said : "unknown error";
}

bool cannotDecrypt(archive* a) {
    switch (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_RAR:
    case ARCHIVE_FORMAT_RAR_V5:
    case ARCHIVE_FORMAT_7ZIP:
        return true;
    default:
        return false;
    }
}

bool mentionsEncryption(archive* a) {
    return asciiLower(libraryError(a)).find("encrypt") != std::string::npos;
}

// An entry's path as the parts it is kept under: nothing when it would
// leave the folder or names nothing.
std::optional<std::vector<std::string>> safeParts(const char* path) {
    if (!path || !*path || *path == '/')
        return std::nullopt;
    std::vector<std::string> parts;
    std::string_view rest(path);
    while (!rest.empty()) {
        const std::size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        std::string name = safeFileName(part);
        if (name.empty()) // "..", and blanks and dots alone, name nothing
            return std::nullopt;
        parts.push_back(std::move(name));
    }
    if (parts.empty())
        return std::nullopt;
    return parts;
}

std::string joined(const std::vector<std::string>& parts, std::size_t count) {
    std::string path;
    for (std::size_t i = 0; i < count; ++i)
        path += (i ? "/" : "") + parts[i];
    return path;
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

struct Failure {
    Kind kind;
    std::string detail;
};

bool roomFor(int folder, std::int64_t bytes) {
    struct statvfs space {};
    if (::fstatvfs(folder, &space) != 0)
        return true; // the writes will tell
    return static_cast<long double>(space.f_bavail) * space.f_frsize >= bytes;
}

// The free space where `folder` is, or would be made: its nearest folder
// that is there.
bool roomAt(std::string folder, std::int64_t bytes) {
    for (;;) {
        const FileDescriptor at(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (at.valid())
            return roomFor(at.get(), bytes);
        const std::size_t slash = folder.find_last_of('/');
        if (slash == std::string::npos || slash == 0)
            return true; // the writes will tell
        folder.resize(slash);
    }
}

// Writes one unpacking's entries under the folder and remembers what it
// wrote, so a failure takes all of it away again.
class FolderWriter {
  public:
    explicit FolderWriter(const std::string& folder) {
        // The folder and those above it that are missing, outermost first.
        for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
            const std::string path = folder.substr(0, slash);
            if (::mkdir(path.c_str(), 0755) == 0)
                createdRoots_.push_back(path);
            if (slash == std::string::npos)
                break;
        }
        root_ = FileDescriptor(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }

    bool ready() const { return root_.valid(); }

    // The folder an entry's parent parts lead to, made as needed; each
    // part opened without following a link.
    std::optional<Failure> openParent(const std::vector<std::string>& parts, FileDescriptor& parent,
                                      std::string& parentPath) {
        parentPath.clear();
        parent = FileDescriptor(::dup(root_.get()));
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            if (auto failure = enterFolder(joined(parts, i + 1), parts[i], parent, parentPath))
                return failure;
        }
        return std::nullopt;
    }

    std::optional<Failure> makeFolder(const std::vector<std::string>& parts) {
        FileDescriptor parent;
        std::string parentPath;
        std::vector<std::string> all = parts;
        all.push_back("."); // so that every part is entered
        if (auto failure = openParent(all, parent, parentPath))
            return failure;
        return std::nullopt;
    }

    // Writes the entry's data under a hidden name, then gives it the first
    // free one of "name", "name (1)", ... once it is whole.
    std::optional<Failure>
    writeFile(archive* a, archive_entry* entry, const std::vector<std::string>& parts,
              const std::function<std::optional<Failure>(std::int64_t)>& onBlock) {
        FileDescriptor parent;
        std::string parentPath;
        if (auto failure = openParent(parts, parent, parentPath))
            return failure;
        if (archive_entry_size_is_set(entry) && !roomFor(parent.get(), archive_entry_size(entry)))
            return Failure{Kind::NoSpace,
                           "not enough free space for " + joined(parts, parts.size())};
        const std::string hidden = ".vardelo-unpacking-" + std::to_string(::getpid()) + "-" +
                                   std::to_string(written_.size());
        const mode_t mode = (archive_entry_perm(entry) & 0111) ? 0755 : 0644;
        FileDescriptor file(::openat(parent.get(), hidden.c_str(),
                                     O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.valid())
            return systemFailure("cannot create a file in " + parentPath);
        auto dropHidden = [&] { ::unlinkat(parent.get(), hidden.c_str(), 0); };
        if (auto failure = copyData(a, file.get(), onBlock)) {
            dropHidden();
            return failure;
        }
        if (archive_entry_mtime_is_set(entry)) {
            const timespec times[2] = {
                {0, UTIME_OMIT}, {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)}};
            ::futimens(file.get(), times);
        }
        const std::string name = parts.back();
        for (int n = 0; n < 10000; ++n) {
            const std::string candidate = numberedName(name, n);
            if (renameWithoutReplacing(parent.get(), hidden, candidate)) {
                const std::string path = (parentPath.empty() ? "" : parentPath + "/") + candidate;
                written_.push_back(path);
                finalPaths_[joined(parts, parts.size())] = path;
                return std::nullopt;
            }
            if (errno != EEXIST) {
                dropHidden();
                return systemFailure("cannot name " + candidate);
            }
        }
        dropHidden();
        return Failure{Kind::WriteFailed, "no free name for " + name};
    }

    // A hard link to a file this unpacking wrote; any other target is refused.
    bool linkTo(const std::vector<std::string>& parts, const std::vector<std::string>& target) {
        const auto found = finalPaths_.find(joined(target, target.size()));
        if (found == finalPaths_.end())
            return false;
        FileDescriptor parent;
        std::string parentPath;
        if (openParent(parts, parent, parentPath))
            return false;
        for (int n = 0; n < 10000; ++n) {
            const std::string candidate = numberedName(parts.back(), n);
            if (::linkat(root_.get(), found->second.c_str(), parent.get(), candidate.c_str(), 0) ==
                0) {
                written_.push_back((parentPath.empty() ? "" : parentPath + "/") + candidate);
                return true;
            }
            if (errno != EEXIST)
                return false;
        }
        return false;
    }

    // Symbolic links are made after every other entry, so no entry is
    // written through one; only links that stay inside the folder are made.
    void deferSymlink(const std::vector<std::string>& parts, std::string target) {
        symlinks_.emplace_back(parts, std::move(target));
    }

    int makeSymlinks() {
        int made = 0;
        for (const auto& [parts, target] : symlinks_) {
            if (!staysInside(parts, target))
                continue;
            FileDescriptor parent;
            std::string parentPath;
            if (openParent(parts, parent, parentPath))
                continue;
            for (int n = 0; n < 10000; ++n) {
                const std::string candidate = numberedName(parts.back(), n);
                if (::symlinkat(target.c_str(), parent.get(), candidate.c_str()) == 0) {
                    written_.push_back((parentPath.empty() ? "" : parentPath + "/") + candidate);
                    ++made;
                    break;
                }
                if (errno != EEXIST)
                    break;
            }
        }
        return made;
    }

    int filesWritten() const { return static_cast<int>(written_.size()); }

    // Takes away every file and folder this unpacking made.
    void undo() {
        for (auto path = written_.rbegin(); path != written_.rend(); ++path)
            ::unlinkat(root_.get(), path->c_str(), 0);
        for (auto folder = createdFolders_.rbegin(); folder != createdFolders_.rend(); ++folder)
            ::unlinkat(root_.get(), folder->c_str(), AT_REMOVEDIR);
        written_.clear();
        createdFolders_.clear();
        finalPaths_.clear();
        folderNames_.clear();
        for (auto path = createdRoots_.rbegin(); path != createdRoots_.rend(); ++path)
            ::rmdir(path->c_str());
        createdRoots_.clear();
    }

  private:
    static Failure systemFailure(const std::string& what) {
        const int error = errno;
        const Kind kind = (error == ENOSPC || error == EDQUOT) ? Kind::NoSpace : Kind::WriteFailed;
        return {kind, what + ": " + std::strerror(error)};
    }

    // A file system without RENAME_NOREPLACE gets a link and an unlink,
    // which cannot replace either.
    static bool renameWithoutReplacing(int folder, const std::string& from, const std::string& to) {
        if (::renameat2(folder, from.c_str(), folder, to.c_str(), RENAME_NOREPLACE) == 0)
            return true;
        if (errno != EINVAL && errno != ENOSYS)
            return false;
        if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) != 0)
            return false;
        ::unlinkat(folder, from.c_str(), 0);
        return true;
    }

    // Enters (making it when missing) the folder of an entry's path part. A
    // file or link in its way gives the part the next free "name (n)", which
    // later entries under the same part keep.
    std::optional<Failure> enterFolder(const std::string& entryPath, const std::string& part,
                                       FileDescriptor& parent, std::string& parentPath) {
        if (part == ".")
            return std::nullopt;
        const auto known = folderNames_.find(entryPath);
        const int tries = known == folderNames_.end() ? 10000 : 1;
        for (int n = 0; n < tries; ++n) {
            const std::string candidate =
                known == folderNames_.end() ? numberedName(part, n) : known->second;
            const bool made = ::mkdirat(parent.get(), candidate.c_str(), 0755) == 0;
            if (!made && errno != EEXIST)
                return systemFailure("cannot make the folder " + candidate);
            FileDescriptor next(::openat(parent.get(), candidate.c_str(),
                                         O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next.valid())
                continue;
            const std::string path = (parentPath.empty() ? "" : parentPath + "/") + candidate;
            if (made)
                createdFolders_.push_back(path);
            folderNames_[entryPath] = candidate;
            parent = std::move(next);
            parentPath = path;
            return std::nullopt;
        }
        return Failure{Kind::WriteFailed, "no folder for " + entryPath};
    }

    static bool staysInside(const std::vector<std::string>& parts, const std::string& target) {
        if (target.empty() || target.front() == '/')
            return false;
        int depth = static_cast<int>(parts.size()) - 1;
        std::string_view rest(target);
        while (!rest.empty()) {
            const std::size_t slash = rest.find('/');
            const std::string_view part = rest.substr(0, slash);
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
            if (part == "..")
                --depth;
            else if (!part.empty() && part != ".")
                ++depth;
            if (depth < 0)
                return false;
        }
        return true;
    }

    std::optional<Failure>
    copyData(archive* a, int file,
             const std::function<std::optional<Failure>(std::int64_t)>& onBlock) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        for (;;) {
            const int status = archive_read_data_block(a, &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return std::nullopt;
            if (status != ARCHIVE_OK) {
                const bool encrypted =
                    mentionsEncryption(a) ||
                    asciiLower(libraryError(a)).find("passphrase") != std::string::npos;
                return Failure{encrypted ? Kind::PasswordNeeded : Kind::Damaged, libraryError(a)};
            }
            const char* bytes = static_cast<const char*>(block);
            std::size_t done = 0;
            while (done < size) {
                const ssize_t n = ::pwrite(file, bytes + done, size - done,
                                           offset + static_cast<la_int64_t>(done));
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    return systemFailure("cannot write");
                }
                done += static_cast<std::size_t>(n);
            }
            if (auto failure = onBlock(static_cast<std::int64_t>(size)))
                return failure;
        }
    }

    FileDescriptor root_;
    std::vector<std::string> createdRoots_;
    std::vector<std::string> written_;               // relative to the folder, in order
    std::vector<std::string> createdFolders_;        // the same
    std::map<std::string, std::string> finalPaths_;  // entry path -> what it was written as
    std::map<std::string, std::string> folderNames_; // entry folder path -> its part's name
    std::vector<std::pair<std::vector<std::string>, std::string>> symlinks_;
};

std::int64_t totalSize(const std::vector<std::string>& volumes) {
    std::int64_t total = 0;
    for (const std::string& volume : volumes) {
        struct stat info {};
        if (::stat(volume.c_str(), &info) == 0)
            total += info.st_size;
    }
    return total;
}

// Whether the headers give the entries' sizes without unpacking them: a
// zip's central directory, a plain tar's headers, a 7z's header (its
// entries are passed over unread, solid blocks too). A compressed stream
// or a solid RAR would be unpacked once only to add them up; those are
// checked entry by entry as they are written.
bool headersTellSizes(archive* a) {
    if (archive_filter_code(a, 0) != ARCHIVE_FILTER_NONE)
        return false;
    const int format = archive_format(a) & ARCHIVE_FORMAT_BASE_MASK;
    return format == ARCHIVE_FORMAT_ZIP || format == ARCHIVE_FORMAT_TAR ||
           format == ARCHIVE_FORMAT_7ZIP;
}

// The whole size of the archive's files where its headers tell it.
std::optional<std::int64_t> entriesTotal(const UnpackJob& job) {
    if (bareCompressedName(job.volumes))
        return std::nullopt;
    std::string error;
    Archive reader = openVolumes(job, nullptr, error);
    if (!reader)
        return std::nullopt;
    archive* a = reader.get();
    archive_entry* entry = nullptr;
    std::int64_t total = 0;
    for (bool first = true;; first = false) {
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF)
            return total;
        if ((status != ARCHIVE_OK && status != ARCHIVE_WARN) || (first && !headersTellSizes(a)))
            return std::nullopt;
        if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_size_is_set(entry) &&
            archive_entry_size(entry) > 0)
            total = archive_entry_size(entry) > kMostBytes - total ? kMostBytes
                                                                   : total + archive_entry_size(entry);
    }
}

// The index of the smallest encrypted file with data, by its header; -1
// when there is none or the headers cannot be read without a password.
int smallestEncryptedEntry(const UnpackJob& job) {
    std::string error;
    Archive reader = openVolumes(job, nullptr, error);
    if (!reader)
        return -1;
    archive_entry* entry = nullptr;
    int best = -1;
    std::int64_t bestSize = 0;
    for (int index = 0; archive_read_next_header(reader.get(), &entry) == ARCHIVE_OK; ++index) {
        if (!archive_entry_is_data_encrypted(entry) || archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const std::int64_t size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1;
        if (size > 0 && (best < 0 || size < bestSize)) {
            best = index;
            bestSize = size;
        }
    }
    return best;
}

// Whether the password unlocks the entry at `index`: its data read whole,
// checksum included.
bool unlocks(const UnpackJob& job, const std::string& password, int index,
             const std::atomic<bool>& stop) {
    std::string error;
    Archive reader = openVolumes(job, &password, error);
    if (!reader)
        return false;
    archive_entry* entry = nullptr;
    for (int at = 0; at <= index; ++at)
        if (archive_read_next_header(reader.get(), &entry) != ARCHIVE_OK)
            return false;
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        if (stop)
            return false;
        const int status = archive_read_data_block(reader.get(), &block, &size, &offset);
        if (status == ARCHIVE_EOF)
            return true;
        if (status != ARCHIVE_OK)
            return false;
    }
}

class ArchiveExtraction {
  public:
    ArchiveExtraction(const UnpackJob& job, const UnpackProgress& progress,
                      const std::atomic<bool>& stop)
        : job_(job), progress_(progress), stop_(stop), total_(totalSize(job.volumes)) {}

    // One pass over the archive with one password (or none): the result, or
    // PasswordNeeded as soon as an entry asks for one it lacks.
    UnpackResult run(const std::string* password) {
        FolderWriter writer(job_.folder);
        if (!writer.ready())
            return {Kind::WriteFailed, 0, {}, "cannot open the folder " + job_.folder};
        std::string error;
        Archive reader = openVolumes(job_, password, error);
        if (!reader)
            return fail(writer, {Kind::Damaged, error});
        archive* a = reader.get();
        const auto bareName = bareCompressedName(job_.volumes);
        archive_entry* entry = nullptr;
        for (;;) {
            if (stop_)
                return fail(writer, {Kind::Stopped, {}});
            const int status = archive_read_next_header(a, &entry);
            if (status == ARCHIVE_EOF)
                break;
            if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
                const Kind kind = cannotDecrypt(a) && mentionsEncryption(a)
                                      ? Kind::EncryptedUnsupported
                                      : Kind::Damaged;
                return fail(writer, {kind, libraryError(a)});
            }
            if (archive_entry_is_encrypted(entry) && cannotDecrypt(a))
                return fail(writer, {Kind::EncryptedUnsupported, "encrypted entries"});
            // Read raw, anything is one entry: only a known compression makes it a file.
            if (bareName && archive_filter_code(a, 0) == ARCHIVE_FILTER_NONE)
                return fail(writer, {Kind::Damaged, "not compressed"});
            const char* path = bareName ? bareName->c_str() : archive_entry_pathname_utf8(entry);
            if (!path)
                path = archive_entry_pathname(entry);
            if (auto failure = writeEntry(writer, a, entry, path))
                return fail(writer, *failure);
            report(a);
        }
        writer.makeSymlinks();
        report(a, true);
        UnpackResult done{
            Kind::Unpacked, writer.filesWritten(), password ? *password : std::string(), {}};
        return done;
    }

  private:
    std::optional<Failure> writeEntry(FolderWriter& writer, archive* a, archive_entry* entry,
                                      const char* path) {
        const auto parts = safeParts(path);
        if (!parts)
            return std::nullopt; // refused: it would leave the folder
        if (const char* target = archive_entry_hardlink(entry)) {
            if (const auto targetParts = safeParts(target))
                writer.linkTo(*parts, *targetParts);
            return std::nullopt;
        }
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            return writer.makeFolder(*parts);
        case AE_IFLNK:
            if (const char* target = archive_entry_symlink(entry))
                writer.deferSymlink(*parts, target);
            return std::nullopt;
        case AE_IFREG:
            return writer.writeFile(a, entry, *parts,
                                    [&](std::int64_t bytes) { return afterBlock(a, bytes); });
        default:
            return std::nullopt; // devices and pipes are not kept
        }
    }

    std::optional<Failure> afterBlock(archive* a, std::int64_t bytes) {
        if (stop_)
            return Failure{Kind::Stopped, {}};
        output_ += bytes;
        const std::int64_t read = std::max<std::int64_t>(archive_filter_bytes(a, -1), 1);
        if (output_ > job_.bombFloor && output_ / read > bombRatio)
            return Failure{Kind::Bomb,
                           std::to_string(output_) + " bytes out of " + std::to_string(read)};
        report(a);
        return std::nullopt;
    }

    void report(archive* a, bool last = false) {
        if (!progress_)
            return;
        const std::int64_t read = last ? total_ : std::min(archive_filter_bytes(a, -1), total_);
        if (!last && read - reported_ < std::max<std::int64_t>(total_ / 200, 1))
            return;
        reported_ = read;
        progress_(read, total_);
    }

    static UnpackResult fail(FolderWriter& writer, const Failure& failure) {
        writer.undo();
        return {failure.kind, 0, {}, failure.detail};
    }

    const UnpackJob& job_;
    const UnpackProgress& progress_;
    const std::atomic<bool>& stop_;
    const std::int64_t total_;
    std::int64_t output_ = 0;
    std::int64_t reported_ = 0;
};

} // namespace

UnpackResult unpackArchive(const UnpackJob& job, const UnpackProgress& progress,
                           const std::atomic<bool>& stop) {
    if (const auto total = entriesTotal(job); total && !roomAt(job.folder, *total))
        return {Kind::NoSpace, 0, {}, "not enough free space for " + std::to_string(*total) +
                                          " bytes of entries"};
    ArchiveExtraction unpacking(job, progress, stop);
    UnpackResult result = unpacking.run(nullptr);
    if (result.kind != Kind::PasswordNeeded)
        return result;
    const int probe = smallestEncryptedEntry(job);
    for (const std::string& password : job.passwords) {
        if (stop)
            return {Kind::Stopped, 0, {}, {}};
        if (probe >= 0 && !unlocks(job, password, probe, stop))
            continue;
        result = unpacking.run(&password);
        if (result.kind != Kind::PasswordNeeded)
            return result;
    }
    return {Kind::PasswordNeeded, 0, {}, {}};
}

} // namespace vardelo
