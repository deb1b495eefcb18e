// Loads arbitrary bytes as a unit file, then runs every query on the unit and
// checks what must hold whatever the bytes: sorted keys, lookups that find
// each key they are asked, bulk lookups that answer as the single ones,
// nearest results in ascending distance, a save that loads back to the same
// tokens.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "zelset.h"

namespace {

using zel_fuzz::require;

uint64_t word_at(const uint8_t* data, size_t size, size_t at) {
    uint64_t w = 0;
    for (size_t i = 0; i < 8 && at + i < size; ++i) w |= uint64_t{data[at + i]} << (8 * i);
    return w;
}

void check_lookups(const zelset_t& unit) {
    const uint32_t probes = unit.count < 64 ? unit.count : 64;
    for (uint32_t i = 0; i < probes; ++i) {
        const zel_token_t& t = unit.tokens[i];
        int32_t p = zelset_lookup_morton(&unit, t.morton);
        require(p >= 0 && static_cast<uint32_t>(p) < unit.count && unit.tokens[p].morton == t.morton);
        p = zelset_lookup_hex(&unit, t.hex_id);
        require(p >= 0 && std::memcmp(unit.tokens[p].hex_id, t.hex_id, 8) == 0);
        p = zelset_query_lattice_vertex(&unit, static_cast<uint16_t>(t.morton >> 32),
                                        static_cast<uint16_t>(t.morton >> 16), static_cast<uint16_t>(t.morton));
        require(p == -1 || (unit.tokens[p].morton & 0x0000FFFFFFFFFFFFull) == unit.tokens[p].morton);
    }
}

// The bulk lookups answer every word as the single lookups do: each token's
// key and id, and a neighbour of each that the unit may lack.
void check_bulk_lookups(const zelset_t& unit) {
    std::vector<uint64_t> keys, ids;
    for (uint32_t i = 0; i < unit.count; ++i) {
        const zel_token_t& t = unit.tokens[i];
        uint64_t id;
        std::memcpy(&id, t.hex_id, 8);
        keys.insert(keys.end(), {t.morton, t.morton + 1});
        ids.insert(ids.end(), {id, id ^ (uint64_t{1} << 56)});
    }
    const auto n = static_cast<uint32_t>(keys.size());
    std::vector<int32_t> by_key(n), by_id(n);
    const uint32_t keys_found = zelset_lookup_morton_many(&unit, keys.data(), n, by_key.data());
    const uint32_t ids_found = zelset_lookup_hex_many(&unit, ids.data(), n, by_id.data());
    uint32_t keys_expected = 0, ids_expected = 0;
    for (uint32_t i = 0; i < n; ++i) {
        require(by_key[i] == zelset_lookup_morton(&unit, keys[i]));
        require(by_id[i] == zelset_lookup_hex(&unit, reinterpret_cast<const char*>(&ids[i])));
        keys_expected += by_key[i] >= 0;
        ids_expected += by_id[i] >= 0;
    }
    require(keys_found == keys_expected && ids_found == ids_expected);
}

void check_nearest(const zelset_t& unit, uint64_t target, int32_t k) {
    const size_t room = k > 0 ? static_cast<size_t>(k) : 1;
    std::vector<uint32_t> idx(room);
    std::vector<uint64_t> dist(room);
    int32_t n = zelset_query_nearest(&unit, target, k, idx.data(), dist.data());
    require(n >= 0 && n <= (k > 0 ? k : 0) && static_cast<uint32_t>(n) <= unit.count);
    for (int32_t j = 0; j < n; ++j) {
        require(idx[j] < unit.count);
        uint64_t key = unit.tokens[idx[j]].morton;
#ifndef ZELSET_NEXT
        require(dist[j] == srl_hop_distance(key, target));
#endif
        (void)key;
        if (j > 0) require(dist[j - 1] <= dist[j]);
    }
}

void check_round_trip(const zelset_t& unit) {
    static const zel_fuzz::ScratchFile saved("unit_saved.zel");
    int32_t rc = zelset_save(saved.path(), &unit);
    if (unit.count == 0) {
        require(rc == -1);
        return;
    }
    require(rc == 0);
    zelset_t again{};
    require(zelset_load(saved.path(), &again) == 0);
    require(again.count == unit.count && again.version == unit.version && again.reserved == unit.reserved);
    for (uint32_t i = 0; i < unit.count; ++i) require(again.tokens[i].morton == unit.tokens[i].morton);
    zelset_free(&again);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const zel_fuzz::ScratchFile input("unit_input.zel");
    input.write(data, size);
    zelset_t unit{};
    int32_t rc = zelset_load(input.path(), &unit);
    require(rc <= 0 && rc >= -6);
    if (rc != 0) {
        require(rc != -1);  // the file exists
        require((rc == -2) == (size < 24));
        zelset_free(&unit);
        return 0;
    }
    require(unit.count <= (size - 24) / 25);
    for (uint32_t i = 1; i < unit.count; ++i) require(unit.tokens[i - 1].morton <= unit.tokens[i].morton);

    check_lookups(unit);
    check_bulk_lookups(unit);
    const uint64_t target = word_at(data, size, 4);
    const auto k = static_cast<int32_t>(word_at(data, size, 12) % 300) - 2;
    check_nearest(unit, target, k);
    check_nearest(unit, ~target, 1);
    if (unit.count > 0) check_nearest(unit, unit.tokens[unit.count / 2].morton, 16);

    std::vector<uint32_t> positions(unit.count + 1);
    int32_t found = zelset_query_layer(&unit, data[size - 1], positions.data(), static_cast<int32_t>(unit.count));
    for (int32_t j = 0; j < found; ++j) {
        require(unit.tokens[positions[j]].layer == data[size - 1]);
        if (j > 0) require(positions[j - 1] < positions[j]);
    }
    if (unit.count > 0) {
        zel_token_t copy = unit.tokens[0];
        zel_token_apply_ilogic(&copy, static_cast<int32_t>(data[size - 1] % 5) - 1);
    }
    check_round_trip(unit);
    zelset_free(&unit);
    return 0;
}
