#pragma once

#include "idlkit/idlkit.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

// An allocator for the list operations that counts what it hands out, fills new blocks with a pattern so
// nothing can rely on memory being zero already, and fails the allocation numbered `failAt` (0-based).
class TestAllocator final : public IMalloc {
  public:
    explicit TestAllocator(int failAt = -1) : failAt_(failAt) {}

    void* Alloc(std::size_t size) override {
        sizes.push_back(size);
        if (static_cast<int>(sizes.size()) - 1 == failAt_) {
            return nullptr;
        }
        void* block = std::malloc(size);
        std::memset(block, 0xA5, size);
        ++live;
        return block;
    }
    void* Realloc(void* block, std::size_t size) override { return std::realloc(block, size); }
    void Free(void* block) override {
        if (block) {
            --live;
            std::free(block);
        }
    }
    std::uint32_t AddRef() override { return ++references; }
    std::uint32_t Release() override { return --references; }

    std::vector<std::size_t> sizes; // size of every allocation asked for, in order
    int live = 0;                   // blocks handed out and not freed
    std::uint32_t references = 1;

  private:
    int failAt_;
};

// Builds a list in memory: one item per entry, holding the entry's bytes, so each count is size + 2.
inline std::vector<unsigned char> MakeList(const std::vector<std::string>& items) {
    std::vector<unsigned char> bytes;
    for (const std::string& data : items) {
        std::size_t count = data.size() + 2;
        bytes.push_back(static_cast<unsigned char>(count & 0xFF));
        bytes.push_back(static_cast<unsigned char>(count >> 8));
        bytes.insert(bytes.end(), data.begin(), data.end());
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

inline const ITEMIDLIST* AsList(const std::vector<unsigned char>& bytes) {
    return reinterpret_cast<const ITEMIDLIST*>(bytes.data());
}

// The bytes of a list including its terminator.
inline std::vector<unsigned char> BytesOf(const ITEMIDLIST* list) {
    const auto* start = reinterpret_cast<const unsigned char*>(list);
    return std::vector<unsigned char>(start, start + Idlkit_GetSize(list));
}

// A name of the kind a file system item has, as the stand-in stores it: the name and its NUL.
inline std::string Component(const std::string& name) {
    return name + std::string(1, '\0');
}

// Frees a list that came from the shell allocator.
inline void FreeShellList(ITEMIDLIST* list) {
    IMalloc* shell = nullptr;
    SHGetMalloc(&shell);
    shell->Free(list);
    shell->Release();
}
