#include "idlkit/DisplayName.h"
#include "idlkit/ItemList.h"
#include "idlkit/WideText.h"
#include "idlkit/idlkit.h"

#include <cstring>
#include <cwchar>
#include <string_view>

namespace {

// A NUL-terminated text that must end within `limit` bytes; none when it does not.
std::optional<std::string> BoundedText(const char* text, std::size_t limit) {
    std::size_t length = strnlen(text, limit);
    if (length == limit) {
        return std::nullopt;
    }
    return std::string(text, length);
}

void FreeShellBlock(void* block) {
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK) {
        allocator->Free(block);
        allocator->Release();
    }
}

std::optional<std::string> WideName(wchar_t* wide) {
    std::size_t size = WideToMultiByte(wide, nullptr, 0);
    std::string text(size, '\0');
    bool converted = size > 0 && WideToMultiByte(wide, text.data(), size) == size;
    FreeShellBlock(wide);
    if (!converted) {
        return std::nullopt;
    }
    text.pop_back(); // the terminator
    return text;
}

std::optional<std::string> NameText(const STRRET& name, const ITEMIDLIST* list) {
    switch (name.uType) {
    case STRRET_WSTR:
        return name.pOleStr ? WideName(name.pOleStr) : std::nullopt;
    case STRRET_OFFSET: {
        // The offset comes from the folder: it must point at a string that ends inside the list.
        std::size_t listSize = ListSize(list);
        if (name.uOffset >= listSize) {
            return std::nullopt;
        }
        return BoundedText(reinterpret_cast<const char*>(list) + name.uOffset, listSize - name.uOffset);
    }
    case STRRET_CSTR:
        return BoundedText(name.cStr, sizeof name.cStr);
    default:
        return std::nullopt;
    }
}

// Copies as much of `text` as fits `size` bytes with its terminator, never splitting a character of the
// locale's multibyte text (a byte that starts no valid character counts as one).
void CopyCut(std::string_view text, char* buffer, std::size_t size) {
    std::mbstate_t state{};
    std::size_t length = 0;
    while (length < text.size()) {
        std::size_t step = std::mbrlen(text.data() + length, text.size() - length, &state);
        if (step == 0 || step > text.size() - length) {
            step = 1;
            state = std::mbstate_t{};
        }
        if (length + step >= size) {
            break;
        }
        length += step;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

} // namespace

std::optional<std::string> DisplayNameText(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags) {
    IShellFolder* desktop = nullptr;
    if (!folder) {
        if (SHGetDesktopFolder(&desktop) != S_OK) {
            return std::nullopt;
        }
        folder = desktop;
    }
    STRRET name;
    HRESULT result = folder->GetDisplayNameOf(list, flags, &name);
    if (desktop) {
        desktop->Release();
    }
    if (result != S_OK) {
        return std::nullopt;
    }
    return NameText(name, list);
}

int Idlkit_GetDisplayName(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags, char* buffer,
                          unsigned size) {
    if (!list || !buffer || size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    std::optional<std::string> name = DisplayNameText(folder, list, flags);
    if (!name) {
        return 0;
    }
    CopyCut(*name, buffer, size);
    return 1;
}
