// Single-precision 3-vectors stored as three consecutive floats.
#pragma once

#include <cmath>

namespace zel::vec3 {

// Vectors no longer than this are left as they are when normalising
// (single-precision bits 0x322BCC77).
inline constexpr float kNormaliseThreshold = 1e-8f;

// Divides v by its length, sqrt((x*x + y*y) + z*z) in single precision, when
// that length is greater than the threshold.
inline void normalise_if_long(float* v) {
    float length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (length > kNormaliseThreshold) {
        v[0] /= length;
        v[1] /= length;
        v[2] /= length;
    }
}

inline void add_to(float* sum, const float* v) {
    sum[0] += v[0];
    sum[1] += v[1];
    sum[2] += v[2];
}

}  // namespace zel::vec3
