#include "platform/AppendFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool AppendFile::StillNamed(const std::string& path) const {
    struct stat named {};
    return fd_ >= 0 && path == path_ && stat(path.c_str(), &named) == 0 && named.st_dev == device_ &&
           named.st_ino == inode_;
}

bool AppendFile::Append(const std::string& path, const char* text, size_t count) {
    if (!StillNamed(path)) {
        Close();
        int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        struct stat opened {};
        if (fd < 0) {
            return false;
        }
        if (fstat(fd, &opened) != 0) {
            close(fd);
            return false;
        }
        fd_ = fd;
        path_ = path;
        device_ = opened.st_dev;
        inode_ = opened.st_ino;
    }
    while (count > 0) {
        ssize_t written = write(fd_, text, count);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

void AppendFile::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    path_.clear();
}
