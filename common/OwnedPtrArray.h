#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// A growable array of owned elements. Indexing an empty slot creates a default element there; indexing at or
// past the capacity first grows the array. The element count lives with the owner, not here.
template <typename T> class OwnedPtrArray {
  public:
    explicit OwnedPtrArray(uint32_t capacity = 4) : slots_(capacity) {}

    uint32_t capacity() const { return static_cast<uint32_t>(slots_.size()); }

    T& operator[](uint32_t i) {
        if (i >= capacity()) {
            uint64_t doubled = 2ull * capacity();
            grow(static_cast<uint32_t>(doubled > i + 1ull ? doubled : i + 1ull));
        }
        if (!slots_[i]) {
            slots_[i] = std::make_unique<T>();
        }
        return *slots_[i];
    }

    // The element in slot i without creating one; null for an empty slot or one past the capacity.
    T* get(uint32_t i) const { return i < capacity() ? slots_[i].get() : nullptr; }

    void grow(uint32_t n) {
        if (n > capacity()) {
            slots_.resize(n);
        }
    }

    // Stores an element in slot i (growing as indexing does) and drops what was there.
    void set(uint32_t i, std::unique_ptr<T> element) {
        (*this)[i];
        slots_[i] = std::move(element);
    }

    std::unique_ptr<T> take(uint32_t i) { return i < capacity() ? std::move(slots_[i]) : nullptr; }

    void swap(uint32_t a, uint32_t b) { slots_[a].swap(slots_[b]); }

    void clear() {
        for (auto& slot : slots_) {
            slot.reset();
        }
    }

  private:
    std::vector<std::unique_ptr<T>> slots_;
};
