// The namespace over the file system: the desktop is "/", and each item of a list is one path component,
// stored as the component's bytes followed by a NUL.

#include "idlkit/ShellFolder.h"
#include "idlkit/ShellMalloc.h"
#include "idlkit/WideText.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Longest component a file system takes; it also keeps every item count far below 65536.
constexpr std::size_t kMaxComponent = 255;
// Count field plus the NUL after the name.
constexpr std::size_t kItemOverhead = 3;

const ITEMIDLIST* NextOf(const ITEMIDLIST* item) {
    return reinterpret_cast<const ITEMIDLIST*>(reinterpret_cast<const unsigned char*>(item) + item->mkid.cb);
}

bool IsValidComponent(std::string_view name) {
    return !name.empty() && name.size() <= kMaxComponent && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

// The components `list` names, or nothing when one of its items does not name a component.
std::optional<std::vector<std::string_view>> ComponentsOf(const ITEMIDLIST* list) {
    std::vector<std::string_view> components;
    for (const ITEMIDLIST* item = list; item->mkid.cb != 0; item = NextOf(item)) {
        std::size_t count = item->mkid.cb;
        if (count < kItemOverhead + 1) {
            return std::nullopt;
        }
        const char* name = reinterpret_cast<const char*>(item->mkid.abID);
        std::string_view component(name, count - kItemOverhead);
        if (name[component.size()] != '\0' || !IsValidComponent(component)) {
            return std::nullopt;
        }
        components.push_back(component);
    }
    return components;
}

std::string Join(const std::string& directory, const std::vector<std::string_view>& components) {
    std::string path = directory;
    for (std::string_view component : components) {
        if (path.back() != '/') {
            path += '/';
        }
        path += component;
    }
    return path;
}

// Splits a relative name at "/", skipping empty and "." components. Nothing when a component is ".." (which
// would leave the folder) or cannot be a component.
std::optional<std::vector<std::string_view>> SplitName(std::string_view name) {
    std::vector<std::string_view> components;
    while (!name.empty()) {
        std::size_t slash = name.find('/');
        std::string_view component = name.substr(0, slash);
        name = slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
        if (component.empty() || component == ".") {
            continue;
        }
        if (!IsValidComponent(component)) {
            return std::nullopt;
        }
        components.push_back(component);
    }
    return components;
}

void* ShellAlloc(std::size_t size) {
    IMalloc* allocator = nullptr;
    if (SHGetMalloc(&allocator) != S_OK) {
        return nullptr;
    }
    void* block = allocator->Alloc(size);
    allocator->Release();
    return block;
}

ITEMIDLIST* BuildList(const std::vector<std::string_view>& components) {
    std::size_t size = 2;
    for (std::string_view component : components) {
        size += component.size() + kItemOverhead;
    }
    auto* bytes = static_cast<unsigned char*>(ShellAlloc(size));
    if (!bytes) {
        return nullptr;
    }
    auto* list = reinterpret_cast<ITEMIDLIST*>(bytes);
    ITEMIDLIST* item = list;
    for (std::string_view component : components) {
        item->mkid.cb = static_cast<std::uint16_t>(component.size() + kItemOverhead);
        std::memcpy(item->mkid.abID, component.data(), component.size());
        item->mkid.abID[component.size()] = 0;
        item = const_cast<ITEMIDLIST*>(NextOf(item));
    }
    item->mkid.cb = 0;
    return list;
}

class FileSystemFolder final : public IShellFolder {
  public:
    explicit FileSystemFolder(std::string directory) : directory_(std::move(directory)) {}

    HRESULT ParseDisplayName(void*, void*, const wchar_t* name, std::uint32_t* eaten, ITEMIDLIST** list,
                             std::uint32_t*) override {
        if (!list) {
            return E_INVALIDARG;
        }
        *list = nullptr;
        std::size_t needed = WideToMultiByte(name, nullptr, 0);
        if (needed == 0) {
            return E_INVALIDARG;
        }
        std::string text(needed, '\0');
        WideToMultiByte(name, text.data(), needed);
        text.resize(needed - 1);
        std::optional<std::vector<std::string_view>> components = SplitName(text);
        if (!components) {
            return E_INVALIDARG;
        }
        std::error_code error;
        if (!std::filesystem::exists(Join(directory_, *components), error)) {
            return E_FILE_NOT_FOUND;
        }
        *list = BuildList(*components);
        if (!*list) {
            return E_OUTOFMEMORY;
        }
        if (eaten) {
            *eaten = static_cast<std::uint32_t>(std::wcslen(name));
        }
        return S_OK;
    }

    HRESULT BindToObject(const ITEMIDLIST* list, void*, const GUID& interfaceId, void** object) override {
        if (!object) {
            return E_INVALIDARG;
        }
        *object = nullptr;
        if (!(interfaceId == IID_IShellFolder)) {
            return E_NOINTERFACE;
        }
        if (!list) {
            return E_INVALIDARG;
        }
        std::optional<std::vector<std::string_view>> components = ComponentsOf(list);
        if (!components) {
            return E_INVALIDARG;
        }
        std::string path = Join(directory_, *components);
        std::error_code error;
        if (!std::filesystem::is_directory(path, error)) {
            return E_FAIL;
        }
        auto* folder = new (std::nothrow) FileSystemFolder(std::move(path));
        if (!folder) {
            return E_OUTOFMEMORY;
        }
        *object = static_cast<IShellFolder*>(folder);
        return S_OK;
    }

    // For parsing: the absolute path as a wide string. In-folder: the last component, as an offset into
    // the list. Otherwise the last component inline. An empty list names the folder itself.
    HRESULT GetDisplayNameOf(const ITEMIDLIST* list, std::uint32_t flags, STRRET* name) override {
        if (!list || !name) {
            return E_INVALIDARG;
        }
        std::optional<std::vector<std::string_view>> components = ComponentsOf(list);
        if (!components) {
            return E_INVALIDARG;
        }
        if (flags & SHGDN_FORPARSING) {
            return WideName(Join(directory_, *components), name);
        }
        if (components->empty()) {
            std::string_view own = OwnName();
            InlineName(own, name);
            return S_OK;
        }
        std::string_view last = components->back();
        if (flags & SHGDN_INFOLDER) {
            name->uType = STRRET_OFFSET;
            name->uOffset = static_cast<std::uint32_t>(last.data() - reinterpret_cast<const char*>(list));
        } else {
            InlineName(last, name);
        }
        return S_OK;
    }

    std::uint32_t AddRef() override { return ++references_; }

    std::uint32_t Release() override {
        std::uint32_t left = --references_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

  private:
    ~FileSystemFolder() = default;

    std::string_view OwnName() const {
        std::string_view path = directory_;
        return path == "/" ? path : path.substr(path.rfind('/') + 1);
    }

    static void InlineName(std::string_view text, STRRET* name) {
        name->uType = STRRET_CSTR;
        std::memcpy(name->cStr, text.data(), text.size());
        name->cStr[text.size()] = '\0';
    }

    static HRESULT WideName(const std::string& path, STRRET* name) {
        std::size_t needed = MultiByteToWide(path.c_str(), nullptr, 0);
        if (needed == 0) {
            return E_FAIL;
        }
        auto* wide = static_cast<wchar_t*>(ShellAlloc(needed * sizeof(wchar_t)));
        if (!wide) {
            return E_OUTOFMEMORY;
        }
        MultiByteToWide(path.c_str(), wide, needed);
        name->uType = STRRET_WSTR;
        name->pOleStr = wide;
        return S_OK;
    }

    std::string directory_;
    std::atomic<std::uint32_t> references_{1};
};

} // namespace

HRESULT SHGetDesktopFolder(IShellFolder** folder) {
    if (!folder) {
        return E_INVALIDARG;
    }
    *folder = new (std::nothrow) FileSystemFolder("/");
    return *folder ? S_OK : E_OUTOFMEMORY;
}
