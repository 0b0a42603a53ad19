#include "idlkit/ShellMalloc.h"

#include <atomic>
#include <cstdlib>

namespace {

class ShellAllocator final : public IMalloc {
  public:
    void* Alloc(std::size_t size) override { return std::calloc(size == 0 ? 1 : size, 1); }
    void* Realloc(void* block, std::size_t size) override {
        return std::realloc(block, size == 0 ? 1 : size);
    }
    void Free(void* block) override { std::free(block); }
    std::uint32_t AddRef() override { return ++references_; }
    std::uint32_t Release() override {
        // The shell's own reference is never given up, however often callers over-release.
        std::uint32_t count = references_.load();
        while (count > 1 && !references_.compare_exchange_weak(count, count - 1)) {
        }
        return count > 1 ? count - 1 : 1;
    }

  private:
    std::atomic<std::uint32_t> references_{1};
};

ShellAllocator shellAllocator;

} // namespace

HRESULT SHGetMalloc(IMalloc** allocator) {
    if (!allocator) {
        return E_INVALIDARG;
    }
    shellAllocator.AddRef();
    *allocator = &shellAllocator;
    return S_OK;
}
