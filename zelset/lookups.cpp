// Exact lookups by key and by id through the unit's hash indexes, one at a time
// or many in one call.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/file_io.h"
#include "hash_index.h"

namespace zel {

namespace {

// Lookups by spatial key, through morton_index.
struct KeyProbe {
    static constexpr zel_hash_index_t* zelset_t::*kIndex = &zelset_t::morton_index;
    static constexpr std::size_t kFieldOffset = offsetof(zel_token_t, morton);
    static std::uint32_t bucket(std::uint64_t key) { return zel_morton_hash(key); }
    static bool matches(const zel_token_t& token, std::uint64_t key) { return token.morton == key; }
};

// Lookups by id, through hex_index. The id travels as the word of its 8 bytes,
// first character lowest, so one comparison covers all 8, NUL padding included.
struct IdProbe {
    static constexpr zel_hash_index_t* zelset_t::*kIndex = &zelset_t::hex_index;
    static constexpr std::size_t kFieldOffset = offsetof(zel_token_t, hex_id);
    static std::uint32_t bucket(std::uint64_t id) { return zel_hex_hash_word(id); }
    static bool matches(const zel_token_t& token, std::uint64_t id) {
        return load_u64(reinterpret_cast<const unsigned char*>(token.hex_id)) == id;
    }
};

// The index a probe walks, or null for a null or released unit.
template <class Probe>
const zel_hash_index_t* probed_index(const zelset_t* unit) {
    return unit && unit->tokens ? unit->*Probe::kIndex : nullptr;
}

// Chains of an index this full average more than half an entry beyond their
// head: a walk fetches each entry's link together with its token.
bool crowded(const zel_hash_index_t& index) { return index.entry_count > kHashBuckets / 2; }

// Position of the token holding `word` on its bucket's chain, newest entry
// first, or -1. Entry e of a unit's index is token e's (see zel_unit.h): the
// walk reads the token at e straight from the head or link, and the entry only
// for its link. Where chains are long, that link is fetched together with the
// token. Every position is below ZEL_UNIT_MAX_TOKENS and fits the signed
// result.
template <class Probe>
std::int32_t lookup_one(const zelset_t* unit, std::uint64_t word) {
    const zel_hash_index_t* index = probed_index<Probe>(unit);
    if (!index) return -1;
    const bool fetch_links = crowded(*index);
    for (std::uint32_t e = index->buckets[Probe::bucket(word)]; e < index->entry_count; e = index->entries[e].next) {
        if (fetch_links) __builtin_prefetch(&index->entries[e]);
        if (e < unit->count && Probe::matches(unit->tokens[e], word)) return static_cast<std::int32_t>(e);
    }
    return -1;
}

// Lookups of one window in flight together. Each pass over the window touches
// one array per lookup and prefetches what the next pass reads, so the cache
// misses of the whole window overlap instead of following one another.
constexpr std::uint32_t kWindow = 64;

template <class Probe>
void prefetch_field(const zel_token_t* token) {
    // A 25-byte stride lets a field straddle two cache lines.
    const char* field = reinterpret_cast<const char*>(token) + Probe::kFieldOffset;
    __builtin_prefetch(field);
    __builtin_prefetch(field + 7);
}

// Answers words[0, n) into positions, n <= kWindow, exactly as lookup_one
// would: the walk from each bucket head, newest entry first, stops at the
// first token holding the word. Returns the number found.
template <class Probe>
std::uint32_t lookup_window(const zelset_t& unit, const zel_hash_index_t& index, const std::uint64_t* words,
                            std::uint32_t n, std::int32_t* positions) {
    std::uint32_t cursor[kWindow];  // a bucket, then the entry to examine next
    std::uint32_t lane[kWindow];    // which word an active cursor belongs to
    const bool fetch_links = crowded(index);
    // What the examination of entry e reads: its token, and maybe its link.
    auto reach = [&](std::uint32_t e) {
        if (e < unit.count) prefetch_field<Probe>(&unit.tokens[e]);
        if (fetch_links) __builtin_prefetch(&index.entries[e]);
    };
    for (std::uint32_t j = 0; j < n; ++j) {
        cursor[j] = Probe::bucket(words[j]);
        __builtin_prefetch(&index.buckets[cursor[j]]);
    }
    std::uint32_t active = 0;
    for (std::uint32_t j = 0; j < n; ++j) {
        positions[j] = -1;
        const std::uint32_t head = index.buckets[cursor[j]];
        if (head >= index.entry_count) continue;
        reach(head);
        cursor[active] = head;
        lane[active++] = j;
    }
    std::uint32_t found = 0;
    // One link of every unfinished chain per round; most end in the first.
    while (active > 0) {
        std::uint32_t missed = 0;
        for (std::uint32_t a = 0; a < active; ++a) {
            const std::uint32_t e = cursor[a];
            if (e < unit.count && Probe::matches(unit.tokens[e], words[lane[a]])) {
                positions[lane[a]] = static_cast<std::int32_t>(e);
                ++found;
                continue;
            }
            if (!fetch_links) __builtin_prefetch(&index.entries[e]);
            cursor[missed] = e;
            lane[missed++] = lane[a];
        }
        active = 0;
        for (std::uint32_t a = 0; a < missed; ++a) {
            const std::uint32_t next = index.entries[cursor[a]].next;
            if (next >= index.entry_count) continue;
            reach(next);
            cursor[active] = next;
            lane[active++] = lane[a];
        }
    }
    return found;
}

template <class Probe>
std::uint32_t lookup_many(const zelset_t* unit, const std::uint64_t* words, std::uint32_t count,
                          std::int32_t* positions) {
    if (!positions) return 0;
    const zel_hash_index_t* index = probed_index<Probe>(unit);
    if (!index || !words) {
        std::fill(positions, positions + count, -1);
        return 0;
    }
    std::uint32_t found = 0;
    for (std::uint32_t start = 0; start < count; start += kWindow) {
        const std::uint32_t n = std::min(kWindow, count - start);
        found += lookup_window<Probe>(*unit, *index, words + start, n, positions + start);
    }
    return found;
}

}  // namespace

}  // namespace zel

extern "C" {

ZEL_API int32_t zelset_lookup_morton(const zelset_t* unit, uint64_t key) {
    return zel::lookup_one<zel::KeyProbe>(unit, key);
}

ZEL_API int32_t zelset_lookup_hex(const zelset_t* unit, const char* id) {
    if (!id) return -1;
    return zel::lookup_one<zel::IdProbe>(unit, zel::load_u64(reinterpret_cast<const unsigned char*>(id)));
}

ZEL_API int32_t zelset_query_lattice_vertex(const zelset_t* unit, uint16_t x, uint16_t y, uint16_t z) {
    uint64_t key = (static_cast<uint64_t>(x) << 32) | (static_cast<uint64_t>(y) << 16) | z;
    return zel::lookup_one<zel::KeyProbe>(unit, key);
}

ZEL_API uint32_t zelset_lookup_morton_many(const zelset_t* unit, const uint64_t* keys, uint32_t count,
                                           int32_t* positions) {
    return zel::lookup_many<zel::KeyProbe>(unit, keys, count, positions);
}

ZEL_API uint32_t zelset_lookup_hex_many(const zelset_t* unit, const uint64_t* ids, uint32_t count,
                                        int32_t* positions) {
    return zel::lookup_many<zel::IdProbe>(unit, ids, count, positions);
}

}  // extern "C"
