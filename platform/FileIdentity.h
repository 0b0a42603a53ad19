#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <sys/types.h>

// What tells one state of a file from another: which file the name leads to, its size and its last change.
// A file rewritten, replaced or appended to by anyone gets a different identity.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long modifiedSeconds = 0;
    long modifiedNanoseconds = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; empty when there is none (`missing` tells whether nothing is there at
// all, as opposed to a file that cannot be examined).
std::optional<FileIdentity> IdentifyFile(const std::string& path, bool& missing);
// The identity of an open stream's file, after what was written to it has been flushed.
std::optional<FileIdentity> IdentifyOpenFile(FILE* file);
