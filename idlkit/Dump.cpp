#include "idlkit/ItemList.h"
#include "idlkit/Trace.h"
#include "idlkit/idlkit.h"

#include <cstring>

int Idlkit_Dump(IShellFolder* folder, const ITEMIDLIST* list) {
    if (!list) {
        return 0;
    }
    IShellFolder* current = folder;
    if (folder) {
        Trace("Relative Idlkit: ");
        folder->AddRef();
    } else {
        HRESULT result = SHGetDesktopFolder(&current);
        if (result != S_OK) {
            return result;
        }
        Trace("Fully Qualifed Idlkit: ");
    }
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK) {
        current->Release();
        return 0;
    }
    std::size_t scratchSize = 2u * list->mkid.cb + 2;
    void* scratch = AllocCleared(allocator, scratchSize);
    for (const ITEMIDLIST* item = list; scratch && item->mkid.cb != 0; item = NextItem(item)) {
        std::size_t count = item->mkid.cb;
        // Room for the item and the terminator that makes it a one-item list.
        if (count + 2 > scratchSize) {
            void* larger = allocator->Realloc(scratch, count + 2);
            if (!larger) {
                break;
            }
            scratch = larger;
            scratchSize = count + 2;
        }
        std::memset(scratch, 0, scratchSize);
        std::memcpy(scratch, item, count);
        auto* single = static_cast<ITEMIDLIST*>(scratch);
        char name[MAX_PATH];
        Idlkit_GetDisplayName(current, single, SHGDN_INFOLDER, name, sizeof name);
        // Levels are joined with the directory separator, so the traces of one dump read as a path.
        Trace("/%s", name);
        void* bound = nullptr;
        if (current->BindToObject(single, nullptr, IID_IShellFolder, &bound) != S_OK) {
            break;
        }
        current->Release();
        current = static_cast<IShellFolder*>(bound);
    }
    Trace("\r\n");
    allocator->Free(scratch);
    current->Release();
    return static_cast<int>(allocator->Release());
}
