// Sizes of the library's fixed tables: the buckets of every hash table (the
// token unit's and the agent directory's indexes, the token archive's table),
// the agent directory's slots and the direct table of the archive's index.
//
// The fuzz targets link a static build made with ZEL_FUZZ_SMALL_TABLES, where
// the tables are small: filling 32 MiB of bucket heads and 2.5 MiB of agent
// slots for every input would cost far more than the rest of the input's
// work, and tables of 16 KiB and 40 KiB stay in the sanitizer's ordinary
// allocator, which maps anything above 128 KiB afresh. The code is the same;
// chains grow longer, and a small input can fill the directory.
#pragma once

#include <bit>
#include <cstdint>

#include "zel_agent.h"
#include "zel_unit.h"

namespace zel {

#ifdef ZEL_FUZZ_SMALL_TABLES
#ifdef ZEL_BUILDING
#error "ZEL_FUZZ_SMALL_TABLES is for the fuzz targets' static build; the shared libraries keep the full tables"
#endif
inline constexpr std::uint32_t kHashBuckets = 4096;
inline constexpr std::uint32_t kAgentSlots = 1024;
inline constexpr std::uint32_t kArchiveDirectKeys = 256;
#else
inline constexpr std::uint32_t kHashBuckets = ZEL_HASH_BUCKETS;
inline constexpr std::uint32_t kAgentSlots = ZEL_AGENT_SLOTS;
// Keys the token archive's index resolves through a direct table: every
// Morton code of the 48-cubed lattice (three 6-bit coordinates) lies below.
inline constexpr std::uint32_t kArchiveDirectKeys = 1u << 18;
#endif

static_assert(std::has_single_bit(kHashBuckets) && kHashBuckets <= ZEL_HASH_BUCKETS);
static_assert(kAgentSlots <= ZEL_AGENT_SLOTS);
inline constexpr std::uint32_t kHashMask = kHashBuckets - 1;

}  // namespace zel
