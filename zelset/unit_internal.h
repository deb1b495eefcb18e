// Pieces of the token unit shared by creation and the unit file loader.
#pragma once

#include <cstdint>

#include "common/file_io.h"
#include "hash_index.h"
#include "zel_unit.h"

namespace zel {

// Most tokens a unit holds: lookups answer a position as an int32_t.
inline constexpr std::uint32_t kUnitMaxTokens = ZEL_UNIT_MAX_TOKENS;

// A token array of count tokens, or null. Lookups reach its tokens at random:
// it asks for large pages, whose few address translations stay cached.
zel_token_t* unit_alloc_tokens(std::uint32_t count);

enum class IndexBuild { kOk, kIndexFailed, kOrderFailed };

// Builds both hash indexes, with their lookup tables, and the order array
// over unit->tokens[0, count), count at most kUnitMaxTokens. kIndexFailed: the
// token array and every index part are released and the three references are
// null. kOrderFailed: the unit is released as by zelset_free.
IndexBuild unit_build_indexes(zelset_t* unit);

// An empty index with room for count entries and its empty lookup table
// (allocations: record, entries, bucket table, lookup table), or null; the
// parts obtained are released.
zel_hash_index_t* unit_create_index(std::uint32_t count);

// Inserts tokens [0, count) into an index from unit_create_index, and into
// its lookup table.
void unit_index_mortons(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);
void unit_index_ids(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);

// Buckets of a token in the two indexes.
inline std::uint32_t unit_key_bucket(const zel_token_t& token) { return zel_morton_hash(token.morton); }
inline std::uint32_t unit_id_bucket(const zel_token_t& token) {
    return zel_hex_hash_word(load_u64(reinterpret_cast<const unsigned char*>(token.hex_id)));
}

}  // namespace zel
