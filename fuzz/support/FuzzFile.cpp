#include "fuzz/support/FuzzFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

FuzzFile::FuzzFile(const char* name) {
    // Memory-backed where the system has it: every input is a file write.
    const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                           ? std::filesystem::path("/dev/shm")
                                           : std::filesystem::temp_directory_path();
    std::string pattern = (base / "spindrel-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    directory_ = pattern;
    path_ = directory_ + "/" + name;
}

FuzzFile::~FuzzFile() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

const std::string& FuzzFile::Write(const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path_.c_str(), "wb");
    if (file == nullptr) {
        std::perror(path_.c_str());
        std::abort();
    }
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
    return path_;
}

void FuzzCheck(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
}
