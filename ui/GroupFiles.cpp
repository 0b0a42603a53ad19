#include "ui/GroupFiles.h"

#include <cctype>

#include "platform/FileSystem.h"

std::string GroupDirectory(const std::string& outputDir, const std::string& groupName) {
    if (outputDir.empty()) {
        return groupName;
    }
    std::string dir = outputDir;
    if (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) {
        dir.pop_back();
    }
    return IsDirectory(dir) ? dir + "/" + groupName : groupName;
}

std::string FileNodeText(const std::string& fileName) {
    size_t dot = fileName.rfind('.');
    std::string text = fileName;
    for (size_t i = dot == std::string::npos ? 0 : dot; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            text[i] = static_cast<char>(std::toupper(c));
        }
    }
    return text;
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}
