#pragma once

#include "decode/YEncBlock.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>

// One output file made of yEnc blocks: each part lands at its place, nothing lands beyond the size the file
// declares, and sizes and CRCs are checked. Every mismatch is logged and marks the file damaged; the bytes
// are written all the same (a damaged file is still worth repairing).
//
// The gaps parts leave are holes, free on most file systems but written out as zeros on others, so the file
// may reach no further than `room` bytes: a lone part far into a big file is not written.
class YEncFile {
  public:
    YEncFile(FILE* file, uint64_t size, uint64_t room) : file_(file), size_(size), room_(room) {}

    // Writes the bytes of a block with a header at their place, unless that place is not in the file or
    // already taken. False when the file cannot be written.
    bool Write(const YEncBlock& block);

    // Checks the whole file once every block is in: logs a file that is incomplete or fails its CRC.
    // Returns the bytes written.
    uint64_t Finish();

    bool damaged() const { return damaged_; }
    // How far the file reaches: the end of its last piece.
    uint64_t extent() const { return pieces_.empty() ? 0 : pieces_.rbegin()->second.last; }

  private:
    struct Piece {
        uint64_t last;
        uint32_t crc;
    };

    // Whether the block's place lies in the file and is free; logs why not.
    bool Placeable(const YEncHeader& header) const;
    // Whether the block's size and CRC are what its control lines say; logs every mismatch.
    bool Sound(const YEncBlock& block);

    FILE* file_;
    uint64_t size_;
    uint64_t room_;
    std::map<uint64_t, Piece> pieces_; // the bytes written, by where they start
    uint64_t written_ = 0;
    std::optional<uint32_t> fileCrc_;
    bool damaged_ = false;
};
