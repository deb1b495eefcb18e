// The 48-cubed lattice as mesh conversion computes it: every step in single
// precision with the constants' exact bits.
#pragma once

#include <bit>
#include <cstdint>

#include "zelset/matrix48_constants.h"

namespace zel::alembic {

// An extent below this counts as 1 (0.0001).
inline constexpr float kMinExtent = std::bit_cast<float>(0x38D1B717u);
// The corner distance, the golden ratio and the state table are the
// matrix-48 operators' (zelset/matrix48_constants.h).
using matrix48::kCornerDistance;
using matrix48::kPhi;
using matrix48::kStateTable;
// The coupling factor 10.665754, single precision (the matrix-48 operators
// use a double here, so their coupling can differ in the last bit).
inline constexpr float kCouplingFactor = std::bit_cast<float>(0x412AA6EEu);
inline constexpr float kMatrixMax = 47.0f;
inline constexpr float kCentre = 23.5f;

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
