#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Transfer-encoding kinds of a MIME part.
enum TransferEncodingKind {
    kTransferNone = 0,
    kTransfer7Bit = 1,
    kTransfer8Bit = 2,
    kTransferBase64 = 3,
    kTransferBinary = 4,
    kTransferQuotedPrintable = 5,
    kTransferUUEncode = 6,
    kTransferBinhex = 7,
};

int TransferKind(const std::optional<std::string>& encoding);

// One part of a message. Its decoded bytes lie in the message text itself, over the encoded text.
struct MimePart {
    char* text = nullptr; // the part's whole text, boundary line and headers included
    char* textEnd = nullptr;
    std::optional<std::string> encoding;
    std::optional<std::string> contentType;
    std::string name;
    bool nameInvented = false; // the part named no file: `name` is "NoFileName" and a guessed extension
    char* data = nullptr;      // decoded bytes or the part's text; null when there is nothing
    uint64_t size = 0;
};

// Splits a text at its MIME boundary lines (every nesting level alike) and decodes its parts one at a time,
// so that a message of any size or number of parts needs no more memory than its text.
class MimeMessage {
  public:
    // Finds the boundaries of text [text, end), which the parts' decoding overwrites. True when the text is
    // split at boundary lines; otherwise it is one single part.
    bool Parse(char* text, char* end);

    // Parses the next part into part(); false after the last one. Each boundary line of any nesting level,
    // the closing ones included, starts a part. Text before the first one belongs to none when the boundaries
    // are declared, and is a part of its own when they are guessed from "--" lines.
    bool NextPart();
    const MimePart& part() const { return part_; }
    int TransferKind() const { return ::TransferKind(part_.encoding); }

  private:
    struct Boundary {
        std::string text;
        char* next = nullptr;         // the first occurrence at or after searchedFrom, or null for none
        char* searchedFrom = nullptr; // null when not searched yet
    };

    void CollectBoundaries();
    void AddBoundary(std::string text);
    char* FindNextBoundary(char* pos);
    void ParsePart(char* text, char* end, bool atBoundary);
    void FinishPartName();
    void DecodeBase64Part(char* data, char* end);
    void UUDecodePart(char* data, char* end);
    void KeepBinhexPart(char* data, char* end);

    char* text_ = nullptr;
    char* end_ = nullptr;
    std::vector<Boundary> boundaries_;
    bool multiPart_ = false;
    bool guessed_ = false;  // the boundaries come from "--" lines, not from a "boundary=" parameter
    bool preamble_ = false; // the text before the first boundary is still to be parsed as a part
    bool lastDone_ = true;
    char* nextPart_ = nullptr;
    MimePart part_;
    std::string encodedStart_; // the first characters of a base64 part, for guessing its extension
};
