#include "decode/OutputFiles.h"

#include "decode/FileNames.h"
#include "decode/PendingOutput.h"
#include "log/Log.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>

void MakeSafeFileName(std::string& name) {
    if (name.empty() || name == "." || name == ".." || name[0] == '/') {
        name = "NoFileName";
    }
}

std::string MakeOutputPath(std::string& name, const std::string& directory) {
    MakeSafeFileName(name);
    std::string path;
    if (!directory.empty()) {
        path = directory;
        if (path.back() != '/') {
            path += '/';
        }
    }
    path += name;
    MangleFileName(path);
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && slash + 1 < path.size()) {
        name = path.substr(slash + 1);
    } else if (slash == std::string::npos) {
        name = path;
    }
    return path;
}

bool PathTaken(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

void MangleFileName(std::string& path) {
    if (!PathTaken(path)) {
        return;
    }
    const std::string original = path;
    const size_t dot = FindExtension(original);
    for (uint64_t counter = 0; PathTaken(path); ++counter) {
        char number[24];
        snprintf(number, sizeof number, "%03" PRIu64, counter);
        path = dot == std::string::npos ? original + number
                                        : original.substr(0, dot) + number + original.substr(dot);
        LogMessage("   Mangling filename to \"%s\"", path.c_str());
    }
}

uint64_t WriteWholeFile(const std::string& path, uint64_t size, const char* bytes) {
    PendingOutput output(path);
    FILE* file = output.stream();
    if (!file || fwrite(bytes, 1, size, file) != size || !output.publish()) {
        return 0;
    }
    return size;
}
