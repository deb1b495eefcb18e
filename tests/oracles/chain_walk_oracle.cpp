#include "oracles/chain_walk_oracle.h"

#include <cstring>

#include "oracles/id_hash_oracle.h"

namespace zel_oracle {

namespace {

template <class Holds>
std::int32_t walk(const zel_hash_index_t& index, std::uint32_t bucket, std::uint32_t count, Holds holds) {
    for (std::uint32_t e = index.buckets[bucket]; e < index.entry_count; e = index.entries[e].next) {
        const std::uint32_t i = index.entries[e].token_index;
        if (i < count && holds(i)) return static_cast<std::int32_t>(i);
    }
    return -1;
}

}  // namespace

std::int32_t chain_walk_key(const zelset_t& unit, std::uint64_t key) {
    const std::uint32_t bucket = static_cast<std::uint32_t>((key >> 32) ^ key) & 0x7FFFFFu;
    return walk(*unit.morton_index, bucket, unit.count, [&](std::uint32_t i) { return unit.tokens[i].morton == key; });
}

std::int32_t chain_walk_id(const zelset_t& unit, std::uint64_t id) {
    unsigned char bytes[8];
    for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(id >> (8 * b));
    return walk(*unit.hex_index, djb2_id_bucket(bytes), unit.count,
                [&](std::uint32_t i) { return std::memcmp(unit.tokens[i].hex_id, bytes, 8) == 0; });
}

}  // namespace zel_oracle
