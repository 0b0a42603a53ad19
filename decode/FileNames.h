#pragma once

#include <cstddef>
#include <string>

// Makes a name taken from a post fit for the output directory: trims blanks, drops double quotes, keeps what
// follows the last inner backslash, and replaces path, shell-special and control characters by "_".
void CleanFileName(std::string& name);

// Position of the "." that starts the extension of the last path component, or npos when it has none.
size_t FindExtension(const std::string& path);

// Text after the extension's "." (empty when there is none); hasExtension tells the two apart.
bool HasExtension(const std::string& path);
std::string ExtensionOf(const std::string& path);
