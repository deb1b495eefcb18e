// An array of plain values that grows on demand through the library's
// allocator: no exception, a failed growth is a false return and leaves the
// array as it was.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "common/alloc.h"

namespace zel {

template <class T>
class GrowableArray {
    static_assert(std::is_trivially_copyable_v<T>, "held as raw bytes");

public:
    GrowableArray() = default;
    ~GrowableArray() { std::free(items_); }
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    bool reserve(std::size_t capacity) {
        if (capacity <= capacity_) return true;
        auto* grown = static_cast<T*>(realloc_array(items_, capacity, sizeof(T)));
        if (!grown) return false;
        items_ = grown;
        capacity_ = capacity;
        return true;
    }
    bool push(const T& value) {
        if (size_ == capacity_ && !reserve(capacity_ < 8 ? 8 : 2 * capacity_)) return false;
        items_[size_++] = value;
        return true;
    }
    // Room for n values past the size. Growth doubles the capacity where it
    // can, so that many small calls cost linear time in all.
    bool reserve_more(std::size_t n) {
        if (n <= capacity_ - size_) return true;
        const std::size_t wanted = size_ + n;
        if (wanted < size_) return false;
        return (wanted < 2 * capacity_ && reserve(2 * capacity_)) || reserve(wanted);
    }
    // Appends n values; false (nothing appended) when the room cannot be made.
    bool append(const T* values, std::size_t n) {
        if (!reserve_more(n)) return false;
        if (n != 0) std::memcpy(items_ + size_, values, n * sizeof(T));
        size_ += n;
        return true;
    }
    // n values; those past the old size are not set. False (nothing
    // changed) when the room cannot be made.
    bool resize(std::size_t n) {
        if (n > size_ && !reserve_more(n - size_)) return false;
        size_ = n;
        return true;
    }
    // Drops the values from n on.
    void truncate(std::size_t n) {
        if (n < size_) size_ = n;
    }
    void clear() { size_ = 0; }

    T* data() { return items_; }
    const T* data() const { return items_; }
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return items_[i]; }
    const T& operator[](std::size_t i) const { return items_[i]; }
    T& back() { return items_[size_ - 1]; }
    void swap(GrowableArray& other) {
        std::swap(items_, other.items_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
    }

private:
    T* items_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace zel
