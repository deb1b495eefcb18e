// Tests on the 4-byte words of a block, shared by the tree path's block
// classification and the scans. A word is little-endian, viewed as an f32 or
// a u32; its magnitude is the absolute value of the f32.
#pragma once

#include <cmath>
#include <cstdint>

#include "common/file_io.h"

namespace zel {

inline float word_f32(const unsigned char* words, int i) { return load_f32(words + 4 * i); }
inline std::uint32_t word_u32(const unsigned char* words, int i) { return load_u32(words + 4 * i); }

// Finite with magnitude at most limit.
inline bool finite_within(float x, float limit) { return std::isfinite(x) && std::fabs(x) <= limit; }

// The unit-vector test: the length of (a, b, c), computed in single
// precision, lies strictly between 0.95 and 1.05.
inline bool unit_length(float a, float b, float c) {
    float length = std::sqrt(a * a + b * b + c * c);
    return length > 0.95f && length < 1.05f;
}

// Words first..last (inclusive) of `words` are all finite with magnitude at
// most limit.
inline bool all_finite_within(const unsigned char* words, int first, int last, float limit) {
    for (int i = first; i <= last; ++i) {
        if (!finite_within(word_f32(words, i), limit)) return false;
    }
    return true;
}

// Largest magnitude among words first..last.
inline float largest_magnitude(const unsigned char* words, int first, int last) {
    float m = 0.0f;
    for (int i = first; i <= last; ++i) m = std::fmax(m, std::fabs(word_f32(words, i)));
    return m;
}

}  // namespace zel
