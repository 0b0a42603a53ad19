#include "decode/FileStat.h"

#include "common/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

const std::string kEmpty;

const char* OrNull(const std::optional<std::string>& text) {
    return text ? text->c_str() : "<null>";
}

// Stores a copy of text (or clears on null); an allocation failure ends the process as the other classes do.
void Store(std::optional<std::string>& target, const char* text, const char* setter) {
    if (!text) {
        target.reset();
        return;
    }
    try {
        target.emplace(text);
    } catch (const std::bad_alloc&) {
        printf("FileStat::%s(char*) - new[%zu] failed\n", setter, strlen(text) + 1);
        fflush(stdout);
        exit(2);
    }
}

} // namespace

FileStat::FileStat() {
    trace("New");
}

FileStat::~FileStat() {
    trace("Delete");
}

void FileStat::trace(const char* title) const {
    Trace("%s FileStat[%p](void)\n", title, static_cast<const void*>(this));
    Trace("\textension = \"%s\"\n", OrNull(extension_));
    Trace("\tname      = \"%s\"\n", OrNull(name_));
    Trace("\tfull_path = \"%s\"\n", OrNull(full_path_));
}

void FileStat::reset() {
    status = kProduced;
    size = 0;
    encoding = 3;
    repost_state = kNotTested;
    extension_.reset();
    name_.reset();
    full_path_.reset();
}

void FileStat::setName(const char* text) {
    Store(name_, text, "setName");
}

void FileStat::setExtension(const char* text) {
    Store(extension_, text, "setExtension");
    if (extension_) {
        for (char& c : *extension_) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
    }
}

void FileStat::setFullPath(const char* text) {
    Store(full_path_, text, "setFullPath");
}

const std::string& FileStat::getName() const {
    return name_ ? *name_ : kEmpty;
}
const std::string& FileStat::getExtension() const {
    return extension_ ? *extension_ : kEmpty;
}
const std::string& FileStat::getFullPath() const {
    return full_path_ ? *full_path_ : kEmpty;
}
