#include "idlkit/ItemList.h"
#include "idlkit/idlkit.h"

#include <cstring>

unsigned Idlkit_GetSize(const ITEMIDLIST* list) {
    return ListSize(list);
}

ITEMIDLIST* Idlkit_Copy(IMalloc* allocator, const ITEMIDLIST* list) {
    if (!allocator || !list) {
        return nullptr;
    }
    unsigned size = ListSize(list);
    void* copy = AllocCleared(allocator, size);
    if (copy) {
        std::memcpy(copy, list, size);
    }
    return static_cast<ITEMIDLIST*>(copy);
}

ITEMIDLIST* Idlkit_Concatenate(IMalloc* allocator, const ITEMIDLIST* first, const ITEMIDLIST* second) {
    // Without a second list there would be no terminator to copy.
    if (!allocator || !second) {
        return nullptr;
    }
    unsigned firstSize = first ? ListSize(first) - 2 : 0;
    unsigned secondSize = ListSize(second);
    auto* joined = static_cast<unsigned char*>(AllocCleared(allocator, firstSize + secondSize));
    if (!joined) {
        return nullptr;
    }
    if (firstSize != 0) {
        std::memcpy(joined, first, firstSize);
    }
    std::memcpy(joined + firstSize, second, secondSize);
    return reinterpret_cast<ITEMIDLIST*>(joined);
}

int Idlkit_GetRelative(IMalloc* allocator, const ITEMIDLIST* full, ITEMIDLIST** parent, ITEMIDLIST** last) {
    if (!parent || !last) {
        return 0;
    }
    if (!full) {
        *parent = nullptr;
        *last = nullptr;
        return 1;
    }
    *parent = Idlkit_Copy(allocator, full);
    if (!*parent) {
        *last = nullptr;
        return 0;
    }
    ITEMIDLIST* item = *parent;
    if (item->mkid.cb == 0) {
        // No last item: say so rather than leave the caller's pointer as it was.
        *last = nullptr;
        return 1;
    }
    while (NextItem(item)->mkid.cb != 0) {
        item = NextItem(item);
    }
    *last = Idlkit_Copy(allocator, item);
    if (!*last) {
        allocator->Free(*parent);
        *parent = nullptr;
        return 0;
    }
    // The last item becomes the parent's terminator.
    item->mkid.cb = 0;
    item->mkid.abID[0] = 0;
    return 1;
}
