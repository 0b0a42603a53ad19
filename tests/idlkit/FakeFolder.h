#pragma once

#include "tests/idlkit/IdlkitTestSupport.h"

#include <cwchar>
#include <memory>
#include <string>
#include <vector>

// A folder whose answers the test sets. Folders bound from it share its state, so a test sees every call
// made on the whole family and how many of them are still alive.
class FakeFolder final : public IShellFolder {
  public:
    struct State {
        int alive = 0;
        HRESULT result = S_OK;
        // With `nameFromItem`, GetDisplayNameOf answers inline with the data of the list's first item;
        // otherwise with `reply`, where a wide reply is a fresh shell-allocated copy of `wide` (or null when
        // `wide` is empty).
        bool nameFromItem = false;
        STRRET reply{};
        std::wstring wide;
        std::vector<std::uint32_t> flags;
        // Each list asked about: its first item and the two bytes after it.
        std::vector<std::vector<unsigned char>> asked;
        // Binding to an item whose data begins with this fails.
        std::string notAFolder = "file";
    };

    static FakeFolder* Create(const std::shared_ptr<State>& state) { return new FakeFolder(state); }

    HRESULT ParseDisplayName(void*, void*, const wchar_t*, std::uint32_t*, ITEMIDLIST** list,
                             std::uint32_t*) override {
        *list = nullptr;
        return E_FAIL;
    }

    HRESULT BindToObject(const ITEMIDLIST* list, void*, const GUID& interfaceId, void** object) override {
        *object = nullptr;
        if (!(interfaceId == IID_IShellFolder)) {
            return E_NOINTERFACE;
        }
        if (ItemData(list).rfind(state_->notAFolder, 0) == 0) {
            return E_FAIL;
        }
        *object = static_cast<IShellFolder*>(Create(state_));
        return S_OK;
    }

    HRESULT GetDisplayNameOf(const ITEMIDLIST* list, std::uint32_t flags, STRRET* name) override {
        state_->flags.push_back(flags);
        const auto* bytes = reinterpret_cast<const unsigned char*>(list);
        state_->asked.emplace_back(bytes, bytes + list->mkid.cb + 2);
        if (state_->result != S_OK) {
            return state_->result;
        }
        if (state_->nameFromItem) {
            std::string data = ItemData(list);
            name->uType = STRRET_CSTR;
            std::memcpy(name->cStr, data.c_str(), data.size() + 1);
            return S_OK;
        }
        *name = state_->reply;
        if (name->uType == STRRET_WSTR) {
            name->pOleStr = state_->wide.empty() ? nullptr : ShellCopy(state_->wide);
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
    explicit FakeFolder(std::shared_ptr<State> state) : state_(std::move(state)) { ++state_->alive; }
    ~FakeFolder() { --state_->alive; }

    static std::string ItemData(const ITEMIDLIST* list) {
        return std::string(reinterpret_cast<const char*>(list->mkid.abID), list->mkid.cb - 2);
    }

    static wchar_t* ShellCopy(const std::wstring& text) {
        IMalloc* shell = nullptr;
        SHGetMalloc(&shell);
        auto* copy = static_cast<wchar_t*>(shell->Alloc((text.size() + 1) * sizeof(wchar_t)));
        std::wmemcpy(copy, text.c_str(), text.size() + 1);
        shell->Release();
        return copy;
    }

    std::shared_ptr<State> state_;
    std::uint32_t references_ = 1;
};
