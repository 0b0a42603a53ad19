#include "decode/YEncFile.h"

#include "decode/Crc32.h"
#include "log/Log.h"

#include <algorithm>
#include <cinttypes>

bool YEncFile::Placeable(const YEncHeader& header) const {
    if (header.total > 0 && header.part > header.total) {
        LogMessage("   yEnc part %d of %d: the part number is above the total", header.part, header.total);
        return false;
    }
    if (header.last > size_) {
        LogMessage("   yEnc part %d lies outside the file (bytes %" PRIu64 " to %" PRIu64 " of %" PRIu64 ")",
                   header.part, header.first + 1, header.last, size_);
        return false;
    }
    if (header.last > room_) {
        LogMessage("   yEnc part %d lies too far out for this article (bytes %" PRIu64 " to %" PRIu64
                   " of %" PRIu64 ")",
                   header.part, header.first + 1, header.last, size_);
        return false;
    }
    // Pieces never overlap one another, so only the last one starting before this place can reach into it.
    auto next = pieces_.lower_bound(header.last);
    if (next != pieces_.begin() && std::prev(next)->second.last > header.first) {
        LogMessage("   yEnc part %d overlaps a part already written", header.part);
        return false;
    }
    return true;
}

bool YEncFile::Sound(const YEncBlock& block) {
    const YEncHeader& header = *block.header;
    bool sound = true;
    if (!block.trailer) {
        LogMessage("   yEnc part %d breaks off without its =yend line", header.part);
        sound = false;
    }
    uint64_t expected = header.last - header.first;
    std::optional<uint64_t> declared = block.trailer ? block.trailer->size : std::nullopt;
    if (block.size != expected || (declared && *declared != block.size)) {
        LogMessage("   yEnc part %d has %" PRIu64 " bytes, should be %" PRIu64, header.part, block.size,
                   block.size != expected ? expected : *declared);
        sound = false;
    }
    if (block.trailer && block.trailer->pcrc32 && *block.trailer->pcrc32 != block.crc) {
        LogMessage("   CRC error in part %d (expected %08x, got %08x)", header.part, *block.trailer->pcrc32,
                   block.crc);
        sound = false;
    }
    if (block.trailer && block.trailer->crc32) {
        fileCrc_ = block.trailer->crc32;
    }
    return sound;
}

bool YEncFile::Write(const YEncBlock& block) {
    const YEncHeader& header = *block.header;
    if (!Placeable(header)) {
        damaged_ = true;
        return true;
    }
    damaged_ = !Sound(block) || damaged_;
    uint64_t length = std::min(block.size, header.last - header.first);
    if (length == 0) {
        return true;
    }
    if (fseek(file_, static_cast<long>(header.first), SEEK_SET) != 0 ||
        fwrite(block.data, 1, length, file_) != length) {
        return false;
    }
    uint32_t crc = length == block.size ? block.crc : Crc32(0, block.data, length);
    pieces_[header.first] = Piece{header.first + length, crc};
    written_ += length;
    return true;
}

uint64_t YEncFile::Finish() {
    if (written_ != size_) {
        LogMessage("   Incomplete file, %" PRIu64 " of %" PRIu64 " bytes", written_, size_);
        damaged_ = true;
    } else if (fileCrc_) {
        // The pieces cover the file without a gap: their CRCs join in order into the file's.
        uint32_t crc = 0;
        for (const auto& [first, piece] : pieces_) {
            crc = Crc32Combine(crc, piece.crc, piece.last - first);
        }
        if (crc != *fileCrc_) {
            LogMessage("   CRC error in file (expected %08x, got %08x)", *fileCrc_, crc);
            damaged_ = true;
        }
    }
    return written_;
}
