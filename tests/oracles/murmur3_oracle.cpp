#include "oracles/murmur3_oracle.h"

namespace zel_oracle {
namespace {

std::uint64_t rotate_left(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }

std::uint64_t little_endian_u64(const unsigned char* p) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{p[i]} << (8 * i);
    return v;
}

std::uint64_t final_mix(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

}  // namespace

Murmur3Digest murmur3_x64_128(const unsigned char* bytes, std::size_t length, std::uint32_t seed) {
    const std::uint64_t c1 = 0x87c37b91114253d5ull, c2 = 0x4cf5ad432745937full;
    std::uint64_t h1 = seed, h2 = seed;
    const std::size_t blocks = length / 16;
    for (std::size_t i = 0; i < blocks; ++i) {
        std::uint64_t k1 = little_endian_u64(bytes + 16 * i);
        std::uint64_t k2 = little_endian_u64(bytes + 16 * i + 8);
        k1 *= c1;
        k1 = rotate_left(k1, 31);
        k1 *= c2;
        h1 ^= k1;
        h1 = rotate_left(h1, 27);
        h1 += h2;
        h1 = h1 * 5 + 0x52dce729;
        k2 *= c2;
        k2 = rotate_left(k2, 33);
        k2 *= c1;
        h2 ^= k2;
        h2 = rotate_left(h2, 31);
        h2 += h1;
        h2 = h2 * 5 + 0x38495ab5;
    }
    const unsigned char* tail = bytes + 16 * blocks;
    std::uint64_t k1 = 0, k2 = 0;
    switch (length & 15) {
        case 15: k2 ^= std::uint64_t{tail[14]} << 48; [[fallthrough]];
        case 14: k2 ^= std::uint64_t{tail[13]} << 40; [[fallthrough]];
        case 13: k2 ^= std::uint64_t{tail[12]} << 32; [[fallthrough]];
        case 12: k2 ^= std::uint64_t{tail[11]} << 24; [[fallthrough]];
        case 11: k2 ^= std::uint64_t{tail[10]} << 16; [[fallthrough]];
        case 10: k2 ^= std::uint64_t{tail[9]} << 8; [[fallthrough]];
        case 9:
            k2 ^= std::uint64_t{tail[8]};
            k2 *= c2;
            k2 = rotate_left(k2, 33);
            k2 *= c1;
            h2 ^= k2;
            [[fallthrough]];
        case 8: k1 ^= std::uint64_t{tail[7]} << 56; [[fallthrough]];
        case 7: k1 ^= std::uint64_t{tail[6]} << 48; [[fallthrough]];
        case 6: k1 ^= std::uint64_t{tail[5]} << 40; [[fallthrough]];
        case 5: k1 ^= std::uint64_t{tail[4]} << 32; [[fallthrough]];
        case 4: k1 ^= std::uint64_t{tail[3]} << 24; [[fallthrough]];
        case 3: k1 ^= std::uint64_t{tail[2]} << 16; [[fallthrough]];
        case 2: k1 ^= std::uint64_t{tail[1]} << 8; [[fallthrough]];
        case 1:
            k1 ^= std::uint64_t{tail[0]};
            k1 *= c1;
            k1 = rotate_left(k1, 31);
            k1 *= c2;
            h1 ^= k1;
            break;
        default: break;
    }
    h1 ^= length;
    h2 ^= length;
    h1 += h2;
    h2 += h1;
    h1 = final_mix(h1);
    h2 = final_mix(h2);
    h1 += h2;
    h2 += h1;
    return {h1, h2};
}

}  // namespace zel_oracle
