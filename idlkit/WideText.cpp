#include "idlkit/WideText.h"

#include <cwchar>

namespace {

constexpr std::size_t kInvalid = static_cast<std::size_t>(-1);

} // namespace

std::size_t MultiByteToWide(const char* text, wchar_t* out, std::size_t outChars) {
    if (!text) {
        return 0;
    }
    std::mbstate_t state{};
    const char* source = text;
    if (!out || outChars == 0) {
        std::size_t needed = std::mbsrtowcs(nullptr, &source, 0, &state);
        return needed == kInvalid ? 0 : needed + 1;
    }
    std::size_t written = std::mbsrtowcs(out, &source, outChars, &state);
    if (written == kInvalid || source != nullptr) {
        out[0] = L'\0';
        return 0;
    }
    return written + 1;
}

std::size_t WideToMultiByte(const wchar_t* text, char* out, std::size_t outBytes) {
    if (!text) {
        return 0;
    }
    std::mbstate_t state{};
    const wchar_t* source = text;
    if (!out || outBytes == 0) {
        std::size_t needed = std::wcsrtombs(nullptr, &source, 0, &state);
        return needed == kInvalid ? 0 : needed + 1;
    }
    std::size_t written = std::wcsrtombs(out, &source, outBytes, &state);
    if (written == kInvalid || source != nullptr) {
        out[0] = '\0';
        return 0;
    }
    return written + 1;
}
