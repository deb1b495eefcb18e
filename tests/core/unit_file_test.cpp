#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <vector>

#include "core/unit_fixtures.h"
#include "oracles/token_sort_oracle.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"
#include "zelset.h"
#include "zelset/token_sort.h"

namespace {

using zel_test::append_record;
using zel_test::get_u32;
using zel_test::get_u64;
using zel_test::OwnedUnit;
using zel_test::TempDir;
using zel_test::unit_header;
using zel_test::UnitInputs;

zelset_t sentinel_unit() {
    zelset_t u;
    std::memset(&u, 0x5A, sizeof u);
    return u;
}
bool untouched(const void* p) { return reinterpret_cast<uintptr_t>(p) == static_cast<uintptr_t>(0x5A5A5A5A5A5A5A5Aull); }

std::vector<uint64_t> keys_of(const zelset_t& u) {
    std::vector<uint64_t> keys;
    for (uint32_t i = 0; i < u.count; ++i) keys.push_back(uint64_t{u.tokens[i].morton});
    return keys;
}

// Byte images of tokens, sorted, to compare two arrays as multisets.
std::vector<std::string> token_images(const zel_token_t* tokens, size_t count) {
    std::vector<std::string> out;
    for (size_t i = 0; i < count; ++i) out.emplace_back(reinterpret_cast<const char*>(&tokens[i]), sizeof(zel_token_t));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(UnitFile, SaveWritesCreationOrderAndLoadSortsByKey) {
    TempDir dir;
    const std::string path = dir.file("three.zel");
    UnitInputs in({30, 10, 20});
    OwnedUnit created;
    ASSERT_EQ(in.create(created.get()), 0);
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    ASSERT_EQ(zelset_save(path.c_str(), created.get()), 0);
    const int64_t after = static_cast<int64_t>(std::time(nullptr));

    // The whole file, byte for byte: header, then the records in creation order.
    std::vector<unsigned char> bytes = zel_test::read_file(path);
    ASSERT_EQ(bytes.size(), 24u + 3 * 25u);
    std::vector<unsigned char> expected = unit_header(1, 3, 0, static_cast<int64_t>(get_u64(bytes, 16)));
    append_record(expected, 30, "T0000000", 0x5160000000000000ull, 0);
    append_record(expected, 10, "T0000001", 0x5160000000000001ull, 1);
    append_record(expected, 20, "T0000002", 0x5160000000000002ull, 2);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(std::memcmp(bytes.data(), "ZEL\0", 4), 0);
    const auto stamp = static_cast<int64_t>(get_u64(bytes, 16));
    EXPECT_GE(stamp, before);
    EXPECT_LE(stamp, after);

    OwnedUnit loaded;
    ASSERT_EQ(zelset_load(path.c_str(), loaded.get()), 0);
    EXPECT_EQ(loaded->version, 1u);
    EXPECT_EQ(loaded->reserved, 0u);
    ASSERT_EQ(loaded->count, 3u);
    EXPECT_EQ(keys_of(loaded.unit), (std::vector<uint64_t>{10, 20, 30}));
    // Each record travels whole: key 10 keeps the id, signature and layer of token 1.
    EXPECT_EQ(std::memcmp(loaded->tokens[0].hex_id, "T0000001", 8), 0);
    EXPECT_EQ(uint64_t{loaded->tokens[0].signature}, 0x5160000000000001ull);
    EXPECT_EQ(loaded->tokens[0].layer, 1);
    for (uint32_t i = 0; i < 3; ++i) EXPECT_EQ(loaded->order[i], i);
    // The indexes are built over the sorted array.
    EXPECT_EQ(zelset_lookup_morton(loaded.get(), 30), 2);
    EXPECT_EQ(zelset_lookup_hex(loaded.get(), "T0000000"), 2);
}

TEST(UnitFile, TruncatedAndOverclaimingFilesYieldTheCompleteRecords) {
    TempDir dir;
    const std::string path = dir.file("short.zel");
    for (uint32_t claimed : {5u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(claimed);
        // Three whole records and ten bytes of a fourth. A header claiming 4
        // billion records must not ask for 100 GB before reading three.
        std::vector<unsigned char> bytes = unit_header(1, claimed, 0);
        append_record(bytes, 3, "CCCCCCCC", 33, 3);
        append_record(bytes, 1, "AAAAAAAA", 11, 1);
        append_record(bytes, 2, "BBBBBBBB", 22, 2);
        bytes.insert(bytes.end(), 10, 0x77);
        zel_test::write_file(path, bytes);
        OwnedUnit u;
        ASSERT_EQ(zelset_load(path.c_str(), u.get()), 0);
        EXPECT_EQ(u->count, 3u);
        EXPECT_EQ(keys_of(u.unit), (std::vector<uint64_t>{1, 2, 3}));
        EXPECT_EQ(uint64_t{u->tokens[2].signature}, 33u);
    }
}

// A file (sparse: no disk space) holding 2^31 records, one more than a unit
// takes, whose header claims them all or more: refused before any allocation.
TEST(UnitFile, FilesHoldingMoreTokensThanAUnitTakesAreRefused) {
    TempDir dir;
    const std::string path = dir.file("huge.zel");
    for (uint32_t claimed : {ZEL_UNIT_MAX_TOKENS + 1u, 0xFFFFFFFFu}) {
        zel_test::write_file(path, unit_header(1, claimed, 0));
        std::filesystem::resize_file(path, 24 + 25 * (uint64_t{ZEL_UNIT_MAX_TOKENS} + 1));
        zelset_t u = sentinel_unit();
        const zelset_t before = u;
        EXPECT_EQ(zelset_load(path.c_str(), &u), -7) << claimed;
        EXPECT_EQ(std::memcmp(&u, &before, sizeof u), 0);
    }
}

TEST(UnitFile, EmptyUnitsAndIgnoredRecords) {
    TempDir dir;
    const std::string path = dir.file("empty.zel");
    // Header only, count 0: an empty unit, which cannot be saved.
    zel_test::write_file(path, unit_header(1, 0, 0));
    {
        OwnedUnit u;
        ASSERT_EQ(zelset_load(path.c_str(), u.get()), 0);
        EXPECT_EQ(u->count, 0u);
        EXPECT_NE(u->tokens, nullptr);
        EXPECT_EQ(zelset_save(dir.file("again.zel").c_str(), u.get()), -1);
        EXPECT_FALSE(std::filesystem::exists(dir.file("again.zel")));
        uint32_t idx[1];
        uint64_t dist[1];
        EXPECT_EQ(zelset_query_nearest(u.get(), 0, 1, idx, dist), 0);
        EXPECT_EQ(zelset_lookup_morton(u.get(), 0), -1);
    }
    // Count 0 with records behind the header: none is read.
    std::vector<unsigned char> bytes = unit_header(1, 0, 0);
    append_record(bytes, 9, "ZZZZZZZZ", 9, 9);
    zel_test::write_file(path, bytes);
    {
        OwnedUnit u;
        ASSERT_EQ(zelset_load(path.c_str(), u.get()), 0);
        EXPECT_EQ(u->count, 0u);
    }
    // A count with no whole record behind it.
    bytes = unit_header(1, 2, 0);
    bytes.insert(bytes.end(), 24, 0x01);
    zel_test::write_file(path, bytes);
    {
        OwnedUnit u;
        ASSERT_EQ(zelset_load(path.c_str(), u.get()), 0);
        EXPECT_EQ(u->count, 0u);
    }
}

TEST(UnitFile, BadFilesAreRefusedWithTheUnitUntouched) {
    TempDir dir;
    const std::string path = dir.file("bad.zel");
    struct Case {
        std::vector<unsigned char> bytes;
        int32_t expected;
    };
    std::vector<unsigned char> short_header = unit_header(1, 0, 0);
    short_header.pop_back();
    std::vector<Case> cases = {
        {{}, -2},
        {short_header, -2},
        {unit_header(1, 0, 0, 0, "ZEM"), -3},
        {unit_header(7, 1, 0, 0, "zel"), -3},
    };
    // Magic "ZEL" followed by a non-zero byte.
    cases.push_back({unit_header(1, 0, 0), -3});
    cases.back().bytes[3] = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.size());
        zel_test::write_file(path, c.bytes);
        zelset_t u = sentinel_unit();
        const zelset_t before = u;
        EXPECT_EQ(zelset_load(path.c_str(), &u), c.expected);
        EXPECT_EQ(std::memcmp(&u, &before, sizeof u), 0);
    }
    zelset_t u = sentinel_unit();
    EXPECT_EQ(zelset_load(dir.file("missing.zel").c_str(), &u), -1);
    EXPECT_EQ(zelset_load((dir.path() / "no_such_dir" / "x.zel").string().c_str(), &u), -1);
    EXPECT_EQ(zelset_load(nullptr, &u), -1);
    EXPECT_EQ(zelset_load(path.c_str(), nullptr), -1);
    EXPECT_TRUE(untouched(u.tokens));
}

TEST(UnitFile, HeaderWordsAreCarriedThroughLoadAndSave) {
    TempDir dir;
    std::vector<unsigned char> bytes = unit_header(7, 2, 0xABCD, -12345);
    append_record(bytes, 5, "EEEEEEEE", 55, 5);
    append_record(bytes, 4, "DDDDDDDD", 44, 4);
    zel_test::write_file(dir.file("v7.zel"), bytes);
    OwnedUnit u;
    ASSERT_EQ(zelset_load(dir.file("v7.zel").c_str(), u.get()), 0);
    EXPECT_EQ(u->version, 7u);
    EXPECT_EQ(u->reserved, 0xABCDu);
    ASSERT_EQ(zelset_save(dir.file("out.zel").c_str(), u.get()), 0);
    std::vector<unsigned char> out = zel_test::read_file(dir.file("out.zel"));
    ASSERT_EQ(out.size(), bytes.size());
    EXPECT_EQ(get_u32(out, 4), 7u);
    EXPECT_EQ(get_u32(out, 8), 2u);
    EXPECT_EQ(get_u32(out, 12), 0xABCDu);
    EXPECT_GT(static_cast<int64_t>(get_u64(out, 16)), 0);  // a new timestamp
    // Saved in the loaded (sorted) order.
    EXPECT_TRUE(std::equal(out.begin() + 24, out.begin() + 49, bytes.begin() + 49));
    EXPECT_TRUE(std::equal(out.begin() + 49, out.end(), bytes.begin() + 24));
}

TEST(UnitFile, SaveRefusalsAndFailures) {
    TempDir dir;
    UnitInputs in({1, 2, 3});
    OwnedUnit u;
    ASSERT_EQ(in.create(u.get()), 0);
    EXPECT_EQ(zelset_save(dir.file("a.zel").c_str(), nullptr), -1);
    EXPECT_EQ(zelset_save(dir.path().string().c_str(), u.get()), -2);
    EXPECT_EQ(zelset_save((dir.path() / "no_such_dir" / "x.zel").string().c_str(), u.get()), -2);
    EXPECT_EQ(zelset_save(nullptr, u.get()), -2);
#ifdef __linux__
    // Every write to /dev/full fails once it reaches the device: the records
    // are still buffered when the writes return, so only the flush tells.
    EXPECT_EQ(zelset_save("/dev/full", u.get()), -4);
#endif
    zelset_t released{};
    ASSERT_EQ(in.create(&released), 0);
    zelset_free(&released);
    EXPECT_EQ(zelset_save(dir.file("b.zel").c_str(), &released), -1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.zel")));
}

TEST(UnitFile, RandomUnitsRoundTrip) {
    TempDir dir;
    std::mt19937_64 rng(7);
    for (uint32_t n : {1u, 2u, 255u, 256u, 4097u, 70000u}) {
        SCOPED_TRACE(n);
        std::vector<uint64_t> keys(n);
        // Half the units draw from few keys, so that equal keys are common.
        for (uint64_t& k : keys) k = (n % 2) ? rng() % 50 : rng();
        UnitInputs in(keys);
        for (uint32_t i = 0; i < n; ++i) in.layers[i] = static_cast<uint8_t>(rng());
        OwnedUnit created;
        ASSERT_EQ(in.create(created.get()), 0);
        const std::string path = dir.file("r.zel");
        ASSERT_EQ(zelset_save(path.c_str(), created.get()), 0);
        OwnedUnit loaded;
        ASSERT_EQ(zelset_load(path.c_str(), loaded.get()), 0);
        ASSERT_EQ(loaded->count, n);
        std::vector<uint64_t> sorted = keys;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(keys_of(loaded.unit), sorted);
        EXPECT_EQ(token_images(loaded->tokens, n), token_images(created->tokens, n));
        // Saving the loaded unit writes its sorted records.
        ASSERT_EQ(zelset_save(path.c_str(), loaded.get()), 0);
        std::vector<unsigned char> bytes = zel_test::read_file(path);
        ASSERT_EQ(bytes.size(), 24u + 25u * n);
        for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(get_u64(bytes, 24 + 25 * i), sorted[i]);
    }
}

// Load allocations of a unit under 256 tokens: 1 tokens; 2-4 key index record,
// entries, buckets; 5-7 id index; 8 order. From 256 tokens on, the sort takes a
// second token array as allocation 2 and the index parts move up by one.
TEST(UnitFile, EveryLoadAllocationFailureLeavesTheDocumentedState) {
    TempDir dir;
    const std::string path = dir.file("f.zel");
    UnitInputs small({9, 8, 7});
    OwnedUnit src;
    ASSERT_EQ(small.create(src.get()), 0);
    ASSERT_EQ(zelset_save(path.c_str(), src.get()), 0);
    for (uint64_t nth = 1; nth <= 8; ++nth) {
        SCOPED_TRACE(nth);
        zelset_t u = sentinel_unit();
        zel_test::FailNthAllocation failure(nth);
        int32_t rc = zelset_load(path.c_str(), &u);
        ASSERT_TRUE(failure.fired());
        EXPECT_EQ(u.version, 1u);
        EXPECT_EQ(u.reserved, 0u);
        EXPECT_EQ(u.tokens, nullptr);
        if (nth == 1) {
            EXPECT_EQ(rc, -4);
            EXPECT_TRUE(untouched(u.morton_index));
            EXPECT_TRUE(untouched(u.hex_index));
            EXPECT_TRUE(untouched(u.order));
        } else if (nth <= 7) {
            EXPECT_EQ(rc, -5);
            EXPECT_EQ(u.morton_index, nullptr);
            EXPECT_EQ(u.hex_index, nullptr);
            EXPECT_TRUE(untouched(u.order));
        } else {
            EXPECT_EQ(rc, -6);
            EXPECT_EQ(u.order, nullptr);
        }
    }
    // Without its second array the sort still sorts, in place.
    std::vector<uint64_t> keys(300);
    for (size_t i = 0; i < keys.size(); ++i) keys[i] = (i * 7919) % 300;
    UnitInputs big(keys);
    OwnedUnit big_src;
    ASSERT_EQ(big.create(big_src.get()), 0);
    ASSERT_EQ(zelset_save(path.c_str(), big_src.get()), 0);
    OwnedUnit u;
    zel_test::FailNthAllocation failure(2);
    ASSERT_EQ(zelset_load(path.c_str(), u.get()), 0);
    EXPECT_TRUE(failure.fired());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(keys_of(u.unit), keys);
}

TEST(TokenSort, ComparatorIsUnsignedThreeWay) {
    zel_token_t a{}, b{};
    a.morton = 0x8000000000000000ull;
    b.morton = 1;
    EXPECT_EQ(zel::compare_tokens_morton(&a, &b), 1);
    EXPECT_EQ(zel::compare_tokens_morton(&b, &a), -1);
    b.morton = a.morton;
    b.layer = 9;  // only the key counts
    EXPECT_EQ(zel::compare_tokens_morton(&a, &b), 0);
}

// The radix sort against the literal qsort on arrays of many shapes: keys over
// the whole range, keys that differ in one byte only, few distinct keys.
TEST(TokenSort, AgreesWithQsortOracle) {
    std::mt19937_64 rng(11);
    const std::vector<uint64_t (*)(std::mt19937_64&)> shapes = {
        +[](std::mt19937_64& r) { return static_cast<uint64_t>(r()); },
        +[](std::mt19937_64& r) { return static_cast<uint64_t>(0xABCD000000000000ull | ((r() & 0xFF) << 24)); },
        +[](std::mt19937_64& r) { return static_cast<uint64_t>(r() % 4) << 62; },
        +[](std::mt19937_64& r) { return static_cast<uint64_t>(r() & 0x3FFFF); },
        +[](std::mt19937_64&) { return uint64_t{42}; },
    };
    for (size_t shape = 0; shape < shapes.size(); ++shape) {
        for (uint32_t n : {0u, 1u, 255u, 256u, 1000u, 65537u}) {
            SCOPED_TRACE(testing::Message() << "shape " << shape << " n " << n);
            std::vector<zel_token_t> expected(n);
            for (uint32_t i = 0; i < n; ++i) {
                expected[i].morton = shapes[shape](rng);
                std::memcpy(expected[i].hex_id, &i, sizeof i);
                std::memset(expected[i].hex_id + 4, 0, 4);
                expected[i].signature = rng();
                expected[i].layer = static_cast<uint8_t>(i);
            }
            auto* tokens = static_cast<zel_token_t*>(std::malloc(sizeof(zel_token_t) * (n ? n : 1)));
            if (n) std::memcpy(tokens, expected.data(), sizeof(zel_token_t) * n);
            zel::sort_tokens_by_morton(tokens, n);
            zel_oracle::sort_tokens(expected.data(), n);
            bool keys_equal = true;
            for (uint32_t i = 0; i < n; ++i) keys_equal = keys_equal && tokens[i].morton == expected[i].morton;
            EXPECT_TRUE(keys_equal);
            EXPECT_EQ(token_images(tokens, n), token_images(expected.data(), n));
            std::free(tokens);
        }
    }
}

}  // namespace
