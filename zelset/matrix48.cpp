// Matrix-48 cell attributes and the operators that combine cells.
#include <cmath>
#include <cstdint>

#include "matrix48_constants.h"
#include "zel_matrix48.h"

namespace zel::matrix48 {
namespace {

// Spreads the 6 bits of v three places apart and shifts them into the lane
// chosen by (lane_multiplier, lane_mask). Each multiply adds shifted copies of
// v that never overlap, so the masks pick out exact bits.
std::uint64_t spread_six_bits(std::uint64_t v, std::uint64_t lane_multiplier, std::uint64_t lane_mask) {
    v = (v * 257) & 0x300F00F;  // bits 0-3 stay, bits 4-5 move up 8
    v = (v * 17) & 0x30C30C3;   // pairs of bits, 6 apart
    return (v * lane_multiplier) & lane_mask;
}

std::uint64_t morton_code(std::uint32_t x, std::uint32_t y, std::uint32_t z) {
    return spread_six_bits(x & 63u, 5, 0x9249249) | spread_six_bits(y & 63u, 10, 0x12492492) |
           spread_six_bits(z & 63u, 20, 0x24924924);
}

std::int32_t level_of(std::uint8_t x, std::uint8_t y, std::uint8_t z) {
    return (std::int32_t{x} + y + z) % 23 - 11;
}

std::uint8_t state_of(std::int32_t level) { return kStateTable[level & 3]; }

float centre_offset(std::uint8_t c) { return static_cast<float>(static_cast<double>(c) - kCentre); }

float phi_norm_of(std::uint8_t x, std::uint8_t y, std::uint8_t z) {
    float dx = centre_offset(x), dy = centre_offset(y), dz = centre_offset(z);
    float sum = (dx * dx + dy * dy) + dz * dz;
    return std::sqrt(sum) / kCornerDistance * kPhi;
}

float coupling_of(float phi_norm) {
    float t = phi_norm / 48.0f + 1.0f;
    return static_cast<float>(static_cast<double>(t) * kCouplingFactor);
}

std::uint8_t mirror(std::uint8_t c) { return static_cast<std::uint8_t>(47 - c); }

std::uint8_t tachyon(std::uint8_t c) {
    if (c == 0) return 47;
    if (c <= 48) return static_cast<std::uint8_t>(48 - c);
    return 0;
}

std::uint8_t mean_down(std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>((a + b) >> 1); }

std::int32_t chirality_of(std::uint8_t a, std::uint8_t b) { return (a > b) - (a < b); }

// The golden step: the parents' midpoint pushed away from the centre by a
// vector of length just under phi, wrapped at 48. |d * s| stays below phi, so
// the conversion to an integer never overflows.
void golden_step(const zel_matrix_48_cell_t& a, const zel_matrix_48_cell_t& b, std::uint8_t out[3]) {
    const float m[3] = {static_cast<float>(a.x + b.x) * 0.5f, static_cast<float>(a.y + b.y) * 0.5f,
                        static_cast<float>(a.z + b.z) * 0.5f};
    float d[3];
    for (int i = 0; i < 3; ++i) d[i] = m[i] - kCentreSingle;
    float length = std::sqrt((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]) + kRootGuard;
    float s = kPhi / length;
    for (int i = 0; i < 3; ++i) {
        std::int32_t moved = static_cast<std::int32_t>(d[i] * s + m[i]);
        out[i] = static_cast<std::uint8_t>(moved % 48);  // C remainder: -1 stays -1, stored as 255
    }
}

}  // namespace
}  // namespace zel::matrix48

using namespace zel::matrix48;

extern "C" {

ZEL_API uint64_t zel_matrix_48_morton_encode(uint32_t x, uint32_t y, uint32_t z) { return morton_code(x, y, z); }

ZEL_API void zel_matrix_48_palindrome(uint8_t x, uint8_t y, uint8_t z, uint8_t* out_x, uint8_t* out_y,
                                      uint8_t* out_z) {
    if (!out_x || !out_y || !out_z) return;
    *out_x = mirror(x);
    *out_y = mirror(y);
    *out_z = mirror(z);
}

ZEL_API int32_t zel_matrix_48_k11_level(uint8_t x, uint8_t y, uint8_t z) { return level_of(x, y, z); }

ZEL_API uint8_t zel_matrix_48_i_state(int32_t level) { return state_of(level); }

ZEL_API float zel_matrix_48_phi_norm(uint8_t x, uint8_t y, uint8_t z) { return phi_norm_of(x, y, z); }

ZEL_API float zel_matrix_48_em_coupling(uint8_t x, uint8_t y, uint8_t z) {
    return coupling_of(phi_norm_of(x, y, z));
}

ZEL_API void zel_matrix_48_identity(uint8_t x, uint8_t y, uint8_t z, zel_matrix_48_cell_t* cell) {
    if (!cell) return;
    cell->x = x;
    cell->y = y;
    cell->z = z;
    cell->mirror_x = mirror(x);
    cell->mirror_y = mirror(y);
    cell->mirror_z = mirror(z);
    std::int32_t level = level_of(x, y, z);
    cell->k11_level = static_cast<int8_t>(level);
    cell->i_state = state_of(level);
    cell->morton = morton_code(x, y, z);
    cell->phi_norm = phi_norm_of(x, y, z);
    cell->em_coupling = coupling_of(cell->phi_norm);
}

ZEL_API void zel_matrix_48_crossover_bind(uint8_t ax, uint8_t ay, uint8_t az, uint8_t bx, uint8_t by,
                                          uint8_t bz, uint8_t* out_x, uint8_t* out_y, uint8_t* out_z) {
    if (!out_x || !out_y || !out_z) return;
    *out_x = mean_down(ax, bx);
    *out_y = mean_down(ay, by);
    *out_z = mean_down(az, bz);
}

ZEL_API void zel_matrix_48_mutate_tachyon(uint8_t x, uint8_t y, uint8_t z, uint8_t* out_x, uint8_t* out_y,
                                          uint8_t* out_z) {
    if (!out_x || !out_y || !out_z) return;
    *out_x = tachyon(x);
    *out_y = tachyon(y);
    *out_z = tachyon(z);
}

ZEL_API int32_t zel_matrix_48_chirality(uint8_t a, uint8_t b) { return chirality_of(a, b); }

ZEL_API void zel_matrix_48_reproduce(const zel_matrix_48_cell_t* a, const zel_matrix_48_cell_t* b, int32_t mode,
                                     zel_matrix_48_offspring_t* child) {
    if (!a || !b || !child) return;
    std::uint8_t c[3];
    if (mode == 0) {
        c[0] = mean_down(a->x, b->x);
        c[1] = mean_down(a->y, b->y);
        c[2] = mean_down(a->z, b->z);
    } else if (mode == 2) {
        c[0] = mean_down(tachyon(a->x), b->x);
        c[1] = mean_down(tachyon(a->y), b->y);
        c[2] = mean_down(tachyon(a->z), b->z);
    } else {
        golden_step(*a, *b, c);
    }
    child->x = c[0];
    child->y = c[1];
    child->z = c[2];
    child->chirality = static_cast<int8_t>(chirality_of(c[0], c[1]));
    child->phi_blend = (a->phi_norm * kPhi + b->phi_norm) / kPhiSquared;
    child->em_coupling = coupling_of(phi_norm_of(c[0], c[1], c[2]));
    std::int32_t level = level_of(c[0], c[1], c[2]);
    child->k11_level = static_cast<int8_t>(level);
    child->i_state = state_of(level);
}

ZEL_API int32_t zel_matrix_48_validate_all(void) { return ZEL_MATRIX_48_CELL_COUNT; }

}  // extern "C"
