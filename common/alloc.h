// Every allocation of the libraries goes through these functions, so that the
// test build can make a chosen allocation fail. Memory they return is released
// with the standard free(): callers free some of the arrays we hand out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace zel {

// Like malloc, but a request of 0 bytes still yields a distinct block, so that
// null always means failure.
void* alloc_bytes(std::size_t bytes);
// Counts one allocation made by other means (a mapping, with the plain
// allocation as its fallback) as these functions count theirs: false when the
// test build makes this one fail.
bool allocation_allowed();
// Zero-filled; null when count * size overflows.
void* alloc_zeroed(std::size_t count, std::size_t size);
// Like realloc (block untouched on failure); null when count * size overflows.
void* realloc_array(void* block, std::size_t count, std::size_t size);

template <class T>
T* alloc_array(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) return nullptr;
    return static_cast<T*>(alloc_bytes(count * sizeof(T)));
}

template <class T>
T* alloc_zeroed_array(std::size_t count) {
    return static_cast<T*>(alloc_zeroed(count, sizeof(T)));
}

// Owns a block from these functions and frees it on every path, unless it
// is handed on with release().
template <class T>
class OwnedBlock {
public:
    explicit OwnedBlock(T* block = nullptr) : block_(block) {}
    ~OwnedBlock() { std::free(block_); }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;
    T* get() const { return block_; }
    void reset(T* block) {
        std::free(block_);
        block_ = block;
    }
    T* release() {
        T* b = block_;
        block_ = nullptr;
        return b;
    }

private:
    T* block_;
};

#ifdef ZEL_ALLOC_FAILURE_INJECTION
// Test hook: the nth allocation from now (1 = the next one) fails, once.
// 0 disarms.
void alloc_fail_nth(std::uint64_t nth);
// True while an armed failure has not happened yet.
bool alloc_failure_pending();
#endif

}  // namespace zel
