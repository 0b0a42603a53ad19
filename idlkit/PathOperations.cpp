#include "idlkit/DisplayName.h"
#include "idlkit/WideText.h"
#include "idlkit/idlkit.h"

namespace {

// Parses `name` in `folder`. Names that do not fit MAX_PATH wide characters with their terminator are
// refused.
ITEMIDLIST* Parse(IShellFolder* folder, const char* name) {
    wchar_t wide[MAX_PATH];
    if (!name || MultiByteToWide(name, wide, MAX_PATH) == 0) {
        return nullptr;
    }
    ITEMIDLIST* list = nullptr;
    if (folder->ParseDisplayName(nullptr, nullptr, wide, nullptr, &list, nullptr) != S_OK) {
        return nullptr;
    }
    return list;
}

} // namespace

ITEMIDLIST* Idlkit_GetFromPath(const char* path) {
    IShellFolder* desktop = nullptr;
    if (SHGetDesktopFolder(&desktop) != S_OK) {
        return nullptr;
    }
    ITEMIDLIST* list = Parse(desktop, path);
    desktop->Release();
    return list;
}

ITEMIDLIST* Idlkit_GetFromParentFolder(IShellFolder* folder, const char* name) {
    return folder ? Parse(folder, name) : nullptr;
}

ITEMIDLIST* Idlkit_GetFullyQualified(IShellFolder* folder, const ITEMIDLIST* list) {
    if (!list) {
        return nullptr;
    }
    // A path cut to the buffer could parse to another object: a name that does not fit is refused.
    std::optional<std::string> path = DisplayNameText(folder, list, SHGDN_FORPARSING);
    if (!path || path->size() >= MAX_PATH) {
        return nullptr;
    }
    return Idlkit_GetFromPath(path->c_str());
}

IShellFolder* Idlkit_GetFileFolder(const ITEMIDLIST* list) {
    if (!list) {
        return nullptr;
    }
    IShellFolder* desktop = nullptr;
    if (SHGetDesktopFolder(&desktop) != S_OK) {
        return nullptr;
    }
    void* bound = nullptr;
    HRESULT result = desktop->BindToObject(list, nullptr, IID_IShellFolder, &bound);
    desktop->Release();
    return result == S_OK ? static_cast<IShellFolder*>(bound) : nullptr;
}
