#pragma once

#include "idlkit/ShellTypes.h"

#include <cstddef>
#include <cstdint>

// A reference-counted memory allocator. Blocks handed out by one allocator go back to the same one.
class IMalloc {
  public:
    virtual void* Alloc(std::size_t size) = 0;
    virtual void* Realloc(void* block, std::size_t size) = 0;
    virtual void Free(void* block) = 0;
    virtual std::uint32_t AddRef() = 0;
    // Returns the references left.
    virtual std::uint32_t Release() = 0;

  protected:
    ~IMalloc() = default;
};

// Hands out the shell's allocator with one more reference. The shell itself always keeps one, so the
// allocator never goes away; blocks it allocates start out zero-filled.
IDLSHELL_API HRESULT SHGetMalloc(IMalloc** allocator);
