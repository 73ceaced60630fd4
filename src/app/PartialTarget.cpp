#include "app/PartialTarget.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace vardelo {

PartialTarget::PartialTarget(const std::string& folder, const std::string& fileName) {
    const PartialNames names = partialNamesFor(fileName);
    partialPath_ = folder + "/" + names.partial;
    recordPath_ = folder + "/" + names.record;
}

PartialTarget::~PartialTarget() {
    close();
}

bool PartialTarget::open(const std::atomic<bool>& abort) {
    const int fd = ::open(partialPath_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    // A worker abandoned by Stop may still flush its last piece; its lock
    // goes with its close.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || abort.load()) {
            ::close(fd);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !(file_ = ::fdopen(fd, "wb"))) {
        ::close(fd);
        return false;
    }
    openedSize_ = static_cast<std::int64_t>(info.st_size);
    return true;
}

std::optional<PartialRecord> PartialTarget::record() const {
    std::ifstream in(recordPath_, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return parseRecord(text.str());
}

bool PartialTarget::continueAt(std::int64_t offset) {
    return std::fflush(file_) == 0 && ::ftruncate(::fileno(file_), offset) == 0 &&
           ::fseeko(file_, offset, SEEK_SET) == 0;
}

bool PartialTarget::startAgain(const std::optional<PartialRecord>& record) {
    std::error_code ignored;
    std::filesystem::remove(recordPath_, ignored);
    if (!continueAt(0))
        return false;
    if (record) {
        // Written after the file is emptied: a record never describes bytes
        // of another answer. Without it the file is only started again.
        std::ofstream out(recordPath_, std::ios::binary | std::ios::trunc);
        out << recordText(*record);
        out.close();
        if (!out)
            std::filesystem::remove(recordPath_, ignored);
    }
    return true;
}

bool PartialTarget::write(const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, file_) == size;
}

bool PartialTarget::close() {
    if (!file_)
        return true;
    const bool flushed = std::fflush(file_) == 0;
    const bool closed = std::fclose(file_) == 0; // and the lock with it
    file_ = nullptr;
    return flushed && closed;
}

std::int64_t PartialTarget::sizeOnDisk() const {
    struct stat info {};
    return ::stat(partialPath_.c_str(), &info) == 0 ? static_cast<std::int64_t>(info.st_size) : 0;
}

bool PartialTarget::store(const std::string& target) {
    std::error_code error;
    std::filesystem::rename(partialPath_, target, error);
    if (error)
        return false;
    std::filesystem::remove(recordPath_, error);
    return true;
}

void PartialTarget::discard() {
    close();
    std::error_code ignored;
    std::filesystem::remove(partialPath_, ignored);
    std::filesystem::remove(recordPath_, ignored);
}

} // namespace vardelo
