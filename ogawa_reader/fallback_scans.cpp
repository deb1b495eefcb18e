// The fallback scans, position by position: a read at every byte (or every
// 4 bytes) they test.
#include "ogawa_reader/fallback_scans.h"

#include "ogawa_reader/scan_tests.h"

namespace zel {

ScanHit find_position_block(CachedReader& reader) {
    ScanHit best{};
    for (std::int64_t p = 16; p < static_cast<std::int64_t>(kPositionScanEnd) && p < reader.size() - 48; ++p) {
        unsigned char bytes[kPositionTestBytes];
        std::size_t got = reader.read(static_cast<std::uint64_t>(p), bytes, sizeof bytes);
        if (got < 8) break;
        ScanHit hit = position_candidate_at(static_cast<std::uint64_t>(p), bytes, got);
        if (hit.count > best.count) best = hit;
    }
    return best;
}

ScanHit find_unit_normals(CachedReader& reader) {
    ScanHit best{};
    if (reader.size() <= static_cast<std::int64_t>(kUnitNormalFirst + kUnitNormalTail - 1)) return best;
    auto last = static_cast<std::uint64_t>(reader.size()) - kUnitNormalTail;
    for (std::uint64_t p = kUnitNormalFirst; p <= last; ++p) {
        unsigned char bytes[kUnitNormalTestBytes];
        std::size_t got = reader.read(p - 24, bytes, sizeof bytes);
        if (got < 8) break;
        if (got < sizeof bytes) continue;
        std::uint64_t count = unit_normal_count_at(bytes);
        if (count > best.count) best = ScanHit{p, count};
    }
    return best;
}

ScanHit find_triangle_run(CachedReader& reader, std::uint32_t position_count) {
    ScanHit best{};
    if (reader.size() <= 20) return best;
    for (std::int64_t p = 16; p < reader.size() - 4; p += 4) {
        auto start = static_cast<std::uint64_t>(p);
        unsigned char word[4];
        if (!reader.read_exact(start, word, 4)) break;
        if (!starts_run(load_u32(word), position_count)) continue;
        std::uint64_t run = 1;
        while (run < kMaxTriangleRun && reader.read_exact(start + 4 * run, word, 4) &&
               extends_run(load_u32(word), position_count)) {
            ++run;
        }
        if (run >= kMinTriangleRun && run > best.count) best = ScanHit{start, run};
    }
    return best;
}

}  // namespace zel
