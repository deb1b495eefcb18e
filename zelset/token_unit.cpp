#include <cstdlib>
#include <cstring>

#include "common/alloc.h"
#include "common/file_io.h"
#include "hash_index.h"
#include "platform/platform.h"
#include "unit_internal.h"

namespace zel {

namespace {

// Inserts tokens [0, count) in order. Bucket heads of random keys miss the
// cache, so the head of the token `kAhead` places further on is fetched early.
// Every token gets its entry: the index has room for count.
template <class Bucket>
void index_tokens(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count, Bucket bucket) {
    constexpr std::uint32_t kAhead = 16;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i + kAhead < count) __builtin_prefetch(&index->buckets[bucket(tokens[i + kAhead])], 1);
        hash_index_insert(index, bucket(tokens[i]), i, count);
    }
}

}  // namespace

zel_token_t* unit_alloc_tokens(std::uint32_t count) {
    zel_token_t* tokens = alloc_array<zel_token_t>(count);
    if (tokens) advise_large_pages(tokens, sizeof(zel_token_t) * std::size_t{count});
    return tokens;
}

void unit_index_mortons(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count) {
    index_tokens(index, tokens, count, [](const zel_token_t& t) { return zel_morton_hash(t.morton); });
}

void unit_index_ids(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count) {
    index_tokens(index, tokens, count, [](const zel_token_t& t) {
        return zel_hex_hash_word(load_u64(reinterpret_cast<const unsigned char*>(t.hex_id)));
    });
}

IndexBuild unit_build_indexes(zelset_t* unit) {
    // Both indexes are attempted even when the first fails, as the failure
    // state is the same either way.
    unit->morton_index = hash_index_create(unit->count, unit->count);
    unit->hex_index = hash_index_create(unit->count, unit->count);
    if (!unit->morton_index || !unit->hex_index) {
        hash_index_destroy(unit->morton_index);
        hash_index_destroy(unit->hex_index);
        std::free(unit->tokens);
        unit->tokens = nullptr;
        unit->morton_index = nullptr;
        unit->hex_index = nullptr;
        return IndexBuild::kIndexFailed;
    }
    // Each index only depends on the order of its own insertions, so the two
    // are filled one after the other rather than interleaved.
    unit_index_mortons(unit->morton_index, unit->tokens, unit->count);
    unit_index_ids(unit->hex_index, unit->tokens, unit->count);

    unit->order = alloc_array<std::uint32_t>(unit->count);
    if (!unit->order) {
        zelset_free(unit);
        return IndexBuild::kOrderFailed;
    }
    for (std::uint32_t i = 0; i < unit->count; ++i) unit->order[i] = i;
    return IndexBuild::kOk;
}

}  // namespace zel

extern "C" {

ZEL_API int32_t zelset_create(zelset_t* unit, uint32_t count, const uint64_t* mortons,
                              const uint64_t* hex_ids, const uint64_t* signatures,
                              const uint8_t* layers) {
    if (!unit || count == 0 || !mortons || !hex_ids || !signatures || !layers) return -1;
    if (count > zel::kUnitMaxTokens) return -5;
    unit->version = 1;
    unit->count = count;
    unit->reserved = 0;

    unit->tokens = zel::unit_alloc_tokens(count);
    if (!unit->tokens) return -2;
    for (uint32_t i = 0; i < count; ++i) {
        zel_token_t& t = unit->tokens[i];
        t.morton = mortons[i];
        // The id word carries the first character in its lowest byte.
        zel::store_u64(reinterpret_cast<unsigned char*>(t.hex_id), hex_ids[i]);
        t.signature = signatures[i];
        t.layer = layers[i];
    }

    switch (zel::unit_build_indexes(unit)) {
        case zel::IndexBuild::kIndexFailed: return -3;
        case zel::IndexBuild::kOrderFailed: return -4;
        case zel::IndexBuild::kOk: break;
    }
    return 0;
}

ZEL_API void zelset_free(zelset_t* unit) {
    if (!unit) return;
    std::free(unit->tokens);
    zel::hash_index_destroy(unit->morton_index);
    zel::hash_index_destroy(unit->hex_index);
    std::free(unit->order);
    unit->tokens = nullptr;
    unit->morton_index = nullptr;
    unit->hex_index = nullptr;
    unit->order = nullptr;
}

ZEL_API uint32_t zelset_get_count(const zelset_t* unit) { return unit ? unit->count : 0; }

ZEL_API int32_t zelset_get_token(const zelset_t* unit, uint32_t index, uint64_t* morton,
                                 uint64_t* hex_id, uint8_t* layer) {
    if (!unit || !unit->tokens || index >= unit->count || !morton || !hex_id || !layer) return -1;
    const zel_token_t& t = unit->tokens[index];
    *morton = t.morton;
    *hex_id = zel::load_u64(reinterpret_cast<const unsigned char*>(t.hex_id));
    *layer = t.layer;
    return 0;
}

ZEL_API uint32_t zelset_get_all_tokens(const zelset_t* unit, uint64_t* mortons, uint64_t* hex_ids,
                                       uint8_t* layers) {
    if (!unit || !unit->tokens || unit->count == 0 || !mortons || !hex_ids || !layers) return 0;
    for (uint32_t i = 0; i < unit->count; ++i) {
        const zel_token_t& t = unit->tokens[i];
        mortons[i] = t.morton;
        hex_ids[i] = zel::load_u64(reinterpret_cast<const unsigned char*>(t.hex_id));
        layers[i] = t.layer;
    }
    return unit->count;
}

}  // extern "C"
