// The id bucket written out literally, one character at a time: the oracle of
// the folded eight-character hash.
#pragma once

#include <cstdint>

namespace zel_oracle {

// h = h * 33 + c from 5381 (c a signed byte) over the characters of the
// 8-byte id before its first NUL, masked to 23 bits.
std::uint32_t djb2_id_bucket(const unsigned char id[8]);

}  // namespace zel_oracle
