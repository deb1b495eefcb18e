// Lookups as a literal walk along a unit's hash index: from the head of the
// asked word's bucket, link by link until one leads past the entries, the
// first entry whose token (the one it names, below count) holds the word now.
#pragma once

#include <cstdint>

#include "zelset.h"

namespace zel_oracle {

// Position of the token found by key (or by id: the word of its 8 bytes, first
// character lowest), or -1.
std::int32_t chain_walk_key(const zelset_t& unit, std::uint64_t key);
std::int32_t chain_walk_id(const zelset_t& unit, std::uint64_t id);

}  // namespace zel_oracle
