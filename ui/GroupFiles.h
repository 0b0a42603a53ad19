#pragma once

#include <string>

// The files under a group node and the rules for them.

// The directory of a group's files: `OutputDir` without its final separator, "/", the group's name; the name
// alone (under the current directory) when `OutputDir` is empty or does not exist.
std::string GroupDirectory(const std::string& outputDir, const std::string& groupName);
// What a file node shows: the extension, from the last ".", in capitals (ASCII letters only, byte by byte);
// a name without "." wholly in capitals.
std::string FileNodeText(const std::string& fileName);
// True for a name that stays inside its directory: not empty, no "/", no NUL, not "." or "..".
bool IsPlainFileName(const std::string& name);
