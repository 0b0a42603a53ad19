#include "fuzz/support/DecodeCheck.h"

#include "decode/ArticleDecoder.h"
#include "decode/ClassifyBody.h"
#include "fuzz/support/FuzzFile.h"
#include "log/Log.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The files of a directory by name with their sizes; also checks that nothing in it is more than a file.
std::map<std::string, uintmax_t> PlainFiles(const fs::path& dir) {
    std::map<std::string, uintmax_t> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
        FuzzCheck(fs::is_regular_file(fs::symlink_status(entry.path())), "only plain files are written");
        files[entry.path().filename().string()] = entry.file_size();
    }
    return files;
}

} // namespace

void DecodeAndCheck(const uint8_t* data, size_t size) {
    // The record's own file is the only other thing the decoder may write beside the output directory.
    static FuzzFile record("decodes");
    static const fs::path base = record.directory();
    static const fs::path out = base / "out";
    static const bool logging = [] {
        // Log lines carry text from the post: their formatting is exercised, their bytes dropped.
        SetLogFileName("/dev/null");
        SetLogEnabled(1);
        return true;
    }();
    (void)logging;
    fs::remove_all(out);
    fs::remove(record.path());
    fs::create_directory(out);

    std::vector<char> body(data, data + size);
    ArticleDecoder decoder(record.path());
    decoder.setOutputDir(out.c_str());
    int code = decoder.DecodeArticle(body);
    FuzzCheck(code >= ArticleDecoder::kDecoded && code <= ArticleDecoder::kNoFileName, "a known result code");

    std::map<std::string, uintmax_t> files = PlainFiles(out);
    for (const fs::directory_entry& entry : fs::directory_iterator(base)) {
        FuzzCheck(entry.path() == out || entry.path() == record.path(),
                  "nothing is written beside the output");
    }
    uintmax_t decoded = 0, room = 0;
    size_t described = 0;
    for (int i = 0; i < decoder.resultCount(); ++i) {
        const FileStat& result = decoder.result(i);
        if (result.status != FileStat::kProduced || result.repost_state == FileStat::kRepost) {
            continue;
        }
        FuzzCheck(fs::path(result.getFullPath()) == out / result.getName(),
                  "a result names its file in the output");
        auto file = files.find(result.getName());
        FuzzCheck(file != files.end(), "a new file is there");
        // A yEnc file holds its bytes at their places, with gaps where parts are missing.
        bool gaps = result.encoding == kYEnc;
        FuzzCheck(gaps ? file->second >= result.size : file->second == result.size,
                  "a new file has its size");
        decoded += result.size;
        room += file->second;
        ++described;
    }
    FuzzCheck(described == files.size(), "every file written is described by a result");
    FuzzCheck(decoded <= size, "decoded files are never larger than their text");
    FuzzCheck(room <= 2 * static_cast<uintmax_t>(size), "files never take more than twice their text");
}
