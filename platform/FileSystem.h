#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Bytes an unprivileged user may still write on the volume holding `dir`. A directory that does not exist yet
// is measured by its nearest existing parent (a relative path ends at the current directory). Empty when no
// ancestor can be examined.
std::optional<uint64_t> FreeSpaceBytes(const std::string& dir);

struct DirEntry {
    std::string name;
    bool isDirectory = false; // after following a symbolic link
};

// The entries of `dir` except "." and "..", in the order the file system returns them. Empty when `dir`
// cannot be read.
std::optional<std::vector<DirEntry>> ListDirectory(const std::string& dir);

// Moves `from` to `to`, replacing a file already at `to`.
bool RenamePath(const std::string& from, const std::string& to);
// Moves `from` to `to` only when nothing is at `to` yet.
bool RenameNoReplace(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// Creates `dir` and any missing parents; true when `dir` is a directory afterwards.
bool CreateDirectories(const std::string& dir);
// True when anything occupies the name, whatever its permissions; a dangling symbolic link counts too, so a
// writer that checks first never follows it somewhere else.
bool PathExists(const std::string& path);
// True for a directory or a symbolic link to one.
bool IsDirectory(const std::string& path);
