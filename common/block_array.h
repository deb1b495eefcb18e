// An array of plain values kept in blocks that never move: block k holds
// kFirst << k values. Growing it allocates the next block and copies
// nothing, so a large array costs no copy of itself and touches no page it
// does not write; and a reference to a value stays valid while it grows.
// Allocations go through the library's allocator: a failed growth is a
// false return and leaves the array as it was.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdlib>
#include <type_traits>

#include "common/alloc.h"

namespace zel {

template <class T, std::size_t kFirst = 256>
class BlockArray {
    static_assert(std::is_trivially_copyable_v<T>, "held as raw bytes");
    static_assert(std::has_single_bit(kFirst));

public:
    BlockArray() = default;
    ~BlockArray() {
        for (T* block : blocks_) std::free(block);
    }
    BlockArray(const BlockArray&) = delete;
    BlockArray& operator=(const BlockArray&) = delete;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return blocks_[block_of(i)][i - start_of(block_of(i))]; }
    const T& operator[](std::size_t i) const { return blocks_[block_of(i)][i - start_of(block_of(i))]; }
    T& back() { return (*this)[size_ - 1]; }

    // Room for n values past the size.
    bool reserve_more(std::size_t n) {
        if (n == 0) return true;
        if (n > kMaxSize - size_) return false;
        for (int k = block_of(size_); k <= block_of(size_ + n - 1); ++k) {
            if (!blocks_[k] && !(blocks_[k] = alloc_array<T>(kFirst << k))) return false;
        }
        return true;
    }
    bool push(const T& value) {
        if (!reserve_more(1)) return false;
        (*this)[size_++] = value;
        return true;
    }
    // n values; those past the old size are not set.
    bool resize(std::size_t n) {
        if (n > size_ && !reserve_more(n - size_)) return false;
        size_ = n;
        return true;
    }
    void truncate(std::size_t n) {
        if (n < size_) size_ = n;
    }

private:
    static constexpr int kBlocks = 26;
    static constexpr std::size_t kMaxSize = kFirst * ((std::size_t{1} << kBlocks) - 1);
    static int block_of(std::size_t i) { return std::bit_width(i / kFirst + 1) - 1; }
    static std::size_t start_of(int k) { return kFirst * ((std::size_t{1} << k) - 1); }

    T* blocks_[kBlocks] = {};
    std::size_t size_ = 0;
};

}  // namespace zel
