// Units and unit files for the tests of loading, saving and querying.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "zelset.h"

namespace zel_test {

// Parallel input arrays of zelset_create. Token i gets id "T" and seven
// digits of i, signature 0x5160000000000000 + i and layer i % 7 unless set.
struct UnitInputs {
    std::vector<uint64_t> mortons, ids, signatures;
    std::vector<uint8_t> layers;

    explicit UnitInputs(std::vector<uint64_t> keys) : mortons(std::move(keys)) {
        for (size_t i = 0; i < mortons.size(); ++i) {
            char id[24];
            std::snprintf(id, sizeof id, "T%07u", static_cast<unsigned>(i % 10000000));
            uint64_t word = 0;
            std::memcpy(&word, id, 8);
            ids.push_back(word);
            signatures.push_back(0x5160000000000000ull + i);
            layers.push_back(static_cast<uint8_t>(i % 7));
        }
    }
    int32_t create(zelset_t* unit) const {
        return zelset_create(unit, static_cast<uint32_t>(mortons.size()), mortons.data(), ids.data(),
                             signatures.data(), layers.data());
    }
};

// A unit released when it goes out of scope.
struct OwnedUnit {
    zelset_t unit{};
    OwnedUnit() = default;
    OwnedUnit(const OwnedUnit&) = delete;
    OwnedUnit& operator=(const OwnedUnit&) = delete;
    ~OwnedUnit() { zelset_free(&unit); }
    zelset_t* operator->() { return &unit; }
    zelset_t* get() { return &unit; }
};

inline void put_u32(std::vector<unsigned char>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline void put_u64(std::vector<unsigned char>& out, uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
inline uint32_t get_u32(const std::vector<unsigned char>& in, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(in.at(at + i)) << (8 * i);
    return v;
}
inline uint64_t get_u64(const std::vector<unsigned char>& in, size_t at) {
    return get_u32(in, at) | (static_cast<uint64_t>(get_u32(in, at + 4)) << 32);
}

// The 24 header bytes of a unit file, written out by hand.
inline std::vector<unsigned char> unit_header(uint32_t version, uint32_t count, uint32_t reserved,
                                              int64_t timestamp = 0, const char* magic = "ZEL") {
    std::vector<unsigned char> out(magic, magic + 3);
    out.push_back(0);
    put_u32(out, version);
    put_u32(out, count);
    put_u32(out, reserved);
    put_u64(out, static_cast<uint64_t>(timestamp));
    return out;
}

// Appends one 25-byte record.
inline void append_record(std::vector<unsigned char>& out, uint64_t key, const char (&id)[9],
                          uint64_t signature, uint8_t layer) {
    put_u64(out, key);
    out.insert(out.end(), id, id + 8);
    put_u64(out, signature);
    out.push_back(layer);
}

}  // namespace zel_test
