#include "platform/FileIdentity.h"

#include <cerrno>
#include <sys/stat.h>

namespace {

FileIdentity FromStat(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size, static_cast<long>(status.st_mtim.tv_sec),
            status.st_mtim.tv_nsec};
}

} // namespace

std::optional<FileIdentity> IdentifyFile(const std::string& path, bool& missing) {
    struct stat status {};
    missing = false;
    if (stat(path.c_str(), &status) != 0) {
        missing = errno == ENOENT;
        return std::nullopt;
    }
    return FromStat(status);
}

std::optional<FileIdentity> IdentifyOpenFile(FILE* file) {
    struct stat status {};
    if (fflush(file) != 0 || fstat(fileno(file), &status) != 0) {
        return std::nullopt;
    }
    return FromStat(status);
}
