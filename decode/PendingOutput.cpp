#include "decode/PendingOutput.h"

#include <vector>

#include "platform/ExclusiveFile.h"
#include "platform/FileSystem.h"

PendingOutput::PendingOutput(std::string path) : path_(std::move(path)) {
    size_t slash = path_.rfind('/');
    size_t start = slash == std::string::npos ? 0 : slash + 1;
    hidden_ = path_.substr(0, start) + "." + path_.substr(start) + ".partial";
    // One left by a run that was cut short is ours to replace.
    RemoveFile(hidden_);
    file_ = CreateExclusiveFile(hidden_);
}

PendingOutput::~PendingOutput() {
    if (file_) {
        fclose(file_);
        RemoveFile(hidden_);
    }
}

bool PendingOutput::publish() {
    if (!file_) {
        return false;
    }
    bool written = !ferror(file_);
    written = fclose(file_) == 0 && written;
    file_ = nullptr;
    if (!written || !RenameNoReplace(hidden_, path_)) {
        RemoveFile(hidden_);
        return false;
    }
    return true;
}

bool SameContent(const std::string& a, const std::string& b) {
    FILE* first = fopen(a.c_str(), "rb");
    FILE* second = fopen(b.c_str(), "rb");
    bool same = first && second;
    std::vector<char> x(64 * 1024), y(64 * 1024);
    while (same) {
        size_t got = fread(x.data(), 1, x.size(), first);
        same =
            fread(y.data(), 1, y.size(), second) == got && std::equal(x.begin(), x.begin() + got, y.begin());
        if (got < x.size()) {
            same = same && feof(first) && feof(second) && !ferror(first) && !ferror(second);
            break;
        }
    }
    for (FILE* file : {first, second}) {
        if (file) {
            fclose(file);
        }
    }
    return same;
}
