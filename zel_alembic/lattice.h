// The 48-cubed lattice as mesh conversion computes it: every step in single
// precision with the constants' exact bits.
#pragma once

#include <bit>
#include <cstdint>

namespace zel::alembic {

// An extent below this counts as 1 (0.0001).
inline constexpr float kMinExtent = std::bit_cast<float>(0x38D1B717u);
// 23.5 x sqrt(3), the distance from the lattice centre to a corner.
inline constexpr float kCornerDistance = std::bit_cast<float>(0x4222D012u);
// The golden ratio, 1.618034.
inline constexpr float kPhi = std::bit_cast<float>(0x3FCF1BBDu);
// The coupling factor 10.665754, single precision (the matrix-48 operators
// use a double here, so their coupling can differ in the last bit).
inline constexpr float kCouplingFactor = std::bit_cast<float>(0x412AA6EEu);
inline constexpr float kMatrixMax = 47.0f;
inline constexpr float kCentre = 23.5f;

// Spreads the low 6 bits of v to every third bit (bit i to bit 3i).
inline std::uint64_t spread_bits(std::uint32_t v) {
    std::uint64_t x = v & 0x3Fu;
    x = (x | (x << 8)) & 0x300F00Fu;
    x = (x | (x << 4)) & 0x30C30C3u;
    x = (x | (x << 2)) & 0x9249249u;
    return x;
}

inline std::uint64_t morton_code(std::uint8_t mx, std::uint8_t my, std::uint8_t mz) {
    return spread_bits(mx) | (spread_bits(my) << 1) | (spread_bits(mz) << 2);
}

// One axis of world-to-matrix: ((value - min) / extent) x 47, clamped to 0..47
// and truncated; NaN gives 0.
inline std::uint8_t matrix_coordinate(float value, float min, float max) {
    float extent = max - min;
    if (extent < kMinExtent) extent = 1.0f;
    float s = ((value - min) / extent) * kMatrixMax;
    if (s < 0.0f) return 0;
    if (s > kMatrixMax) return 47;
    if (!(s == s)) return 0;  // NaN: neither comparison held
    return static_cast<std::uint8_t>(s);
}

}  // namespace zel::alembic
