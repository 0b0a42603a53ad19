#pragma once

#include "common/OwnedPtrArray.h"
#include "decode/FileStat.h"
#include "decode/PendingOutput.h"
#include "decode/Reposts.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct TextCursor;
struct MimePart;

// Turns article bodies into files in the output directory, one object per download run. Construction loads
// the record of decoded files; each output file is checked against it and added to it.
class ArticleDecoder {
  public:
    enum Result { kDecoded = 0, kNoEncoding = 1, kNoFileName = 2 };

    explicit ArticleDecoder(std::string repostFile = kDecodesFile);

    // Null means the current directory.
    void setOutputDir(const char* directory);
    const std::string& outputDir() const { return outputDir_; }

    // Decodes a body (header lines, an empty line and the body text, or an assembled post), overwriting it
    // in place. A null text gives kNoEncoding. The results up to resultCount() describe the files.
    int DecodeArticle(char* text, size_t size);
    int DecodeArticle(std::vector<char>& body);
    int DecodeArticle(std::string& body);

    int resultCount() const { return resultCount_; }
    const FileStat& result(int index) { return results_[static_cast<uint32_t>(index)]; }

    RepostList& reposts() { return reposts_; }

    // Checks the file against the record: a repost is deleted, a new file is recorded unless `record` is
    // false. A pending `output` takes its name only when it is no repost; false when it could not.
    bool RecordDecodedFile(std::unique_ptr<Item> item, const std::string& path, FileStat& result, bool record,
                           PendingOutput* output = nullptr);

  private:
    // Whether the file decoded for `path` (a new name), whose bytes are at `written`, is a copy of the one
    // already under the item's own name: a run cut short after writing a file but before recording it decodes
    // the file again.
    bool DecodedBefore(const Item& item, const std::string& path, const std::string& written) const;
    // What filling an output file gave: the bytes written, whether all could be written, whether the bytes
    // failed their checks.
    struct Filled {
        uint64_t bytes;
        bool written;
        bool damaged;
    };

    FileStat& FreshResult();
    // Marks the result of a block that made no file; the first one counts as a result.
    void NoFile(FileStat& result, int status);
    // Creates the output file for the cleaned name as posted, has `fill` write it and finishes the result:
    // false when no file came of it. A file that cannot be written is logged and removed and ends the body;
    // an empty one is removed.
    bool MakeFile(FileStat& result, std::string name, int& opened, const std::function<Filled(FILE*)>& fill);
    int DecodeBlocks(TextCursor& cursor, int& opened);
    int DecodeYEncFile(TextCursor& cursor, int& opened);
    int DecodeYEncAfterFalseStart(char* text, char* end, int& opened, int code);
    void DecodeMime(char* text, char* end, int& opened);
    bool WritePart(const MimePart& part);
    // `posted` is the file's name as it stood in the post; none when the name was made up here. A damaged
    // file is no evidence that its name and size were ever decoded whole: it is checked, not recorded.
    // `output`, when given, is the file still pending: it takes its name only when it is no repost. False
    // when it could not.
    bool FinishResult(FileStat& result, uint64_t size, const std::optional<std::string>& posted,
                      const std::string& path, bool damaged = false, PendingOutput* output = nullptr);

    std::string repostFile_;
    std::string outputDir_ = ".";
    OwnedPtrArray<FileStat> results_;
    int resultCount_ = 0;
    bool stopped_ = false; // an output file could not be written: the rest of the body is left alone
    // How far the yEnc files of the body may still reach in all: twice its length, so that the gaps of
    // missing parts never take more room on disk than the body's own bytes.
    uint64_t yencRoom_ = 0;
    RepostList reposts_;
};
