#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/unit_fixtures.h"
#include "oracles/chain_walk_oracle.h"
#include "support/test_support.h"
#include "zelset.h"
#include "zelset/hash_index.h"

namespace {

using zel_test::OwnedUnit;
using zel_test::TempDir;
using zel_test::UnitInputs;

uint64_t id_word(const char (&id)[9]) {
    uint64_t w;
    std::memcpy(&w, id, 8);
    return w;
}

TEST(Lookups, KeysSharingABucketAreAllFound) {
    // Both keys fall into bucket 0; whichever was inserted first used to be
    // hidden by the other.
    ASSERT_EQ(zel_morton_hash(0x0000000100000001ull), zel_morton_hash(0));
    for (bool zero_last : {true, false}) {
        SCOPED_TRACE(zero_last);
        UnitInputs in(zero_last ? std::vector<uint64_t>{0x0000000100000001ull, 0}
                                : std::vector<uint64_t>{0, 0x0000000100000001ull});
        OwnedUnit u;
        ASSERT_EQ(in.create(u.get()), 0);
        EXPECT_EQ(zelset_lookup_morton(u.get(), 0), zero_last ? 1 : 0);
        EXPECT_EQ(zelset_lookup_morton(u.get(), 0x0000000100000001ull), zero_last ? 0 : 1);
        EXPECT_EQ(zelset_lookup_morton(u.get(), 0x0000000200000002ull), -1);  // same bucket, absent
        EXPECT_EQ(zelset_lookup_morton(u.get(), 5), -1);                    // empty bucket
    }
}

// Against a literal scan on units whose keys crowd into few buckets: the
// lookup finds the last position holding the key, or nothing.
TEST(Lookups, AgreeWithLastPositionScan) {
    std::mt19937_64 rng(3);
    std::vector<uint64_t> keys(4000);
    // key = (a << 32) | b lands in bucket (a ^ b) & 0x7FFFFF: small a and b
    // give a few dozen buckets with long chains and repeated keys.
    for (uint64_t& k : keys) k = ((rng() % 40) << 32) | (rng() % 40);
    UnitInputs in(keys);
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    for (uint64_t a = 0; a < 42; ++a) {
        for (uint64_t b = 0; b < 42; ++b) {
            const uint64_t key = (a << 32) | b;
            int32_t expected = -1;
            for (size_t i = 0; i < keys.size(); ++i) {
                if (keys[i] == key) expected = static_cast<int32_t>(i);
            }
            ASSERT_EQ(zelset_lookup_morton(u.get(), key), expected) << key;
        }
    }
    // Ids: every token's id finds that token (ids are unique here).
    for (size_t i = 0; i < keys.size(); i += 97) {
        ASSERT_EQ(zelset_lookup_hex(u.get(), reinterpret_cast<const char*>(&in.ids[i])), static_cast<int32_t>(i));
    }
}

TEST(Lookups, IdsCompareAllEightBytes) {
    UnitInputs in({1, 2, 3});
    in.ids[0] = id_word("0000002A");
    in.ids[1] = id_word("2A\0\0\0\0\0\0");
    in.ids[2] = id_word("2A\0\0\0\0\0X");  // hashes like "2A", differs in the padding
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    EXPECT_EQ(zelset_lookup_hex(u.get(), "0000002A"), 0);
    EXPECT_EQ(zelset_lookup_hex(u.get(), "2A\0\0\0\0\0\0"), 1);
    EXPECT_EQ(zelset_lookup_hex(u.get(), "2A\0\0\0\0\0X"), 2);
    EXPECT_EQ(zelset_lookup_hex(u.get(), "2A\0\0\0\0\0Y"), -1);
    EXPECT_EQ(zelset_lookup_hex(u.get(), "0000002B"), -1);
    EXPECT_EQ(zelset_lookup_hex(u.get(), nullptr), -1);
}

TEST(Lookups, DuplicateKeysFindTheNewest) {
    UnitInputs in({7, 9, 7, 7, 9});
    in.ids[4] = in.ids[1];
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    EXPECT_EQ(zelset_lookup_morton(u.get(), 7), 3);
    EXPECT_EQ(zelset_lookup_morton(u.get(), 9), 4);
    EXPECT_EQ(zelset_lookup_hex(u.get(), reinterpret_cast<const char*>(&in.ids[1])), 4);
}

TEST(Lookups, LatticeVertexKey) {
    UnitInputs in({0x0000000100020003ull, 0x0000FFFFFFFFFFFFull, 0x0001000100020003ull});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    EXPECT_EQ(zelset_query_lattice_vertex(u.get(), 1, 2, 3), 0);
    EXPECT_EQ(zelset_query_lattice_vertex(u.get(), 0xFFFF, 0xFFFF, 0xFFFF), 1);
    EXPECT_EQ(zelset_query_lattice_vertex(u.get(), 3, 2, 1), -1);
    EXPECT_EQ(zelset_query_lattice_vertex(nullptr, 1, 2, 3), -1);
}

TEST(Lookups, NullAndReleasedUnitsFindNothing) {
    UnitInputs in({4, 5, 6});
    in.layers = {1, 1, 1};
    zelset_t u{};
    ASSERT_EQ(in.create(&u), 0);
    zelset_free(&u);
    uint32_t idx[3];
    for (const zelset_t* unit : {static_cast<const zelset_t*>(nullptr), static_cast<const zelset_t*>(&u)}) {
        EXPECT_EQ(zelset_lookup_morton(unit, 4), -1);
        EXPECT_EQ(zelset_lookup_hex(unit, reinterpret_cast<const char*>(&in.ids[0])), -1);
        EXPECT_EQ(zelset_query_lattice_vertex(unit, 0, 0, 4), -1);
        EXPECT_EQ(zelset_query_layer(unit, 1, idx, 3), 0);
    }
}

// The bulk answers for words[0, n), checked to count what they found.
std::vector<int32_t> bulk_lookups(const zelset_t* unit, const std::vector<uint64_t>& words, size_t n, bool by_id) {
    std::vector<int32_t> positions(n + 1, 99);
    const auto count = static_cast<uint32_t>(n);
    const uint32_t found = by_id ? zelset_lookup_hex_many(unit, words.data(), count, positions.data())
                                 : zelset_lookup_morton_many(unit, words.data(), count, positions.data());
    EXPECT_EQ(positions[n], 99) << "wrote past the last position";
    positions.pop_back();
    EXPECT_EQ(found, static_cast<uint32_t>(std::count_if(positions.begin(), positions.end(), [](int32_t p) { return p >= 0; })));
    return positions;
}

std::vector<int32_t> single_lookups(const zelset_t* unit, const std::vector<uint64_t>& words, size_t n, bool by_id) {
    std::vector<int32_t> positions;
    for (size_t i = 0; i < n; ++i) {
        positions.push_back(by_id ? zelset_lookup_hex(unit, reinterpret_cast<const char*>(&words[i]))
                                  : zelset_lookup_morton(unit, words[i]));
    }
    return positions;
}

// An id of 0 to 8 characters from a few, one of them a high byte: ids repeat,
// share buckets, and take both the folded and the stepwise hash.
uint64_t short_id(std::mt19937_64& rng) {
    static const unsigned char kCharacters[] = {'A', 'B', '7', 0xC1};
    uint64_t word = 0;
    const unsigned length = rng() % 9;
    for (unsigned i = 0; i < length; ++i) word |= uint64_t{kCharacters[rng() % 4]} << (8 * i);
    return word;
}

// Keys (a << 32) | b land in bucket (a ^ b) & 0x7FFFFF: small halves crowd a
// few buckets with long chains and repeated keys. XOR-ing both halves with the
// same value keeps the bucket.
uint64_t crowded_key(std::mt19937_64& rng) { return ((rng() % 12) << 32) | (rng() % 12); }
uint64_t same_bucket_key(uint64_t key, uint64_t t) { return key ^ ((t << 32) | t); }
// The same bucket, a different id, unless the id has 8 characters.
uint64_t same_bucket_id(uint64_t id) { return id | (uint64_t{'Z'} << 56); }

struct Questions {
    std::vector<uint64_t> keys, ids;
};

// Every word the unit holds now, absent words of the same buckets and random
// words.
void ask_about(const zelset_t& u, std::mt19937_64& rng, Questions& q) {
    for (uint32_t i = 0; i < u.count; ++i) {
        const uint64_t key = u.tokens[i].morton;
        uint64_t id;
        std::memcpy(&id, u.tokens[i].hex_id, 8);
        q.keys.insert(q.keys.end(), {key, same_bucket_key(key, 16 + rng() % 4), rng()});
        q.ids.insert(q.ids.end(), {id, same_bucket_id(id), rng()});
    }
}

// Single and bulk lookups, every question, against the oracle; bulk answers
// also for prefixes that end inside a window.
void expect_chain_walk_answers(const zelset_t* unit, Questions q, std::mt19937_64& rng) {
    std::shuffle(q.keys.begin(), q.keys.end(), rng);
    std::shuffle(q.ids.begin(), q.ids.end(), rng);
    for (bool by_id : {false, true}) {
        const std::vector<uint64_t>& words = by_id ? q.ids : q.keys;
        std::vector<int32_t> expected;
        for (uint64_t w : words) {
            expected.push_back(by_id ? zel_oracle::chain_walk_id(*unit, w) : zel_oracle::chain_walk_key(*unit, w));
        }
        SCOPED_TRACE(by_id ? "ids" : "keys");
        ASSERT_EQ(single_lookups(unit, words, words.size(), by_id), expected);
        for (size_t prefix : {size_t{1}, size_t{33}, words.size()}) {
            const size_t n = std::min(prefix, words.size());
            ASSERT_EQ(bulk_lookups(unit, words, n, by_id), std::vector<int32_t>(expected.begin(), expected.begin() + n))
                << n;
        }
    }
}

// What a host may do to the tokens of a unit: apply_ilogic, a key moved to
// another of its bucket, another token's key or id copied, an id changed past
// its NUL. Old words stay among the questions.
void change_in_place(zelset_t& u, std::mt19937_64& rng) {
    for (uint32_t n = 0; n < u.count / 4 + 1; ++n) {
        zel_token_t& t = u.tokens[rng() % u.count];
        const zel_token_t& other = u.tokens[rng() % u.count];
        switch (rng() % 5) {
            case 0: zel_token_apply_ilogic(&t, rng() % 2 ? 2 : 3); break;
            case 1: t.morton = same_bucket_key(t.morton, rng() % 16); break;
            case 2: t.morton = uint64_t{other.morton}; break;
            case 3: std::memcpy(t.hex_id, other.hex_id, 8); break;
            case 4: {
                uint64_t id;
                std::memcpy(&id, t.hex_id, 8);
                id = same_bucket_id(id);
                std::memcpy(t.hex_id, &id, 8);
                break;
            }
        }
    }
}

// Units, created and loaded, whose keys and ids crowd into few buckets with
// long chains and many repeats, and one of spread keys: single and bulk
// lookups answer as the literal walk along the index, before and after tokens
// change in place, with a count lowered by hand and with chains cut short.
TEST(Lookups, AgreeWithTheChainWalk) {
    TempDir dir;
    std::mt19937_64 rng(5);
    for (uint32_t count : {1u, 2u, 33u, 700u, 3000u, 20000u}) {
        std::vector<uint64_t> keys(count);
        for (uint64_t& k : keys) k = count == 20000 ? rng() : crowded_key(rng);
        UnitInputs in(keys);
        if (count != 20000) {
            for (uint64_t& id : in.ids) id = short_id(rng);
        }
        for (bool loaded : {false, true}) {
            SCOPED_TRACE(testing::Message() << "count " << count << (loaded ? " loaded" : " created"));
            OwnedUnit u;
            ASSERT_EQ(in.create(u.get()), 0);
            if (loaded) {
                ASSERT_EQ(zelset_save(dir.file("u.zel").c_str(), u.get()), 0);
                zelset_free(u.get());
                ASSERT_EQ(zelset_load(dir.file("u.zel").c_str(), u.get()), 0);
            }
            Questions q;
            ask_about(u.unit, rng, q);
            expect_chain_walk_answers(u.get(), q, rng);

            change_in_place(u.unit, rng);
            ask_about(u.unit, rng, q);
            expect_chain_walk_answers(u.get(), q, rng);

            u->count = count - count / 3;
            expect_chain_walk_answers(u.get(), q, rng);
            u->count = count;

            // Chains cut short by hand: links past the entries end them.
            for (zel_hash_index_t* index : {u->morton_index, u->hex_index}) {
                for (uint32_t e = 5; e < index->entry_count; e += 11) index->entries[e].next = index->entry_count + e;
            }
            expect_chain_walk_answers(u.get(), q, rng);
        }
    }
}

TEST(BulkLookups, NullArgumentsAndReleasedUnits) {
    UnitInputs in({4, 5, 6});
    zelset_t u{};
    ASSERT_EQ(in.create(&u), 0);
    const std::vector<uint64_t> keys = {4, 6, 9};
    std::vector<int32_t> positions(3, 99);
    EXPECT_EQ(zelset_lookup_morton_many(&u, keys.data(), 3, positions.data()), 2u);
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 2, -1}));
    for (auto many : {zelset_lookup_morton_many, zelset_lookup_hex_many}) {
        positions.assign(3, 99);
        EXPECT_EQ(many(&u, keys.data(), 0, positions.data()), 0u);
        EXPECT_EQ(positions, (std::vector<int32_t>(3, 99)));  // nothing to answer
        EXPECT_EQ(many(&u, keys.data(), 3, nullptr), 0u);
        EXPECT_EQ(many(&u, nullptr, 3, positions.data()), 0u);
        EXPECT_EQ(positions, (std::vector<int32_t>(3, -1)));  // as a null id
    }
    zelset_free(&u);
    for (const zelset_t* unit : {static_cast<const zelset_t*>(nullptr), static_cast<const zelset_t*>(&u)}) {
        for (auto many : {zelset_lookup_morton_many, zelset_lookup_hex_many}) {
            positions.assign(3, 99);
            EXPECT_EQ(many(unit, in.ids.data(), 3, positions.data()), 0u);
            EXPECT_EQ(positions, (std::vector<int32_t>(3, -1)));
        }
    }
}

TEST(QueryLayer, AscendingPositionsUpToMax) {
    UnitInputs in({1, 2, 3, 4, 5, 6});
    in.layers = {5, 0, 1, 5, 5, 0};
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    uint32_t idx[6] = {99, 99, 99, 99, 99, 99};
    EXPECT_EQ(zelset_query_layer(u.get(), 5, idx, 2), 2);
    EXPECT_EQ(idx[0], 0u);
    EXPECT_EQ(idx[1], 3u);
    EXPECT_EQ(idx[2], 99u);  // max bounds the writes
    EXPECT_EQ(zelset_query_layer(u.get(), 5, idx, 6), 3);
    EXPECT_EQ(idx[2], 4u);
    EXPECT_EQ(zelset_query_layer(u.get(), 9, idx, 6), 0);
    idx[0] = 99;
    EXPECT_EQ(zelset_query_layer(u.get(), 5, idx, 0), 0);
    EXPECT_EQ(zelset_query_layer(u.get(), 5, idx, -3), 0);
    EXPECT_EQ(idx[0], 99u);
    EXPECT_EQ(zelset_query_layer(u.get(), 5, nullptr, 3), 0);
}

TEST(ApplyIlogic, StatesChangeKeyOrSignature) {
    zel_token_t t{};
    t.morton = 5;
    t.signature = 0x0102030405060708ull;
    zel_token_apply_ilogic(&t, 2);
    EXPECT_EQ(uint64_t{t.morton}, 11u);
    zel_token_apply_ilogic(&t, 3);
    EXPECT_EQ(uint64_t{t.morton}, 5u);
    zel_token_apply_ilogic(&t, -1);
    EXPECT_EQ(uint64_t{t.signature}, 0x0807060504030201ull);
    const zel_token_t before = t;
    for (int32_t state : {0, 1, 7, -2, 4}) zel_token_apply_ilogic(&t, state);
    EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
    t.morton = 0xFFFFFFFFFFFFFFFFull;
    zel_token_apply_ilogic(&t, 2);  // wraps: 2 * (2^64 - 1) + 1 = 2^64 - 1 mod 2^64
    EXPECT_EQ(uint64_t{t.morton}, 0xFFFFFFFFFFFFFFFFull);
    t.morton = 0x8000000000000001ull;
    zel_token_apply_ilogic(&t, 3);  // logical shift: no sign bit comes in
    EXPECT_EQ(uint64_t{t.morton}, 0x4000000000000000ull);
    zel_token_apply_ilogic(nullptr, 2);
}

TEST(ApplyIlogic, TokenInsideAUnitKeepsItsOldIndexEntry) {
    UnitInputs in({3, 0x1000000});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    zel_token_apply_ilogic(&u->tokens[0], 2);  // 3 -> 7: bucket 3 -> bucket 7
    EXPECT_EQ(zelset_lookup_morton(u.get(), 3), -1);
    EXPECT_EQ(zelset_lookup_morton(u.get(), 7), -1);
    zel_token_apply_ilogic(&u->tokens[0], 3);  // back to 3, in the bucket of its entry
    EXPECT_EQ(zelset_lookup_morton(u.get(), 3), 0);
    // 2^24 -> 2^23: both keep only zero bits below bit 23, so both hash to bucket 0.
    zel_token_apply_ilogic(&u->tokens[1], 3);
    EXPECT_EQ(zelset_lookup_morton(u.get(), 0x800000), 1);
    EXPECT_EQ(zelset_lookup_morton(u.get(), 0x1000000), -1);
}

}  // namespace
