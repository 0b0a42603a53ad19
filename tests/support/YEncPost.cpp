#include "tests/support/YEncPost.h"

#include "tests/support/TempDir.h"

#include "tests/support/ShellQuote.h"

#include <cstdlib>

std::vector<std::string> YEncPost(const std::string& bytes, const std::string& name, int parts, int line) {
    TempDir dir;
    WriteFileBytes(dir.file("file"), bytes);
    // The module is installed for the system's interpreter, which need not be the first python3 on the path.
    std::string command =
        "/usr/bin/python3 " + ShellQuote(std::string(SPINDREL_SOURCE_DIR) + "/tests/support/yenc_post.py") +
        " " + ShellQuote(dir.file("file")) + " " + ShellQuote(name) + " " + std::to_string(parts) + " " +
        std::to_string(line) + " " + ShellQuote(dir.file("part"));
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::vector<std::string> bodies;
    for (int part = 1; part <= parts; ++part) {
        bodies.push_back(ReadFileBytes(dir.file("part." + std::to_string(part))));
    }
    return bodies;
}
