// Pieces of the token unit shared by creation and the unit file loader.
#pragma once

#include <cstdint>

#include "zel_unit.h"

namespace zel {

// Most tokens a unit holds: lookups answer a position as an int32_t.
inline constexpr std::uint32_t kUnitMaxTokens = ZEL_UNIT_MAX_TOKENS;

// A token array of count tokens, or null. Lookups reach its tokens at random:
// it asks for large pages, whose few address translations stay cached.
zel_token_t* unit_alloc_tokens(std::uint32_t count);

enum class IndexBuild { kOk, kIndexFailed, kOrderFailed };

// Builds both hash indexes and the order array over unit->tokens[0, count),
// count at most kUnitMaxTokens: token i is entry i of each index, which the
// lookups rely on. kIndexFailed: the token array and every index part are
// released and the three references are null. kOrderFailed: the unit is
// released as by zelset_free.
IndexBuild unit_build_indexes(zelset_t* unit);

// Inserts tokens [0, count) into an index with room for count entries.
void unit_index_mortons(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);
void unit_index_ids(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);

}  // namespace zel
