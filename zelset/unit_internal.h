// Pieces of the token unit shared by creation and the unit file loader.
#pragma once

#include <cstdint>

#include "zel_unit.h"

namespace zel {

// Most entries an index of a unit takes; tokens past it are not indexed.
inline constexpr std::uint32_t kUnitIndexCapacity = ZEL_HASH_BUCKETS;

enum class IndexBuild { kOk, kIndexFailed, kOrderFailed };

// Builds both hash indexes and the order array over unit->tokens[0, count).
// kIndexFailed: the token array and every index part are released and the
// three references are null. kOrderFailed: the unit is released as by
// zelset_free.
IndexBuild unit_build_indexes(zelset_t* unit);

// Inserts tokens [0, count) into an index that has room for them.
void unit_index_mortons(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);
void unit_index_ids(zel_hash_index_t* index, const zel_token_t* tokens, std::uint32_t count);

}  // namespace zel
