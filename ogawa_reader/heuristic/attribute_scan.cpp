#include "ogawa_reader/heuristic/attribute_scan.h"

#include "common/file_io.h"
#include "ogawa_reader/heuristic/scan_window.h"
#include "ogawa_reader/heuristic/word_tests.h"

namespace zel {
namespace {

// Calls visit(block) for each passing block in file order until it returns
// false.
template <class Visit>
void scan_attributes(std::FILE* f, std::int64_t file_size, const AttributeTest& test, Visit&& visit) {
    if (file_size < kMinAttributeFile) return;
    const std::size_t needed = 8 + 4 * static_cast<std::size_t>(test.words);
    ScanWindow window(f, file_size, needed);
    auto limit = static_cast<std::uint64_t>(file_size - 24);
    for (std::uint64_t p = 16; p < limit; p += 4) {
        std::size_t available;
        const unsigned char* bytes = window.at(p, &available);
        if (available < 8) break;
        std::uint64_t s = load_u64(bytes);
        if (s < test.min_size || s > test.max_size || s % test.multiple != 0) continue;
        if (available < needed || !all_finite_within(bytes + 8, 0, test.words - 1, test.limit)) continue;
        if (!visit(AttributeBlock{p + 8, s})) return;
    }
}

}  // namespace

AttributeBlock find_largest_attribute(std::FILE* f, std::int64_t file_size, const AttributeTest& test) {
    AttributeBlock best{};
    scan_attributes(f, file_size, test, [&](AttributeBlock b) {
        if (b.size > best.size) best = b;
        return true;
    });
    return best;
}

std::size_t find_attributes(std::FILE* f, std::int64_t file_size, const AttributeTest& test, AttributeBlock* found,
                            std::size_t capacity) {
    std::size_t n = 0;
    scan_attributes(f, file_size, test, [&](AttributeBlock b) {
        found[n++] = b;
        return n < capacity;
    });
    return n;
}

}  // namespace zel
