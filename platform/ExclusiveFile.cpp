#include "platform/ExclusiveFile.h"

#include <fcntl.h>
#include <unistd.h>

FILE* CreateExclusiveFile(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        return nullptr;
    }
    FILE* file = fdopen(fd, "wb");
    if (!file) {
        close(fd);
    }
    return file;
}
