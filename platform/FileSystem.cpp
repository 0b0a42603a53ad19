#include "platform/FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

std::optional<uint64_t> FreeSpaceBytes(const std::string& dir) {
    fs::path path = dir.empty() ? fs::path(".") : fs::path(dir);
    // Every step shortens the path, so the walk ends at "/" or ".".
    while (true) {
        struct statvfs info;
        if (statvfs(path.c_str(), &info) == 0) {
            return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
        }
        if (errno != ENOENT && errno != ENOTDIR) {
            return std::nullopt;
        }
        fs::path parent = path.parent_path();
        if (parent.empty()) {
            parent = path.is_absolute() ? fs::path("/") : fs::path(".");
        }
        if (parent == path) {
            return std::nullopt;
        }
        path = parent;
    }
}

std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec) {
        return std::nullopt;
    }
    std::vector<DirEntry> entries;
    while (it != fs::directory_iterator()) {
        std::error_code kindError;
        entries.push_back({it->path().filename().string(), it->is_directory(kindError)});
        it.increment(ec);
        if (ec) {
            return std::nullopt;
        }
    }
    return entries;
}

bool RenamePath(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL) {
        return false;
    }
    // Some file systems (network ones among them) cannot refuse atomically; check, then move.
    return !PathExists(to) && RenamePath(from, to);
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

bool CreateDirectories(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    return IsDirectory(dir);
}

bool PathExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
