#include "parts/PartAssembly.h"

#include <vector>

#include "log/Log.h"
#include "parts/PartsPaths.h"

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

// Appends the whole of `from` to `to`; the count of bytes copied, or nothing when writing fails.
std::optional<long> CopyFile(FILE* from, FILE* to) {
    std::vector<char> buffer(kCopyChunk);
    long copied = 0;
    size_t got;
    while ((got = fread(buffer.data(), 1, buffer.size(), from)) > 0) {
        if (fwrite(buffer.data(), 1, got, to) != got) {
            return std::nullopt;
        }
        copied += static_cast<long>(got);
    }
    return copied;
}

bool AppendParts(const std::string& partsDir, const std::vector<PartRecord>& parts, FILE* temp) {
    for (const PartRecord& part : parts) {
        std::string path = PartFilePath(partsDir, part.file);
        FILE* in = fopen(path.c_str(), "rb");
        if (!in) {
            LogMessage("   Part %d (%s) is missing from the parts directory", part.part, path.c_str());
            continue;
        }
        std::optional<long> copied = CopyFile(in, temp);
        fclose(in);
        if (!copied) {
            return false;
        }
        LogMessage("   Adding %ld bytes from part %d", *copied, part.part);
    }
    static const char kEnd[] = "\r\n.\r\n";
    return fwrite(kEnd, 1, sizeof kEnd - 1, temp) == sizeof kEnd - 1 && fflush(temp) == 0;
}

std::optional<std::string> ReadBack(FILE* temp) {
    long size = ftell(temp);
    if (size <= 0) {
        return std::nullopt;
    }
    LogMessage("   Multipart article is %lu bytes", static_cast<unsigned long>(size));
    std::string body;
    body.resize(static_cast<size_t>(size));
    rewind(temp);
    if (fread(body.data(), 1, body.size(), temp) != body.size()) {
        return std::nullopt;
    }
    return body;
}

} // namespace

std::optional<std::string> AssembleParts(const std::string& partsDir, const std::vector<PartRecord>& parts) {
    // Beside the parts rather than in the system's temporary directory: the parts' volume is the one the user
    // chose for data this big. Unlinked at once, so it vanishes when closed.
    std::string tempPath = PartFilePath(partsDir, "assembly.tmp");
    FILE* temp = fopen(tempPath.c_str(), "w+b");
    if (temp) {
        std::remove(tempPath.c_str());
    }
    LogMessage("   Concatenating %d parts", static_cast<int>(parts.size()));
    if (!temp) {
        LogMessage("Failed to create a temporary file!");
        return std::nullopt;
    }
    std::optional<std::string> body;
    if (AppendParts(partsDir, parts, temp)) {
        body = ReadBack(temp);
    }
    if (!body) {
        LogMessage("Failed to open \"%s\", out of space?\n", tempPath.c_str());
    }
    fclose(temp);
    return body;
}
