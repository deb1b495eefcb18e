#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "core/unit_fixtures.h"
#include "oracles/id_hash_oracle.h"
#include "support/alloc_failure.h"
#include "zelset.h"
#include "zelset/hash_index.h"

namespace {

uint64_t id_word(const char* text) {
    // The id word carries the first character in its lowest byte.
    uint64_t w = 0;
    for (int i = 0; i < 8 && text[i]; ++i) w |= static_cast<uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    return w;
}

struct Arrays {
    std::vector<uint64_t> mortons, ids, signatures;
    std::vector<uint8_t> layers;
    explicit Arrays(std::vector<uint64_t> keys) : mortons(std::move(keys)) {
        for (size_t i = 0; i < mortons.size(); ++i) {
            ids.push_back(0x3030303030303030ull + i);
            signatures.push_back(0xA0A0A0A000000000ull | i);
            layers.push_back(static_cast<uint8_t>(i % 7));
        }
    }
    int32_t create(zelset_t* unit) const {
        return zelset_create(unit, static_cast<uint32_t>(mortons.size()), mortons.data(), ids.data(),
                             signatures.data(), layers.data());
    }
};

// Packed fields are copied (uint64_t{...}) before gtest binds them to references.

// A unit whose references hold recognisable garbage, to see which ones a
// failing call touched.
zelset_t sentinel_unit() {
    zelset_t u;
    std::memset(&u, 0x5A, sizeof u);
    return u;
}
const uintptr_t kSentinel = static_cast<uintptr_t>(0x5A5A5A5A5A5A5A5Aull);
bool untouched(const void* p) { return reinterpret_cast<uintptr_t>(p) == kSentinel; }

TEST(BucketFunctions, IdHashValues) {
    EXPECT_EQ(zel_hex_hash("abc"), 547979u);  // ((5381*33+97)*33+98)*33+99 mod 2^23
    EXPECT_EQ(zel_hex_hash("\0BCDEFGH"), 5381u);
    EXPECT_EQ(zel_hex_hash("\xFF"), 177572u);  // 5381*33 - 1: the byte counts as -1
    EXPECT_EQ(zel_hex_hash("ABCDEFGH"), zel_hex_hash("ABCDEFGHIJ"));
    EXPECT_NE(zel_hex_hash("ABCDEFG"), zel_hex_hash("ABCDEFGH"));
    EXPECT_EQ(zel_hex_hash("2A9E1000"), 697015u);
    EXPECT_EQ(zel_hex_hash("2A9E0000"), 661078u);
    EXPECT_EQ(zel_hex_hash(""), 5381u);
}

// The word form against the literal loop, over ids of every length with bytes
// of the whole range: eight characters take the folded sum, shorter ids the
// steps. The fixed words push every lane of the fold to its extremes.
TEST(BucketFunctions, IdHashOfAWordAgreesWithTheLiteralLoop) {
    std::vector<uint64_t> words = {0x8080808080808080ull, 0xFFFFFFFFFFFFFFFFull, 0x7F7F7F7F7F7F7F7Full,
                                   0x0101010101010101ull, 0x81FF7F0180FE7E02ull, id_word("ABCDEFGH")};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 300000; ++i) {
        uint64_t word = rng();
        const unsigned length = rng() % 16;  // 8 or more: no NUL placed
        if (length < 8) word &= ~(uint64_t{0xFF} << (8 * length));
        words.push_back(word);
    }
    for (uint64_t word : words) {
        unsigned char bytes[8];
        for (int b = 0; b < 8; ++b) bytes[b] = static_cast<unsigned char>(word >> (8 * b));
        const uint32_t literal = zel_oracle::djb2_id_bucket(bytes);
        ASSERT_EQ(zel_hex_hash_word(word), literal) << std::hex << word;
        ASSERT_EQ(zel_hex_hash(reinterpret_cast<const char*>(bytes)), literal) << std::hex << word;
    }
}

TEST(BucketFunctions, KeyHashValues) {
    EXPECT_EQ(zel_morton_hash(0x0000000100000001ull), 0u);
    EXPECT_EQ(zel_morton_hash(0x0000000000800000ull), 0u);
    EXPECT_EQ(zel_morton_hash(0x1234567890ABCDEFull), 0x1F9B97u);  // 0x12345678 ^ 0x90ABCDEF = 0x829F9B97
    EXPECT_EQ(zel_morton_hash(0xFFFFFFFFFFFFFFFFull), 0u);
    EXPECT_EQ(zel_morton_hash(0x00000000007FFFFFull), 0x7FFFFFu);
}

TEST(TokenUnit, CreateKeepsOrderAndBuildsBothIndexes) {
    Arrays a({30, 10, 20});
    std::memcpy(&a.ids[1], "ABCDEFGH", 8);
    zelset_t u = sentinel_unit();
    ASSERT_EQ(a.create(&u), 0);
    EXPECT_EQ(u.version, 1u);
    EXPECT_EQ(u.count, 3u);
    EXPECT_EQ(u.reserved, 0u);
    EXPECT_EQ(zelset_get_count(&u), 3u);
    EXPECT_EQ(std::memcmp(u.tokens[1].hex_id, "ABCDEFGH", 8), 0);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(uint64_t{u.tokens[i].morton}, a.mortons[i]);
        EXPECT_EQ(uint64_t{u.tokens[i].signature}, a.signatures[i]);
        EXPECT_EQ(u.order[i], i);
    }
    ASSERT_NE(u.morton_index, nullptr);
    ASSERT_NE(u.hex_index, nullptr);
    EXPECT_EQ(u.morton_index->entry_count, 3u);
    EXPECT_EQ(u.hex_index->entry_count, 3u);
    // Entry e was made for token e; each is the head of its own bucket here.
    uint32_t head = u.morton_index->buckets[zel_morton_hash(10)];
    EXPECT_EQ(u.morton_index->entries[head].token_index, 1u);
    EXPECT_EQ(u.morton_index->entries[head].next, ZEL_NONE);
    head = u.hex_index->buckets[zel_hex_hash("ABCDEFGH")];
    EXPECT_EQ(u.hex_index->entries[head].token_index, 1u);
    zelset_free(&u);
}

TEST(TokenUnit, SameKeyTwiceChainsNewestFirst) {
    Arrays a({5, 5});
    zelset_t u{};
    ASSERT_EQ(a.create(&u), 0);
    const zel_hash_index_t* index = u.morton_index;
    uint32_t head = index->buckets[zel_morton_hash(5)];
    EXPECT_EQ(index->entries[head].token_index, 1u);
    uint32_t older = index->entries[head].next;
    ASSERT_NE(older, ZEL_NONE);
    EXPECT_EQ(index->entries[older].token_index, 0u);
    EXPECT_EQ(index->entries[older].next, ZEL_NONE);
    zelset_free(&u);
}

TEST(TokenUnit, SingleTokenUnit) {
    Arrays a({42});
    zelset_t u{};
    ASSERT_EQ(a.create(&u), 0);
    ASSERT_NE(u.order, nullptr);
    EXPECT_EQ(u.order[0], 0u);
    zelset_free(&u);
}

TEST(TokenUnit, CreateRefusesBadArgumentsAndLeavesUnitUntouched) {
    Arrays a({1, 2});
    zelset_t u = sentinel_unit();
    const zelset_t before = u;
    EXPECT_EQ(zelset_create(nullptr, 2, a.mortons.data(), a.ids.data(), a.signatures.data(), a.layers.data()), -1);
    EXPECT_EQ(zelset_create(&u, 0, a.mortons.data(), a.ids.data(), a.signatures.data(), a.layers.data()), -1);
    EXPECT_EQ(zelset_create(&u, 2, nullptr, a.ids.data(), a.signatures.data(), a.layers.data()), -1);
    EXPECT_EQ(zelset_create(&u, 2, a.mortons.data(), nullptr, a.signatures.data(), a.layers.data()), -1);
    EXPECT_EQ(zelset_create(&u, 2, a.mortons.data(), a.ids.data(), nullptr, a.layers.data()), -1);
    EXPECT_EQ(zelset_create(&u, 2, a.mortons.data(), a.ids.data(), a.signatures.data(), nullptr), -1);
    EXPECT_EQ(std::memcmp(&u, &before, sizeof u), 0);
}

TEST(TokenUnit, AccessorsRefuseBadArguments) {
    Arrays a({1, 2});
    zelset_t u{};
    ASSERT_EQ(a.create(&u), 0);
    uint64_t m = 99, id = 99;
    uint8_t layer = 99;
    EXPECT_EQ(zelset_get_token(&u, 2, &m, &id, &layer), -1);  // index == count
    EXPECT_EQ(zelset_get_token(nullptr, 0, &m, &id, &layer), -1);
    EXPECT_EQ(zelset_get_token(&u, 0, nullptr, &id, &layer), -1);
    EXPECT_EQ(zelset_get_token(&u, 0, &m, nullptr, &layer), -1);
    EXPECT_EQ(zelset_get_token(&u, 0, &m, &id, nullptr), -1);
    EXPECT_EQ(m, 99u);
    EXPECT_EQ(id, 99u);
    EXPECT_EQ(layer, 99);
    ASSERT_EQ(zelset_get_token(&u, 1, &m, &id, &layer), 0);
    EXPECT_EQ(m, 2u);
    EXPECT_EQ(id, a.ids[1]);
    EXPECT_EQ(layer, 1);

    uint64_t ms[2] = {}, ids[2] = {};
    uint8_t layers[2] = {};
    EXPECT_EQ(zelset_get_all_tokens(nullptr, ms, ids, layers), 0u);
    EXPECT_EQ(zelset_get_all_tokens(&u, nullptr, ids, layers), 0u);
    EXPECT_EQ(zelset_get_all_tokens(&u, ms, nullptr, layers), 0u);
    EXPECT_EQ(zelset_get_all_tokens(&u, ms, ids, nullptr), 0u);
    EXPECT_EQ(zelset_get_count(nullptr), 0u);
    ASSERT_EQ(zelset_get_all_tokens(&u, ms, ids, layers), 2u);
    EXPECT_EQ(ms[0], 1u);
    EXPECT_EQ(ids[1], a.ids[1]);
    EXPECT_EQ(layers[1], 1);
    zelset_free(&u);
}

TEST(TokenUnit, IdWordCarriesFirstCharacterLowest) {
    const uint64_t mortons[1] = {1};
    const uint64_t ids[1] = {id_word("2A")};
    const uint64_t sigs[1] = {0};
    const uint8_t layers[1] = {0};
    zelset_t u{};
    ASSERT_EQ(zelset_create(&u, 1, mortons, ids, sigs, layers), 0);
    EXPECT_EQ(std::memcmp(u.tokens[0].hex_id, "2A\0\0\0\0\0\0", 8), 0);
    zelset_free(&u);
}

TEST(TokenUnit, FreeKeepsHeaderWordsAndAcceptsNull) {
    Arrays a({3, 4, 5});
    zelset_t u{};
    ASSERT_EQ(a.create(&u), 0);
    zelset_free(&u);
    EXPECT_EQ(u.tokens, nullptr);
    EXPECT_EQ(u.morton_index, nullptr);
    EXPECT_EQ(u.hex_index, nullptr);
    EXPECT_EQ(u.order, nullptr);
    EXPECT_EQ(u.version, 1u);
    EXPECT_EQ(zelset_get_count(&u), 3u);
    uint64_t m, id;
    uint8_t layer;
    EXPECT_EQ(zelset_get_token(&u, 0, &m, &id, &layer), -1);
    uint64_t ms[3], ids[3];
    uint8_t layers[3];
    EXPECT_EQ(zelset_get_all_tokens(&u, ms, ids, layers), 0u);
    zelset_free(&u);  // released twice: nothing left to release
    zelset_free(nullptr);
    // A released unit can be filled again.
    ASSERT_EQ(a.create(&u), 0);
    zelset_free(&u);
}

// Allocation order of zelset_create: 1 tokens; 2-4 key index record, entries,
// buckets; 5-7 id index record, entries, buckets; 8 order.
TEST(TokenUnit, EveryAllocationFailureLeavesTheSpecifiedState) {
    Arrays a({9, 8, 7});
    for (uint64_t nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        zelset_t u = sentinel_unit();
        zel_test::FailNthAllocation failure(nth);
        int32_t rc = a.create(&u);
        ASSERT_TRUE(failure.fired());
        EXPECT_EQ(u.version, 1u);
        EXPECT_EQ(u.count, 3u);
        EXPECT_EQ(u.reserved, 0u);
        EXPECT_EQ(u.tokens, nullptr);
        if (nth == 1) {
            EXPECT_EQ(rc, -2);
            EXPECT_TRUE(untouched(u.morton_index));
            EXPECT_TRUE(untouched(u.hex_index));
            EXPECT_TRUE(untouched(u.order));
        } else if (nth <= 7) {
            EXPECT_EQ(rc, -3);
            EXPECT_EQ(u.morton_index, nullptr);
            EXPECT_EQ(u.hex_index, nullptr);
            EXPECT_TRUE(untouched(u.order));
        } else {
            EXPECT_EQ(rc, -4);
            EXPECT_EQ(u.morton_index, nullptr);
            EXPECT_EQ(u.hex_index, nullptr);
            EXPECT_EQ(u.order, nullptr);
        }
    }
    // The ninth allocation does not exist: creation succeeds untouched.
    zelset_t u{};
    zel_test::FailNthAllocation failure(9);
    EXPECT_EQ(a.create(&u), 0);
    EXPECT_FALSE(failure.fired());
    zelset_free(&u);
}

// 9,000,000 tokens, more than there are buckets: every one is indexed and
// found. Keys i and i + 2^23 share a bucket, so the first 611,392 buckets
// chain two entries, the newest first.
TEST(TokenUnit, EveryTokenPastTheBucketCountIsIndexedAndFound) {
    const uint32_t n = 9'000'000;
    std::vector<uint64_t> mortons(n);
    for (uint32_t i = 0; i < n; ++i) mortons[i] = i;
    zel_test::UnitInputs in(std::move(mortons));
    zel_test::OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    EXPECT_EQ(u->morton_index->entry_count, n);
    EXPECT_EQ(u->hex_index->entry_count, n);
    const zel_hash_index_t& by_key = *u->morton_index;
    const uint32_t head = by_key.buckets[0];
    EXPECT_EQ(by_key.entries[head].token_index, ZEL_HASH_BUCKETS);
    EXPECT_EQ(by_key.entries[by_key.entries[head].next].token_index, 0u);
    EXPECT_EQ(by_key.entries[n - 1].next, n - 1 - ZEL_HASH_BUCKETS);
    uint32_t missed = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const auto expected = static_cast<int32_t>(i);
        missed += zelset_lookup_morton(u.get(), i) != expected;
        missed += zelset_lookup_hex(u.get(), reinterpret_cast<const char*>(&in.ids[i])) != expected;
    }
    EXPECT_EQ(missed, 0u);
    std::vector<int32_t> positions(n);
    EXPECT_EQ(zelset_lookup_hex_many(u.get(), in.ids.data(), n, positions.data()), n);
    EXPECT_EQ(zelset_lookup_morton(u.get(), n), -1);
}

TEST(TokenUnit, CountsAboveTheLargestPositionAreRefused) {
    Arrays a({1, 2});
    zelset_t u = sentinel_unit();
    const zelset_t before = u;
    // Refused before any array is read: two elements are enough.
    for (uint32_t count : {ZEL_UNIT_MAX_TOKENS + 1u, 0xFFFFFFFFu}) {
        EXPECT_EQ(zelset_create(&u, count, a.mortons.data(), a.ids.data(), a.signatures.data(), a.layers.data()), -5);
        EXPECT_EQ(std::memcmp(&u, &before, sizeof u), 0);
    }
}

}  // namespace
