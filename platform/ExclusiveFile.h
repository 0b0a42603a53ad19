#pragma once

#include <cstdio>
#include <string>

// Creates a new file for binary writing; fails (null) when anything, even a dangling symbolic link, already
// has that name, so an output file never replaces or follows what is there.
FILE* CreateExclusiveFile(const std::string& path);
