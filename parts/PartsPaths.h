#pragma once

#include <string>

// Where the parts store keeps its files. `partsDir` is the PartsDir setting: empty or ending in "/".
std::string PartsDirectory(const std::string& partsDir);                        // "%sparts"
std::string PartFilePath(const std::string& partsDir, const std::string& name); // "%sparts/%s"
std::string IndexPath(const std::string& partsDir);                             // "%sparts/index"
std::string NewIndexPath(const std::string& partsDir);                          // "%sparts/index.new"

// A directory setting with "/" appended when it is not empty and lacks one.
std::string WithTrailingSlash(std::string dir);
