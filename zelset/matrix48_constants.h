// Constants of the matrix-48 operators, built from their exact bit patterns so
// that no decimal literal can round them differently on another compiler.
#pragma once

#include <bit>
#include <cstdint>

namespace zel::matrix48 {

// Nearest single to sqrt(3) * 23.5: the distance from the centre to a corner.
inline constexpr float kCornerDistance = std::bit_cast<float>(std::uint32_t{0x4222D012});
// Nearest single to the golden ratio.
inline constexpr float kPhi = std::bit_cast<float>(std::uint32_t{0x3FCF1BBD});
// Nearest single to the golden ratio squared (not kPhi * kPhi, one ulp above).
inline constexpr float kPhiSquared = std::bit_cast<float>(std::uint32_t{0x40278DDE});
// Scale of the coupling value, a double.
inline constexpr double kCouplingFactor = std::bit_cast<double>(std::uint64_t{0x402554DDBB88E8B6});
// Added to the golden step's length so that a midpoint at the centre divides by it safely.
inline constexpr float kRootGuard = std::bit_cast<float>(std::uint32_t{0x3A83126F});

// Centre coordinate: a double when offsetting a coordinate, a single in the golden step.
inline constexpr double kCentre = 23.5;
inline constexpr float kCentreSingle = 23.5f;

inline constexpr std::uint8_t kStateTable[4] = {0x00, 0x01, 0xFF, 0x02};

}  // namespace zel::matrix48
