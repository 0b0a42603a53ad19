#pragma once

#include <cstddef>
#include <cstdint>

// Runs the decode driver on an article text, writing into a private output directory, and checks what it
// leaves: nothing beside that directory and the record of decoded files, only plain files in it, each new one
// described by a result; the bytes decoded are never more than the text, and the files, with the gaps a yEnc
// file may leave where parts are missing, never take more than twice the text.
void DecodeAndCheck(const uint8_t* data, size_t size);
