#pragma once

#include <cstdint>
#include <string>

// A name that stays inside the output directory: one that is empty, "." or "..", or that starts with "/",
// becomes "NoFileName".
void MakeSafeFileName(std::string& name);

// Joins directory and name with "/" and renames until nothing has that name; `name` becomes the final name.
std::string MakeOutputPath(std::string& name, const std::string& directory);

// Inserts "%03d" counters before the extension (or at the end) until the path names nothing that exists,
// logging every candidate.
void MangleFileName(std::string& path);

// Whether anything, even a dangling symbolic link, has this name.
bool PathTaken(const std::string& path);

// Creates a new file holding the bytes. Returns the number written: `size` on success, 0 when the file cannot
// be created or written whole (a partial file is removed).
uint64_t WriteWholeFile(const std::string& path, uint64_t size, const char* bytes);
