#include "decode/ArticleDecoder.h"

#include "decode/ClassifyBody.h"
#include "decode/FileNames.h"
#include "decode/MimeMessage.h"
#include "decode/OutputFiles.h"
#include "decode/TextSearch.h"
#include "decode/UUDecode.h"
#include "log/Log.h"
#include "platform/ExclusiveFile.h"

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

// A part sent as plain text that holds a uuencoded block (as many newsreaders post uuencode) is decoded as
// uuencode; quoted-printable, binary and base64 parts never are.
char* PlainTextUUBlock(const MimePart& part, int kind) {
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
    return FindAtLineStart(part.text, part.text, part.textEnd, kBeginMarker);
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
    int opened = 0;
    int code = kDecoded;
    switch (ClassifyBody(text, end)) {
    case kMime:
        DecodeMime(text, end, opened);
        break;
    case kUUEncode:
    case kUULike: {
        TextCursor cursor{text, end};
        code = DecodeUUBlocks(cursor, opened);
        break;
    }
    default:
        break;
    }
    return opened > 0 ? kDecoded : code;
}

int ArticleDecoder::DecodeUUBlocks(TextCursor& cursor, int& opened) {
    while (cursor.pos < cursor.end) {
        int kind = ClassifyBody(cursor.pos, cursor.end);
        FileStat& result = FreshResult();
        result.encoding = kind;
        if (kind == kNothing) {
            result.status = FileStat::kNoEncoding;
            resultCount_ = resultCount_ == 0 ? 1 : resultCount_;
            return kNoEncoding;
        }
        if (kind == kMime) {
            // MIME text after a uuencoded file is not decoded, and no empty file is left for it.
            return kDecoded;
        }
        std::optional<std::string> name = ExtractFileName(cursor.pos, cursor.end, kind);
        if (!name) {
            result.status = FileStat::kNoFileName;
            resultCount_ = resultCount_ == 0 ? 1 : resultCount_;
            return kNoFileName;
        }
        const std::string posted = *name;
        std::string path = MakeOutputPath(*name, outputDir_);
        result.setFullPath(path.c_str());
        result.setName(name->c_str());
        FILE* file = CreateExclusiveFile(path);
        if (!file) {
            LogMessage("ERROR: Failed to write file \"%s\"", path.c_str());
            stopped_ = true;
            return kDecoded;
        }
        ++opened;
        uint64_t bytes = UUDecodeFile(file, cursor, kind);
        bool written = !ferror(file);
        written = (fclose(file) == 0) && written;
        if (!written) {
            LogMessage("ERROR: Failed to write file \"%s\"", path.c_str());
            std::remove(path.c_str());
            stopped_ = true;
            return kDecoded;
        }
        if (bytes == 0) {
            std::remove(path.c_str());
            result.status = FileStat::kNoBytes;
            resultCount_ = resultCount_ == 0 ? 1 : resultCount_;
            return kDecoded;
        }
        FinishResult(result, bytes, posted, path);
    }
    return kDecoded;
}

void ArticleDecoder::DecodeMime(char* text, char* end, int& opened) {
    MimeMessage message;
    message.Parse(text, end);
    while (!stopped_ && message.NextPart()) {
        const MimePart& part = message.part();
        int kind = message.TransferKind();
        if (char* block = PlainTextUUBlock(part, kind)) {
            TextCursor cursor{block, part.textEnd};
            DecodeUUBlocks(cursor, opened);
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

void ArticleDecoder::FinishResult(FileStat& result, uint64_t size, const std::optional<std::string>& posted,
                                  const std::string& path) {
    result.size = size;
    if (posted) {
        RecordDecodedFile(std::make_unique<Item>(size, *posted), path, result);
    } else {
        result.repost_state = FileStat::kNewFile;
    }
    if (HasExtension(path)) {
        result.setExtension(ExtensionOf(path).c_str());
    }
    ++resultCount_;
}

void ArticleDecoder::RecordDecodedFile(std::unique_ptr<Item> item, const std::string& path,
                                       FileStat& result) {
    if (FindRepost(reposts_, *item)) {
        result.repost_state = FileStat::kRepost;
        std::remove(path.c_str());
        return;
    }
    AppendRepost(*item, repostFile_);
    reposts_.add(std::move(item));
    result.repost_state = FileStat::kNewFile;
}
