// The texts of a description: terminated strings named by 32-bit offsets,
// offset 0 being "". While the archive opens they fill one array that grows
// and may move. Sealed, the pool never moves a text again, so that hosts can
// keep the texts they are handed until the archive closes: later texts go
// into blocks of doubling size that are never reallocated. Both kinds come
// from the ordinary heap, which a process reuses from one archive to the
// next, rather than from one large reservation mapped afresh each time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "common/growable.h"

namespace zel::desc {

class TextPool {
public:
    TextPool() = default;
    ~TextPool();
    TextPool(const TextPool&) = delete;
    TextPool& operator=(const TextPool&) = delete;

    // A copy of length bytes from outside the pool, terminated.
    bool add(const char* text, std::size_t length, std::uint32_t* offset);
    // length bytes of the pool's text `of`, from byte `from` on.
    bool add_part(std::uint32_t of, std::size_t from, std::size_t length, std::uint32_t* offset);
    // Room for n bytes that the caller fills (and terminates where texts
    // end): where they go, or null. They lie together.
    char* add_bytes(std::size_t n, std::uint32_t* offset) { return claim(n, offset); }
    // first + "/" + second, cut to at most `most` bytes.
    bool add_joined(std::uint32_t first, std::uint32_t second, std::size_t most, std::uint32_t* offset);

    const char* text(std::uint32_t offset) const {
        if (offset & kSealedBit) {
            const std::uint32_t at = offset & ~kSealedBit;
            const int k = block_of(at);
            return blocks_[k] + (at - block_start(k));
        }
        return open_.data() + offset;
    }

    // Room for texts of `bytes` bytes in all, terminators included, so that
    // adding them cannot then fail for want of memory.
    bool reserve(std::size_t bytes);
    // Where the next text goes; rolling back to it drops every text added since.
    std::uint32_t end() const { return sealed_ ? kSealedBit | sealed_end_ : static_cast<std::uint32_t>(open_.size()); }
    void roll_back(std::uint32_t end);
    void seal() { sealed_ = true; }

private:
    static constexpr std::uint32_t kSealedBit = 0x80000000u;
    static constexpr std::uint32_t kFirstBlockBytes = 64 * 1024;
    static constexpr int kBlocks = 15;  // together just under 2 GiB, below kSealedBit

    // Block k starts kFirstBlockBytes * (2^k - 1) bytes into the sealed texts
    // and holds kFirstBlockBytes << k.
    static int block_of(std::uint32_t at) { return std::bit_width(at / kFirstBlockBytes + 1) - 1; }
    static std::uint32_t block_start(int k) { return kFirstBlockBytes * ((1u << k) - 1); }
    // Room for n contiguous bytes at sealed_end_, moving it to the start of
    // a block when the current one cannot hold them.
    bool make_room(std::size_t n);
    // Room for n bytes at the end of the pool: where they go, or null.
    char* claim(std::size_t n, std::uint32_t* offset);

    GrowableArray<char> open_;
    char* blocks_[kBlocks] = {};
    std::uint32_t sealed_end_ = 0;
    bool sealed_ = false;
};

}  // namespace zel::desc
