#include "platform/TempFile.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

FilePtr OpenTempFile(const std::string& dir) {
    std::string pattern = (std::filesystem::path(dir) / ".spdltmp-XXXXXX").string();
    int fd = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    unlink(pattern.c_str());
    FilePtr file(fdopen(fd, "w+b"));
    if (!file) {
        close(fd);
    }
    return file;
}
