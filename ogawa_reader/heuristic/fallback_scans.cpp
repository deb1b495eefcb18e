// The fallback scans in one pass over the file each. Every position is
// tested on bytes held in a scan window; the results are those of testing
// each position with a read of its own.
#include "ogawa_reader/heuristic/fallback_scans.h"

#include "ogawa_reader/heuristic/scan_tests.h"
#include "ogawa_reader/heuristic/scan_window.h"

namespace zel {

ScanHit find_position_block(std::FILE* f, std::int64_t file_size) {
    ScanHit best{};
    ScanWindow window(f, file_size, kPositionTestBytes);
    for (std::int64_t p = 16; p < static_cast<std::int64_t>(kPositionScanEnd) && p < file_size - 48; ++p) {
        std::size_t available;
        const unsigned char* bytes = window.at(static_cast<std::uint64_t>(p), &available);
        if (available < 8) break;
        ScanHit hit = position_candidate_at(static_cast<std::uint64_t>(p), bytes, available);
        if (hit.count > best.count) best = hit;
    }
    return best;
}

ScanHit find_unit_normals(std::FILE* f, std::int64_t file_size) {
    ScanHit best{};
    if (file_size <= static_cast<std::int64_t>(kUnitNormalFirst + kUnitNormalTail - 1)) return best;
    auto last = static_cast<std::uint64_t>(file_size) - kUnitNormalTail;
    ScanWindow window(f, file_size, kUnitNormalTestBytes);
    for (std::uint64_t p = kUnitNormalFirst; p <= last; ++p) {
        std::size_t available;
        const unsigned char* bytes = window.at(p - 24, &available);
        if (available < 8) break;
        if (available < kUnitNormalTestBytes) continue;
        std::uint64_t count = unit_normal_count_at(bytes);
        if (count > best.count) best = ScanHit{p, count};
    }
    return best;
}

// A run that starts at p extends over the qualifying words after it, so all
// runs starting inside one stretch of qualifying words end where the stretch
// ends, and the first start in the stretch has the longest of them (the
// others are never longer, and come later). One pass over the words, closing
// each stretch, finds the run the word-by-word measure finds. (Runs may not
// start at the file's last word, but such a run of 1 never wins anyway.)
ScanHit find_triangle_run(std::FILE* f, std::int64_t file_size, std::uint32_t position_count) {
    ScanHit best{};
    if (file_size <= 20) return best;
    auto end = static_cast<std::uint64_t>(file_size);
    ScanWindow window(f, file_size, 4);
    bool open = false;  // a start was seen in the current stretch
    std::uint64_t start = 0;
    auto close_stretch = [&](std::uint64_t stretch_end) {
        if (!open) return;
        std::uint64_t run = (stretch_end - start) / 4;
        if (run > kMaxTriangleRun) run = kMaxTriangleRun;
        if (run >= kMinTriangleRun && run > best.count) best = ScanHit{start, run};
        open = false;
    };
    std::uint64_t q = 16;
    for (; q + 4 <= end; q += 4) {
        std::size_t available;
        const unsigned char* word = window.at(q, &available);
        if (available < 4) break;
        std::uint32_t v = load_u32(word);
        if (!extends_run(v, position_count)) {
            close_stretch(q);
        } else if (!open && starts_run(v, position_count)) {
            open = true;
            start = q;
        }
    }
    close_stretch(q);
    return best;
}

}  // namespace zel
