#pragma once

#include "idlkit/ShellTypes.h"

#include <cstdint>

// A reference-counted folder of the shell namespace. Lists passed in and handed out are relative to the
// folder; lists it creates come from the shell allocator (SHGetMalloc).
class IShellFolder {
  public:
    // Turns `name` into a list relative to this folder. `window` and `bindContext` are unused; `eaten`
    // (optional) receives the number of characters consumed, `attributes` (optional) is left as it is.
    virtual HRESULT ParseDisplayName(void* window, void* bindContext, const wchar_t* name,
                                     std::uint32_t* eaten, ITEMIDLIST** list, std::uint32_t* attributes) = 0;
    // Binds to the folder that `list` names, with one reference for the caller.
    virtual HRESULT BindToObject(const ITEMIDLIST* list, void* bindContext, const GUID& interfaceId,
                                 void** object) = 0;
    // The name of what `list` names, of the kind `flags` asks for (SHGDN_*).
    virtual HRESULT GetDisplayNameOf(const ITEMIDLIST* list, std::uint32_t flags, STRRET* name) = 0;
    virtual std::uint32_t AddRef() = 0;
    // Returns the references left; the folder goes away at zero.
    virtual std::uint32_t Release() = 0;

  protected:
    ~IShellFolder() = default;
};

// The root of the namespace, with one reference for the caller.
IDLSHELL_API HRESULT SHGetDesktopFolder(IShellFolder** folder);
