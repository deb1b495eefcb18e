#include "ogawa_reader/heuristic/scan_tests.h"

namespace zel {
namespace {

// A word of ordinary size: finite, magnitude within 0.0001..10000.
bool ordinary(float x) {
    float m = std::fabs(x);
    return std::isfinite(x) && m >= 0.0001f && m <= kMaxPositionMagnitude;
}

float magnitude_sum(const unsigned char* w, int first) {
    return std::fabs(word_f32(w, first)) + std::fabs(word_f32(w, first + 1)) + std::fabs(word_f32(w, first + 2));
}

}  // namespace

ScanHit position_candidate_at(std::uint64_t p, const unsigned char* bytes, std::size_t available) {
    std::uint64_t s = load_u64(bytes);
    if (s < kMinPositionBlock || s > kMaxPositionBlock || available < kPositionTestBytes) return {};
    const unsigned char* w = bytes + 8;
    int unusual = 0;
    for (int i = 0; i < 4; ++i) unusual += ordinary(word_f32(w, i)) ? 0 : 1;
    int first;
    ScanHit hit;
    if (unusual >= 3 && all_finite_within(w, 4, 9, kMaxPositionMagnitude) && magnitude_sum(w, 4) > 1.0f &&
        magnitude_sum(w, 7) > 1.0f) {
        first = 4;  // after a 16-byte prefix
        hit = ScanHit{p + 24, (s - 16) / 12};
    } else if (all_finite_within(w, 0, 2, kMaxPositionMagnitude)) {
        first = 0;
        hit = ScanHit{p + 8, s / 12};
    } else {
        first = 3;  // one word further on
        hit = ScanHit{p + 20, s / 12 - 1};
    }
    if (!all_finite_within(w, first, 15, kMaxPositionMagnitude)) return {};
    if (largest_magnitude(w, first, 15) <= 0.01f) return {};
    return hit;
}

}  // namespace zel
