#pragma once

#include <cstdio>
#include <memory>
#include <string>

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// An open stdio stream that closes itself.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file in `dir` (the current directory when empty), open for reading and writing in binary mode,
// whose name is removed right after creation, so nothing is left behind once it is closed. Null on failure.
// Keeping it beside the data it collects keeps large files off a small /tmp.
FilePtr OpenTempFile(const std::string& dir);
