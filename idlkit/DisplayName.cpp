#include "idlkit/ItemList.h"
#include "idlkit/WideText.h"
#include "idlkit/idlkit.h"

#include <cstring>

namespace {

// Copies a NUL-terminated text that must end within `limit` bytes; refuses it when it does not fit `size`.
int CopyText(const char* text, std::size_t limit, char* buffer, std::size_t size) {
    std::size_t length = strnlen(text, limit);
    if (length == limit || length >= size) {
        return 0;
    }
    std::memcpy(buffer, text, length + 1);
    return 1;
}

void FreeShellBlock(void* block) {
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) == S_OK) {
        allocator->Free(block);
        allocator->Release();
    }
}

int CopyName(const STRRET& name, const ITEMIDLIST* list, char* buffer, std::size_t size) {
    switch (name.uType) {
    case STRRET_WSTR: {
        if (!name.pOleStr) {
            return 0;
        }
        int copied = WideToMultiByte(name.pOleStr, buffer, size) != 0;
        FreeShellBlock(name.pOleStr);
        return copied;
    }
    case STRRET_OFFSET: {
        // The offset comes from the folder: it must point at a string that ends inside the list.
        std::size_t listSize = ListSize(list);
        if (name.uOffset >= listSize) {
            return 0;
        }
        return CopyText(reinterpret_cast<const char*>(list) + name.uOffset, listSize - name.uOffset, buffer,
                        size);
    }
    case STRRET_CSTR:
        return CopyText(name.cStr, sizeof name.cStr, buffer, size);
    default:
        return 0;
    }
}

} // namespace

int Idlkit_GetDisplayName(IShellFolder* folder, const ITEMIDLIST* list, unsigned flags, char* buffer,
                          unsigned size) {
    if (!list || !buffer || size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    IShellFolder* desktop = nullptr;
    if (!folder) {
        if (SHGetDesktopFolder(&desktop) != S_OK) {
            return 0;
        }
        folder = desktop;
    }
    STRRET name;
    HRESULT result = folder->GetDisplayNameOf(list, flags, &name);
    if (desktop) {
        desktop->Release();
    }
    if (result != S_OK) {
        return 0;
    }
    int copied = CopyName(name, list, buffer, size);
    if (!copied) {
        buffer[0] = '\0';
    }
    return copied;
}
