#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of zlib, PNG and yEnc (reflected polynomial 0xEDB88320). Each call continues from the CRC of
// the bytes before (0 for none): Crc32(Crc32(0, a), b) is the CRC of a followed by b.
uint32_t Crc32(uint32_t crc, const char* data, size_t size);

// The same, eight bytes a step with tables: what Crc32 uses where the processor has no carry-less multiply.
uint32_t Crc32Plain(uint32_t crc, const char* data, size_t size);

// The CRC of a followed by b from the CRC of a, the CRC of b and the length of b.
uint32_t Crc32Combine(uint32_t crcA, uint32_t crcB, uint64_t sizeB);
