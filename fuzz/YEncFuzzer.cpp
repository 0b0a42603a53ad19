// yEnc text: the vector decoder agrees with the byte-at-a-time one on any input, decoding it whole and in
// pieces (the first byte chooses the piece size), and the decode driver on the input as an article passes the
// checks of DecodeAndCheck.
#include <cstdint>
#include <string>
#include <vector>

#include "decode/YEncDecode.h"
#include "fuzz/support/DecodeCheck.h"
#include "fuzz/support/FuzzFile.h"

namespace {

struct Decoded {
    std::string bytes;
    const char* stop;
    bool escaped;
    bool lineStart;
};

Decoded DecodeInPieces(const char* in, const char* end, size_t piece, bool vector) {
    std::vector<char> out(static_cast<size_t>(end - in) + 1);
    char* o = out.data();
    YDecodeState state;
    while (in < end) {
        const char* limit = static_cast<size_t>(end - in) > piece ? in + piece : end;
        const char* next =
            vector ? YDecode(in, limit, end, o, state) : YDecodePlain(in, limit, end, o, state);
        bool stopped = next != limit;
        in = next;
        if (stopped) {
            break;
        }
    }
    return Decoded{std::string(out.data(), o), in, state.escaped, state.lineStart};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    size_t piece = size > 0 ? 1 + data[0] % 64 : 1;
    Decoded plain = DecodeInPieces(text, text + size, size + 1, false);
    for (size_t each : {size + 1, piece}) {
        Decoded vector = DecodeInPieces(text, text + size, each, true);
        FuzzCheck(vector.bytes == plain.bytes && vector.stop == plain.stop,
                  "the vector decoder decodes alike");
        FuzzCheck(vector.escaped == plain.escaped && vector.lineStart == plain.lineStart,
                  "the vector decoder ends in the same state");
    }
    DecodeAndCheck(data, size);
    return 0;
}
