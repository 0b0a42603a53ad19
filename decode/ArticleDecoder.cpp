#include "decode/ArticleDecoder.h"

#include "decode/ClassifyBody.h"
#include "decode/FileNames.h"
#include "decode/MimeMessage.h"
#include "decode/OutputFiles.h"
#include "decode/TextSearch.h"
#include "decode/UUDecode.h"
#include "decode/YEncBlock.h"
#include "decode/YEncFile.h"
#include "log/Log.h"

#include <cctype>
#include <cstdio>

namespace {

// A trailing NUL terminator handed over with the text is not part of it.
size_t TextSize(const char* text, size_t size) {
    while (size > 0 && text[size - 1] == '\0') {
        --size;
    }
    return size;
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// A part sent as plain text that holds a uuencoded or yEnc block (as many newsreaders post them) is decoded
// as such; quoted-printable, binary and base64 parts never are. The first block found is where decoding
// starts.
char* PlainTextBlock(const MimePart& part, int kind) {
    if (kind != kTransferNone && kind != kTransfer7Bit && kind != kTransfer8Bit) {
        return nullptr;
    }
    if (part.encoding) {
        std::string value = Lower(*part.encoding);
        if (value.find("quot") != std::string::npos || value.find("bin") != std::string::npos ||
            value.find("64") != std::string::npos) {
            return nullptr;
        }
    }
    char* uu = FindAtLineStart(part.text, part.text, part.textEnd, kBeginMarker);
    char* yenc = FindAtLineStart(part.text, part.text, uu ? uu : part.textEnd, kYBeginMarker);
    return yenc ? yenc : uu;
}

} // namespace

ArticleDecoder::ArticleDecoder(std::string repostFile) : repostFile_(std::move(repostFile)) {
    LoadReposts(reposts_, repostFile_);
}

void ArticleDecoder::setOutputDir(const char* directory) {
    outputDir_ = directory ? directory : ".";
}

// An empty buffer may have no storage at all; it is still an empty body, not a missing one.
int ArticleDecoder::DecodeArticle(std::vector<char>& body) {
    char none = '\0';
    return body.empty() ? DecodeArticle(&none, 0) : DecodeArticle(body.data(), body.size());
}

int ArticleDecoder::DecodeArticle(std::string& body) {
    return DecodeArticle(body.data(), body.size());
}

FileStat& ArticleDecoder::FreshResult() {
    FileStat& result = results_[static_cast<uint32_t>(resultCount_)];
    result.reset();
    return result;
}

int ArticleDecoder::DecodeArticle(char* text, size_t size) {
    resultCount_ = 0;
    stopped_ = false;
    FreshResult().status = FileStat::kNoEncoding;
    if (!text) {
        return kNoEncoding;
    }
    char* end = text + TextSize(text, size);
    yencRoom_ = 2 * static_cast<uint64_t>(end - text);
    int opened = 0;
    int code = kDecoded;
    switch (ClassifyBody(text, end)) {
    case kMime:
        DecodeMime(text, end, opened);
        break;
    case kUUEncode:
    case kUULike:
    case kYEnc: {
        TextCursor cursor{text, end};
        code = DecodeBlocks(cursor, opened);
        if (opened == 0 && !stopped_) {
            code = DecodeYEncAfterFalseStart(text, end, opened, code);
        }
        break;
    }
    default:
        break;
    }
    return opened > 0 ? kDecoded : code;
}

void ArticleDecoder::NoFile(FileStat& result, int status) {
    result.status = status;
    resultCount_ = resultCount_ == 0 ? 1 : resultCount_;
}

bool ArticleDecoder::MakeFile(FileStat& result, std::string name, int& opened,
                              const std::function<Filled(FILE*)>& fill) {
    const std::string posted = name;
    std::string path = MakeOutputPath(name, outputDir_);
    result.setFullPath(path.c_str());
    result.setName(name.c_str());
    PendingOutput output(path);
    FILE* file = output.stream();
    if (!file) {
        LogMessage("ERROR: Failed to write file \"%s\"", path.c_str());
        stopped_ = true;
        return false;
    }
    ++opened;
    Filled filled = fill(file);
    // Flushed, so the bytes can be compared with a file already there before this one takes its name.
    bool written = fflush(file) == 0 && !ferror(file) && filled.written;
    if (written && filled.bytes == 0) {
        NoFile(result, FileStat::kNoBytes);
        return false;
    }
    if (!written || !FinishResult(result, filled.bytes, posted, path, filled.damaged, &output)) {
        LogMessage("ERROR: Failed to write file \"%s\"", path.c_str());
        stopped_ = true;
        return false;
    }
    return true;
}

int ArticleDecoder::DecodeBlocks(TextCursor& cursor, int& opened) {
    // A yEnc file that could not be made does not end the body: the next block may make one.
    int failed = kDecoded;
    while (cursor.pos < cursor.end && !stopped_) {
        int kind = ClassifyBody(cursor.pos, cursor.end);
        if (kind == kYEnc) {
            int code = DecodeYEncFile(cursor, opened);
            failed = failed == kDecoded ? code : failed;
            continue;
        }
        FileStat& result = FreshResult();
        result.encoding = kind;
        if (kind == kNothing) {
            NoFile(result, FileStat::kNoEncoding);
            return failed == kDecoded ? kNoEncoding : failed;
        }
        if (kind == kMime) {
            // MIME text after a uuencoded file is not decoded, and no empty file is left for it.
            return kDecoded;
        }
        std::optional<std::string> name = ExtractFileName(cursor.pos, cursor.end, kind);
        if (!name) {
            NoFile(result, FileStat::kNoFileName);
            return kNoFileName;
        }
        if (!MakeFile(result, *name, opened, [&](FILE* file) {
                return Filled{UUDecodeFile(file, cursor, kind), true, false};
            })) {
            return kDecoded;
        }
    }
    return failed;
}

// A "begin " inside a header line (a subject such as "Let's begin (1/5)") is taken for a uuencode start line
// and yields nothing; the yEnc block further on is the post.
int ArticleDecoder::DecodeYEncAfterFalseStart(char* text, char* end, int& opened, int code) {
    char* ybegin = FindAtLineStart(text, text, end, "=ybegin ");
    if (!ybegin) {
        return code;
    }
    resultCount_ = 0;
    TextCursor cursor{ybegin, end};
    return DecodeBlocks(cursor, opened);
}

int ArticleDecoder::DecodeYEncFile(TextCursor& cursor, int& opened) {
    FileStat& result = FreshResult();
    result.encoding = kYEnc;
    YEncBlock block;
    // A block without a usable header (logged) makes no file; the rest of the body is looked at again.
    if (!ReadYEncBlock(cursor, block) || !block.header) {
        NoFile(result, FileStat::kNoEncoding);
        return kNoEncoding;
    }
    const YEncHeader first = *block.header;
    std::string name = first.name;
    CleanFileName(name);
    if (name.empty()) {
        NoFile(result, FileStat::kNoFileName);
        return kNoFileName;
    }
    MakeFile(result, name, opened, [&](FILE* stream) {
        LogMessage("   yDecoding... ");
        YEncFile file(stream, first.size, yencRoom_);
        bool written = file.Write(block);
        // The parts of one file follow one another, as the parts store joins them.
        for (std::optional<YEncHeader> next = PeekYEncHeader(cursor);
             written && first.multipart && next && next->multipart && next->name == first.name &&
             next->size == first.size;
             next = PeekYEncHeader(cursor)) {
            ReadYEncBlock(cursor, block);
            written = !block.header || file.Write(block);
        }
        uint64_t bytes = file.Finish();
        yencRoom_ -= file.extent();
        return Filled{bytes, written, file.damaged()};
    });
    return kDecoded;
}

void ArticleDecoder::DecodeMime(char* text, char* end, int& opened) {
    MimeMessage message;
    message.Parse(text, end);
    while (!stopped_ && message.NextPart()) {
        const MimePart& part = message.part();
        int kind = message.TransferKind();
        if (char* block = PlainTextBlock(part, kind)) {
            TextCursor cursor{block, part.textEnd};
            DecodeBlocks(cursor, opened);
            continue;
        }
        if (part.size <= 8 || (kind != kTransferBase64 && kind != kTransferUUEncode)) {
            continue;
        }
        if (WritePart(part)) {
            ++opened;
        }
    }
}

bool ArticleDecoder::WritePart(const MimePart& part) {
    FileStat& result = FreshResult();
    result.encoding = kMime;
    result.size = part.size;
    std::string name = part.name;
    std::string path = MakeOutputPath(name, outputDir_);
    result.setFullPath(path.c_str());
    result.setName(name.c_str());
    if (WriteWholeFile(path, part.size, part.data) != part.size) {
        LogMessage("ERROR: Failed to write file \"%s\"", path.c_str());
        stopped_ = true;
        return false;
    }
    // A name made up for the part is no evidence of a repost: such files are never checked or recorded.
    FinishResult(result, part.size, part.nameInvented ? std::nullopt : std::optional(part.name), path);
    return true;
}

bool ArticleDecoder::FinishResult(FileStat& result, uint64_t size, const std::optional<std::string>& posted,
                                  const std::string& path, bool damaged, PendingOutput* output) {
    result.size = size;
    if (posted) {
        if (!RecordDecodedFile(std::make_unique<Item>(size, *posted), path, result, !damaged, output)) {
            return false;
        }
    } else {
        if (output && !output->publish()) {
            return false;
        }
        result.repost_state = FileStat::kNewFile;
    }
    if (HasExtension(path)) {
        result.setExtension(ExtensionOf(path).c_str());
    }
    ++resultCount_;
    return true;
}

bool ArticleDecoder::DecodedBefore(const Item& item, const std::string& path,
                                   const std::string& written) const {
    std::string name = item.name;
    MakeSafeFileName(name);
    std::string own =
        outputDir_.empty() || outputDir_.back() == '/' ? outputDir_ + name : outputDir_ + "/" + name;
    return own != path && SameContent(own, written);
}

bool ArticleDecoder::RecordDecodedFile(std::unique_ptr<Item> item, const std::string& path, FileStat& result,
                                       bool record, PendingOutput* output) {
    bool copy = DecodedBefore(*item, path, output ? output->hiddenPath() : path);
    if (FindRepost(reposts_, *item) || copy) {
        result.repost_state = FileStat::kRepost;
        // A pending file is dropped without ever having had a name.
        if (!output) {
            std::remove(path.c_str());
        }
        if (copy && record) {
            AppendRepost(*item, repostFile_);
            reposts_.add(std::move(item));
        }
        return true;
    }
    if (output && !output->publish()) {
        return false;
    }
    if (record) {
        AppendRepost(*item, repostFile_);
        reposts_.add(std::move(item));
    }
    result.repost_state = FileStat::kNewFile;
    return true;
}
