// The archive's stdio stream: its length, and words as stored. Positioned
// reads (platform's read_at) say how much really arrived: no caller looks at
// bytes that were not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "platform/platform.h"  // read_at

namespace zel {

// Length of the stream (it is left positioned at its end), or -1.
std::int64_t stream_length(std::FILE* f);

// Turns little-endian 4-byte words, as stored, into native ones in place (a
// no-op on little-endian machines).
void words_to_native(void* words, std::size_t count);

}  // namespace zel
