// The decode driver on arbitrary article text (uuencode, MIME, yEnc, all mixed), with the checks of
// DecodeAndCheck.
#include "fuzz/support/DecodeCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    DecodeAndCheck(data, size);
    return 0;
}
