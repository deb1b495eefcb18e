#include "ogawa_reader/container/murmur3.h"

#include <bit>

#include "common/file_io.h"

namespace zel {
namespace {

constexpr std::uint64_t kC1 = 0x87c37b91114253d5ull;
constexpr std::uint64_t kC2 = 0x4cf5ad432745937full;

std::uint64_t final_mix(std::uint64_t k) {
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdull;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ull;
    k ^= k >> 33;
    return k;
}

std::uint64_t mix_k1(std::uint64_t k1) { return std::rotl(k1 * kC1, 31) * kC2; }
std::uint64_t mix_k2(std::uint64_t k2) { return std::rotl(k2 * kC2, 33) * kC1; }

}  // namespace

Digest128 murmur3_x64_128(const void* bytes, std::size_t length, std::uint32_t seed) {
    const auto* data = static_cast<const unsigned char*>(bytes);
    std::uint64_t h1 = seed, h2 = seed;
    const std::size_t blocks = length / 16;
    for (std::size_t i = 0; i < blocks; ++i) {
        h1 ^= mix_k1(load_u64(data + 16 * i));
        h1 = std::rotl(h1, 27) + h2;
        h1 = h1 * 5 + 0x52dce729;
        h2 ^= mix_k2(load_u64(data + 16 * i + 8));
        h2 = std::rotl(h2, 31) + h1;
        h2 = h2 * 5 + 0x38495ab5;
    }
    // The last 1 to 15 bytes, little-endian: bytes 8 on into k2, the first 8 into k1.
    const unsigned char* tail = data + 16 * blocks;
    const std::size_t rest = length & 15;
    std::uint64_t k1 = 0, k2 = 0;
    for (std::size_t i = rest; i > 8; --i) k2 |= std::uint64_t{tail[i - 1]} << (8 * (i - 9));
    for (std::size_t i = rest < 8 ? rest : 8; i > 0; --i) k1 |= std::uint64_t{tail[i - 1]} << (8 * (i - 1));
    if (rest > 8) h2 ^= mix_k2(k2);
    if (rest > 0) h1 ^= mix_k1(k1);
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

}  // namespace zel
