// Literal versions of the matrix-48 arithmetic: the Morton code bit by bit, and
// the float formulas with every single-precision step done in double and then
// rounded to single (exact for + - * / and sqrt, since a double holds more than
// twice a single's digits). The constants come from their decimal or
// mathematical definitions, not from bit patterns.
#pragma once

#include <cstdint>

namespace zel_oracle {

// Bit i of x, y, z (i = 0..5) to bit 3i, 3i + 1, 3i + 2, one bit at a time.
std::uint64_t morton_bit_loop(std::uint32_t x, std::uint32_t y, std::uint32_t z);

float m48_corner_distance();  // nearest single to sqrt(3) * 23.5
float m48_phi();              // nearest single to (1 + sqrt(5)) / 2
float m48_phi_squared();      // nearest single to the golden ratio squared
double m48_coupling_factor(); // 10.665754185164001
float m48_root_guard();       // nearest single to 0.001

float m48_phi_norm(std::uint8_t x, std::uint8_t y, std::uint8_t z);
float m48_coupling(float phi_norm);
float m48_phi_blend(float a_phi_norm, float b_phi_norm);
// The golden step of two cells' coordinates, wrapped at 48 into 8 bits.
void m48_golden_step(const std::uint8_t a[3], const std::uint8_t b[3], std::uint8_t out[3]);

}  // namespace zel_oracle
