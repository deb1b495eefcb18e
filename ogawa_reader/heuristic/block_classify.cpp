#include "ogawa_reader/heuristic/block_classify.h"

#include "ogawa_reader/heuristic/word_tests.h"

namespace zel {
namespace {

constexpr std::uint64_t kPrefixBytes = 16;
constexpr std::uint64_t kSmallBlockLimit = 10'000;     // at most this: face counts only
constexpr std::uint64_t kMinFaceCountBlock = 1'000;    // exclusive
constexpr std::uint64_t kMaxFaceCountBlock = 499'999;  // above: face indices only
constexpr float kMaxDataMagnitude = 50'000.0f;
constexpr std::uint32_t kMaxFaceIndex = 99'999;
constexpr int kHeadBytes = 48;
constexpr int kIntegerTestBytes = 40; // w0..w9

void keep_if_larger(ChosenBlock* slot, std::uint64_t offset, std::uint64_t size) {
    if (size > slot->size) *slot = ChosenBlock{offset, size};
}

// Whether the first 16 bytes of a block of size s, whose first words are w,
// are a prefix rather than data.
bool looks_prefixed(const unsigned char* w, std::uint64_t s) {
    if (s <= kPrefixBytes) return false;
    int bad = 0;
    for (int i = 0; i < 4; ++i) bad += finite_within(word_f32(w, i), kMaxDataMagnitude) ? 0 : 1;
    if (bad >= 2) return true;
    std::uint64_t rest = s - kPrefixBytes;
    return s % 12 != 0 && rest % 12 == 0 && rest > kSmallBlockLimit &&
           all_finite_within(w, 4, 9, kMaxDataMagnitude) && largest_magnitude(w, 4, 9) > 1.5f;
}

bool face_count_like(const unsigned char* w) {
    int in_range = 0;
    for (int i = 0; i < 10; ++i) {
        std::uint32_t v = word_u32(w, i);
        in_range += (v >= 3 && v <= 8) ? 1 : 0;
    }
    return in_range >= 8;
}

bool face_index_like(const unsigned char* w) {
    int changes = 0;
    for (int i = 0; i < 10; ++i) {
        if (word_u32(w, i) > kMaxFaceIndex) return false;
        if (i > 0 && word_u32(w, i) != word_u32(w, i - 1)) ++changes;
    }
    return changes >= 5;
}

void classify_one(CachedReader& reader, ogawa_data_node_t node, BlockPrefix prefix, ChosenBlocks* best) {
    // The 48 bytes at the payload and, after a prefix, the 48 from 16 bytes
    // further on: one read covers both.
    unsigned char head[kPrefixBytes + kHeadBytes];
    std::size_t got = reader.read(node.offset, head, sizeof head);
    if (got < kHeadBytes) return;
    std::uint64_t o = node.offset;
    std::uint64_t s = node.size;
    const unsigned char* w = head;
    if (prefix == BlockPrefix::kKeyed ? s > kPrefixBytes : looks_prefixed(w, s)) {
        o += kPrefixBytes;
        s -= kPrefixBytes;
        w += kPrefixBytes;
        got -= kPrefixBytes;
    }
    bool integers_read = got >= kIntegerTestBytes;
    if (s <= kSmallBlockLimit) {
        if (s > kMinFaceCountBlock && s % 4 == 0 && integers_read && face_count_like(w)) {
            keep_if_larger(&best->face_counts, o, s);
        }
        return;
    }
    if (s % 12 == 0 && all_finite_within(w, 0, 5, kMaxDataMagnitude)) {
        float m = largest_magnitude(w, 0, 5);
        if (m > 1.5f) keep_if_larger(&best->positions, o, s);
        // Small integers read as floats are tiny: only unit vectors are normals.
        if (m <= 1.1f && unit_length(word_f32(w, 0), word_f32(w, 1), word_f32(w, 2)) &&
            unit_length(word_f32(w, 3), word_f32(w, 4), word_f32(w, 5))) {
            keep_if_larger(&best->normals, o, s);
        }
    }
    if (s % 4 != 0 || !integers_read) return;
    if (s <= kMaxFaceCountBlock && face_count_like(w)) keep_if_larger(&best->face_counts, o, s);
    if (face_index_like(w)) keep_if_larger(&best->face_indices, o, s);
}

}  // namespace

ChosenBlocks classify_blocks(CachedReader& reader, const ogawa_data_node_t* nodes, std::uint32_t count,
                             BlockPrefix prefix) {
    ChosenBlocks best{};
    for (std::uint32_t i = 0; i < count; ++i) classify_one(reader, nodes[i], prefix, &best);
    return best;
}

}  // namespace zel
