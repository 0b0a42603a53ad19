#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::filesystem::path DirectoryOf(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    return dir.empty() ? std::filesystem::path(".") : dir;
}

// Makes the rename itself durable; a failure here leaves a correct file, so it is not reported.
void SyncDirectory(const std::filesystem::path& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(const std::string& path, mode_t mode) {
    discard();
    std::filesystem::path target(path);
    std::string pattern = (DirectoryOf(path) / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    target_ = path;
    temp_ = pattern;
    fd_ = fd;
    if (::fchmod(fd_, mode) != 0) {
        discard();
        return false;
    }
    return true;
}

bool AtomicFile::write(std::string_view bytes) {
    while (fd_ >= 0 && !bytes.empty()) {
        ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            discard();
            break;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return fd_ >= 0;
}

bool AtomicFile::commit() {
    if (fd_ < 0) {
        return false;
    }
    bool written = ::fsync(fd_) == 0;
    written = ::close(fd_) == 0 && written;
    fd_ = -1;
    if (!written || ::rename(temp_.c_str(), target_.c_str()) != 0) {
        discard();
        return false;
    }
    temp_.clear();
    SyncDirectory(DirectoryOf(target_));
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode) {
    AtomicFile file;
    return file.open(path, mode) && file.write(bytes) && file.commit();
}
