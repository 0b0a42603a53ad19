#include "idlkit/ItemList.h"

#include <cstring>

const ITEMIDLIST* NextItem(const ITEMIDLIST* item) {
    if (!item) {
        return nullptr;
    }
    return reinterpret_cast<const ITEMIDLIST*>(reinterpret_cast<const unsigned char*>(item) + item->mkid.cb);
}

ITEMIDLIST* NextItem(ITEMIDLIST* item) {
    return const_cast<ITEMIDLIST*>(NextItem(static_cast<const ITEMIDLIST*>(item)));
}

unsigned ListSize(const ITEMIDLIST* list) {
    if (!list) {
        return 0;
    }
    unsigned size = 2;
    for (const ITEMIDLIST* item = list; item->mkid.cb != 0; item = NextItem(item)) {
        size += item->mkid.cb;
    }
    return size;
}

void* AllocCleared(IMalloc* allocator, std::size_t size) {
    void* block = allocator->Alloc(size);
    if (block) {
        std::memset(block, 0, size);
    }
    return block;
}
