// Positioned reads on the archive's stdio stream. Every read seeks first, and
// every result says how much really arrived: no caller looks at bytes that
// were not read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace zel {

// Length of the stream (it is left positioned at its end), or -1.
std::int64_t stream_length(std::FILE* f);

// Seeks to pos and reads up to n bytes; the number that arrived (0 when the
// seek fails).
std::size_t read_up_to(std::FILE* f, std::uint64_t pos, void* out, std::size_t n);

// Turns little-endian 4-byte words, as stored, into native ones in place (a
// no-op on little-endian machines).
void words_to_native(void* words, std::size_t count);

}  // namespace zel
