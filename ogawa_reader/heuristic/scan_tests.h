// What the fallback scans test at one file position, on bytes already in
// memory. The scans differ only in how those bytes arrive.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/file_io.h"
#include "ogawa_reader/heuristic/fallback_scans.h"
#include "ogawa_reader/heuristic/word_tests.h"

namespace zel {

// Position scan: bytes from p on (a size field and 18 words).
constexpr std::size_t kPositionTestBytes = 8 + 18 * 4;
constexpr std::uint64_t kPositionScanEnd = 2048;  // exclusive
constexpr std::uint64_t kMinPositionBlock = 12'012;
constexpr std::uint64_t kMaxPositionBlock = 9'999'999;
constexpr std::uint64_t kMinPositionCount = 100;
constexpr float kMaxPositionMagnitude = 10'000.0f;

// The position-scan candidate whose size field is at p, given `available`
// bytes of the file from p (at least 8); count 0 when there is none.
ScanHit position_candidate_at(std::uint64_t p, const unsigned char* bytes, std::size_t available);

// Unit-normal scan: bytes from p - 24 on (a size field, the 16-byte prefix and
// two triples).
constexpr std::size_t kUnitNormalTestBytes = 24 + 6 * 4;
constexpr std::uint64_t kUnitNormalFirst = 40;
constexpr std::uint64_t kUnitNormalTail = 77;  // last position is F - 77
constexpr std::uint64_t kMinUnitNormalBlock = 10'001;
constexpr std::uint64_t kMaxUnitNormalBlock = 1'999'999;
constexpr std::uint64_t kMinUnitNormalCount = 100;

// Normals count of the unit-normal candidate at p, given kUnitNormalTestBytes
// bytes from p - 24; 0 when there is none.
inline std::uint64_t unit_normal_count_at(const unsigned char* bytes) {
    std::uint64_t s = load_u64(bytes);
    if (s < kMinUnitNormalBlock || s > kMaxUnitNormalBlock || (s - 16) % 12 != 0) return 0;
    const unsigned char* w = bytes + 24;
    if (!all_finite_within(w, 0, 5, 1.1f)) return 0;
    if (!unit_length(word_f32(w, 0), word_f32(w, 1), word_f32(w, 2))) return 0;
    if (!unit_length(word_f32(w, 3), word_f32(w, 4), word_f32(w, 5))) return 0;
    return (s - 16) / 12;
}

// Triangle inference.
constexpr std::uint64_t kMaxTriangleRun = 10'000'000;
constexpr std::uint64_t kMinTriangleRun = 6;

inline bool starts_run(std::uint32_t v, std::uint32_t position_count) { return v < position_count; }
inline bool extends_run(std::uint32_t v, std::uint32_t position_count) {
    return v == 3 || v == 4 || v < position_count;
}

}  // namespace zel
