// MurmurHash3 x64 128 written out literally: every block assembled byte by
// byte, the tail taken as the hash's authors wrote it, one case a byte. The
// oracle of the reader's digest check and the digest the test writer stores.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel_oracle {

struct Murmur3Digest {
    std::uint64_t h1;
    std::uint64_t h2;
};

Murmur3Digest murmur3_x64_128(const unsigned char* bytes, std::size_t length, std::uint32_t seed);

}  // namespace zel_oracle
