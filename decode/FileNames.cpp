#include "decode/FileNames.h"

#include <algorithm>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool MustReplace(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F || (c != '\0' && strchr("\"/:&;\\<>%,*=|?~", c) != nullptr);
}

} // namespace

void CleanFileName(std::string& name) {
    if (name.empty()) {
        return;
    }
    size_t first = 0;
    while (first < name.size() && IsBlank(name[first])) {
        ++first;
    }
    name.erase(0, first);
    name.erase(std::remove(name.begin(), name.end(), '"'), name.end());
    size_t keep = name.size();
    while (keep > 1 && IsBlank(name[keep - 1])) {
        --keep;
    }
    name.resize(keep);
    if (name.size() > 1) {
        size_t slash = name.find_last_of('\\', name.size() - 2);
        if (slash != std::string::npos) {
            name.erase(0, slash + 1);
        }
    }
    std::replace_if(name.begin(), name.end(), MustReplace, '_');
}

size_t FindExtension(const std::string& path) {
    for (size_t i = path.size(); i > 1; --i) {
        char c = path[i - 1];
        if (c == '.') {
            return i - 1;
        }
        if (c == '/' || c == '\\') {
            break;
        }
    }
    return std::string::npos;
}

bool HasExtension(const std::string& path) {
    return FindExtension(path) != std::string::npos;
}

std::string ExtensionOf(const std::string& path) {
    size_t dot = FindExtension(path);
    return dot == std::string::npos ? std::string() : path.substr(dot + 1);
}
