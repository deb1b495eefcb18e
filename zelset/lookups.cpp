// Exact lookups by key and by id through the lookup tables kept with the
// unit's hash indexes, one at a time or many in one call.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "common/file_io.h"
#include "hash_index.h"
#include "lookup_table.h"

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

// The lookup table of the index a probe uses, or null for a null or released
// unit.
template <class Probe>
const LookupTable* probed_table(const zelset_t* unit) {
    if (!unit || !unit->tokens) return nullptr;
    const zel_hash_index_t* index = unit->*Probe::kIndex;
    return index ? &record_of(index)->lookup : nullptr;
}

template <class Probe>
void prefetch_field(const zel_token_t* token) {
    // A 25-byte stride lets a field straddle two cache lines.
    const char* field = reinterpret_cast<const char*>(token) + Probe::kFieldOffset;
    __builtin_prefetch(field);
    __builtin_prefetch(field + 7);
}

// Position of the newest token of word's bucket that holds word, or -1: the
// answer of the walk along the bucket's chain. Positions stay below
// kUnitMaxTokens and fit the signed result. The unit holds tokens.
//
// Most buckets lie in a home group that is not full, and their newest entry
// decides: it holds the word, or it is the bucket's only entry, or there is
// none. Those answers take no branch on the token read, so lookups one after
// another overlap their cache misses. The others fetch the tokens of every
// entry in the home group at once, then take the walk.
template <class Probe>
std::int32_t find_word(const LookupTable& table, const zel_token_t* tokens, std::uint32_t count, std::uint64_t word) {
    const std::uint32_t bucket = Probe::bucket(word);
    const std::uint32_t tag = lookup_tag(bucket);
    const LookupGroup& group = table.groups[lookup_home(table, tag)];
    const std::uint32_t mask = group_matches(group, tag);
    // Without an entry, slot 0 stands in; it reads token 0.
    const std::uint32_t newest = group.positions[newest_slot(mask | 1u)];
    const bool live = mask != 0 && newest < count;
    const bool hit = Probe::matches(tokens[live ? newest : 0], word) & live;
    if (!group_full(group) && (hit || (mask & (mask - 1)) == 0)) return hit ? static_cast<std::int32_t>(newest) : -1;
    for (std::uint32_t m = mask; m != 0; m &= m - 1) {
        const std::uint32_t i = group.positions[std::countr_zero(m)];
        if (i < count) prefetch_field<Probe>(&tokens[i]);
    }
    const std::uint32_t found = lookup_table_find(table, bucket, [&](std::uint32_t i) {
        return i < count && Probe::matches(tokens[i], word);
    });
    return found == ZEL_NONE ? -1 : static_cast<std::int32_t>(found);
}

template <class Probe>
std::int32_t lookup_one(const zelset_t* unit, std::uint64_t word) {
    const LookupTable* table = probed_table<Probe>(unit);
    return table && unit->count > 0 ? find_word<Probe>(*table, unit->tokens, unit->count, word) : -1;
}

// Lookups of one window in flight together: a pass that fetches the home
// group of every word, a pass that fetches the tokens of the entries there,
// then the answers, from the cache. The misses of the whole window overlap
// instead of following one another.
constexpr std::uint32_t kWindow = 32;

// Answers words[0, n) into positions, n <= kWindow, exactly as lookup_one
// would. Returns the number found.
template <class Probe>
std::uint32_t lookup_window(const LookupTable& table, const zel_token_t* tokens, std::uint32_t count,
                            const std::uint64_t* words, std::uint32_t n, std::int32_t* positions) {
    const LookupGroup* home[kWindow];
    std::uint32_t tag[kWindow];
    for (std::uint32_t j = 0; j < n; ++j) {
        tag[j] = lookup_tag(Probe::bucket(words[j]));
        home[j] = &table.groups[lookup_home(table, tag[j])];
        __builtin_prefetch(home[j]);
    }
    for (std::uint32_t j = 0; j < n; ++j) {
        const LookupGroup& group = *home[j];
        for (std::uint32_t mask = group_matches(group, tag[j]); mask != 0; mask &= mask - 1) {
            const std::uint32_t i = group.positions[std::countr_zero(mask)];
            if (i < count) prefetch_field<Probe>(&tokens[i]);
        }
        if (group_full(group)) __builtin_prefetch(&table.groups[lookup_next(table, lookup_home(table, tag[j]))]);
    }
    std::uint32_t found = 0;
    for (std::uint32_t j = 0; j < n; ++j) {
        positions[j] = find_word<Probe>(table, tokens, count, words[j]);
        found += positions[j] >= 0;
    }
    return found;
}

template <class Probe>
std::uint32_t lookup_many(const zelset_t* unit, const std::uint64_t* words, std::uint32_t count,
                          std::int32_t* positions) {
    if (!positions) return 0;
    const LookupTable* table = probed_table<Probe>(unit);
    if (!table || !words || unit->count == 0) {
        std::fill(positions, positions + count, -1);
        return 0;
    }
    std::uint32_t found = 0;
    for (std::uint32_t start = 0; start < count; start += kWindow) {
        const std::uint32_t n = std::min(kWindow, count - start);
        found += lookup_window<Probe>(*table, unit->tokens, unit->count, words + start, n, positions + start);
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
