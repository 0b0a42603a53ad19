#include "parts/PartsPaths.h"

std::string PartsDirectory(const std::string& partsDir) {
    return partsDir + "parts";
}

std::string PartFilePath(const std::string& partsDir, const std::string& name) {
    return PartsDirectory(partsDir) + "/" + name;
}

std::string IndexPath(const std::string& partsDir) {
    return PartFilePath(partsDir, "index");
}

std::string NewIndexPath(const std::string& partsDir) {
    return PartFilePath(partsDir, "index.new");
}

std::string WithTrailingSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') {
        dir += '/';
    }
    return dir;
}
