#include "core/RecordFile.h"

#include "core/Cp1250.h"
#include "core/IoError.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <numeric>
#include <system_error>

#if __has_include(<unistd.h>)
#include <unistd.h>
#define VARDELO_HAVE_FSYNC 1
#endif

namespace vardelo {
namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

[[noreturn]] void throwErrno(int fallbackCode) {
    const int error = errno;
    throw IoError(error != 0 ? ioCodeFromErrno(error) : fallbackCode);
}

bool lacksWritePermission(const std::filesystem::path& path) {
    std::error_code ec;
    const auto perms = std::filesystem::status(path, ec).permissions();
    return !ec && (perms & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

void closeChecked(FilePtr file) {
    errno = 0;
    if (std::fclose(file.release()) != 0)
        throwErrno(IoDiskFull);
}

// Writes a temporary file beside the target and renames it over the target
// once it is complete and flushed.
void writeFileAtomically(const std::filesystem::path& path, std::string_view bytes) {
    if (lacksWritePermission(path))
        throw IoError(IoAccessDenied);
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    errno = 0;
    FilePtr file(std::fopen(temporary.c_str(), "wb"));
    if (!file)
        throwErrno(IoAccessDenied);
    try {
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
            std::fflush(file.get()) != 0)
            throwErrno(IoDiskFull);
#ifdef VARDELO_HAVE_FSYNC
        errno = 0;
        if (::fsync(::fileno(file.get())) != 0)
            throwErrno(IoDiskFull);
#endif
        closeChecked(std::move(file));
        std::error_code ec;
        std::filesystem::rename(temporary, path, ec);
        if (ec)
            throw IoError(ioCodeFromErrno(ec.value()));
    } catch (...) {
        file.reset();
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        throw;
    }
}

} // namespace

int RecordLayout::recordSize() const {
    return std::accumulate(capacities.begin(), capacities.end(), 0,
                           [](int sum, int capacity) { return sum + 1 + capacity; });
}

const RecordLayout& queueRecordLayout() {
    static const RecordLayout layout{{5, 254, 100}};
    return layout;
}

const RecordLayout& logRecordLayout() {
    static const RecordLayout layout{{10, 254, 100, 20, 100}};
    return layout;
}

std::string encodeRecords(const TextGrid& grid, const RecordLayout& layout) {
    const auto recordSize = static_cast<std::size_t>(layout.recordSize());
    std::string bytes(recordSize * static_cast<std::size_t>(grid.lastRow()), '\0');
    std::size_t offset = 0;
    for (int row = 1; row <= grid.lastRow(); ++row) {
        for (std::size_t field = 0; field < layout.capacities.size(); ++field) {
            const auto capacity = static_cast<std::size_t>(layout.capacities[field]);
            const std::string text = utf8ToCp1250(grid.cell(row, static_cast<int>(field)));
            const std::size_t length = std::min(text.size(), capacity);
            bytes[offset] = static_cast<char>(length);
            text.copy(bytes.data() + offset + 1, length);
            offset += 1 + capacity;
        }
    }
    return bytes;
}

int decodeRecords(std::string_view bytes, const RecordLayout& layout, TextGrid& grid) {
    const auto recordSize = static_cast<std::size_t>(layout.recordSize());
    const auto records = static_cast<int>(bytes.size() / recordSize);
    if (records == 0)
        return 0;
    int row = grid.lastRow();
    grid.setRowCount(row + records);
    std::size_t offset = 0;
    for (int k = 0; k < records; ++k, ++row) {
        for (std::size_t field = 0; field < layout.capacities.size(); ++field) {
            const auto capacity = static_cast<std::size_t>(layout.capacities[field]);
            const std::size_t length =
                std::min<std::size_t>(static_cast<unsigned char>(bytes[offset]), capacity);
            grid.setCell(row, static_cast<int>(field),
                         cp1250ToUtf8(bytes.substr(offset + 1, length)));
            offset += 1 + capacity;
        }
    }
    return records;
}

bool readRecordFile(const std::filesystem::path& path, const RecordLayout& layout, TextGrid& grid) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return false;
    if (lacksWritePermission(path))
        throw IoError(IoAccessDenied);
    errno = 0;
    FilePtr file(std::fopen(path.c_str(), "r+b"));
    if (!file)
        throwErrno(IoFileNotFound);

    std::string bytes;
    char chunk[1 << 16];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0)
        bytes.append(chunk, got);
    if (std::ferror(file.get()))
        throwErrno(IoReadBeyondEnd);
    closeChecked(std::move(file));

    decodeRecords(bytes, layout, grid);
    return true;
}

void writeRecordFile(const std::filesystem::path& path, const RecordLayout& layout,
                     const TextGrid& grid) {
    writeFileAtomically(path, encodeRecords(grid, layout));
}

} // namespace vardelo
