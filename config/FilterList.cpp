#include "config/FilterList.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>

std::atomic<int> FiltersChanged{0};

namespace {

constexpr size_t kMaxFilterLine = 1023;
constexpr size_t kMinFilterLength = 3;

} // namespace

std::vector<std::string> ReadFilterFile(const std::string& path) {
    std::vector<std::string> strings;
    std::ifstream in(path, std::ios::binary);
    // A last line without a line end counts like any other.
    for (std::string line; std::getline(in, line);) {
        line.resize(std::min(line.size(), kMaxFilterLine));
        line.resize(std::min(line.find_first_of(std::string("\r\0", 2)), line.size()));
        if (line.size() >= kMinFilterLength) {
            strings.push_back(std::move(line));
        }
    }
    return strings;
}

int LoadFilterFile(const std::string& path, OwnedPtrArray<std::string>& list) {
    // Cleared before reading: a change saved while the file is being read is seen at the next article.
    FiltersChanged = 0;
    std::vector<std::string> strings = ReadFilterFile(path);
    for (size_t i = 0; i < strings.size(); ++i) {
        list.set(static_cast<uint32_t>(i), std::make_unique<std::string>(std::move(strings[i])));
    }
    return static_cast<int>(strings.size());
}

void FreeFilterList(OwnedPtrArray<std::string>& list, int count) {
    for (int i = 0; i < count; ++i) {
        list.take(static_cast<uint32_t>(i));
    }
}

std::optional<std::string> WriteFilterFile(const std::string& path, const std::vector<std::string>& strings) {
    if (path.empty()) {
        return std::nullopt;
    }
    std::string temp = path + ".new";
    FILE* out = fopen(temp.c_str(), "w");
    bool written = out != nullptr;
    for (size_t i = 0; written && i < strings.size(); ++i) {
        written = fprintf(out, "%s\n", strings[i].c_str()) >= 0;
    }
    if (out) {
        written = (fclose(out) == 0) && written;
    }
    if (written && std::rename(temp.c_str(), path.c_str()) == 0) {
        return std::nullopt;
    }
    std::remove(temp.c_str());
    char message[4096 + 64];
    snprintf(message, sizeof message, kWriteFilterFileFailed, path.c_str());
    return std::string(message);
}
