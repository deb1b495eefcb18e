// MurmurHash3, x64 128-bit variant: the digest writers store before every
// sample's values.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

struct Digest128 {
    std::uint64_t h1;
    std::uint64_t h2;
};

Digest128 murmur3_x64_128(const void* bytes, std::size_t length, std::uint32_t seed);

}  // namespace zel
