// Loads the built shared libraries by file name, as a host does, and checks
// their export tables against the expected lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dynamic/library.h"
#include "expected_exports.h"
#include "zel_alembic.h"
#include "zelset.h"

namespace {

using zel_test::Library;
using zel_test::resolve;

std::vector<std::string> names_of(const char* const* list) {
    std::vector<std::string> out;
    for (; *list; ++list) out.emplace_back(*list);
    return out;
}

std::vector<std::string> expected_exports(bool full) {
    std::vector<std::string> out = names_of(kExportsBoth);
    if (full) {
        std::vector<std::string> extra = names_of(kExportsFullOnly);
        out.insert(out.end(), extra.begin(), extra.end());
    }
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Exports, EachLibraryExportsExactlyItsList) {
    for (bool full : {true, false}) {
        SCOPED_TRACE(full ? "zelset" : "zelset_next");
        Library lib(full ? ZEL_LIB_FULL : ZEL_LIB_NEXT);
        ASSERT_TRUE(lib.loaded());
        std::vector<std::string> expected = expected_exports(full);
        EXPECT_EQ(lib.exported_functions(), expected);
        for (const std::string& name : expected) {
            EXPECT_NE(lib.symbol(name.c_str()), nullptr) << name;
        }
    }
}

TEST(Exports, ZelsetNextLacksTheFullLibraryFunctions) {
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(next.loaded());
    for (const char* const* name = kExportsFullOnly; *name; ++name) {
        EXPECT_EQ(next.symbol(*name), nullptr) << *name;
    }
}

TEST(Exports, BothLibrariesWorkLoadedTogether) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    using Create = int32_t (*)(zelset_t*, uint32_t, const uint64_t*, const uint64_t*, const uint64_t*,
                               const uint8_t*);
    using GetToken = int32_t (*)(const zelset_t*, uint32_t, uint64_t*, uint64_t*, uint8_t*);
    using Free = void (*)(zelset_t*);
    auto create_full = resolve<Create>(full, "zelset_create");
    auto create_next = resolve<Create>(next, "zelset_create");
    ASSERT_NE(create_full, nullptr);
    ASSERT_NE(create_next, nullptr);
    EXPECT_NE(reinterpret_cast<void*>(create_full), reinterpret_cast<void*>(create_next));

    const uint64_t mortons[2] = {7, 3};
    const uint64_t ids[2] = {0x4141414141414141ull, 0x4242424242424242ull};
    const uint64_t sigs[2] = {1, 2};
    const uint8_t layers[2] = {4, 5};
    zelset_t a{}, b{};
    ASSERT_EQ(create_full(&a, 2, mortons, ids, sigs, layers), 0);
    ASSERT_EQ(create_next(&b, 2, mortons, ids, sigs, layers), 0);
    // A unit made by one library is read by the other: same records.
    uint64_t m = 0, id = 0;
    uint8_t layer = 0;
    ASSERT_EQ(resolve<GetToken>(next, "zelset_get_token")(&a, 1, &m, &id, &layer), 0);
    EXPECT_EQ(m, 3u);
    EXPECT_EQ(id, ids[1]);
    EXPECT_EQ(layer, 5);
    resolve<Free>(full, "zelset_free")(&a);
    resolve<Free>(next, "zelset_free")(&b);
    EXPECT_EQ(a.tokens, nullptr);
    EXPECT_EQ(b.tokens, nullptr);
}

TEST(Exports, ShippedLibrariesKeepTheFullHashTables) {
    // The fuzz targets' build narrows every table to 4,096 buckets; the
    // libraries a host loads never do. A token's key changed in place stays in
    // its old bucket, so a lookup by the new key finds it exactly when both
    // keys share a bucket: 0x100000001 and 0x80000000 do at any table size,
    // 0x20000 and 0x10000 only in tables of 65,536 buckets or fewer.
    using Create = int32_t (*)(zelset_t*, uint32_t, const uint64_t*, const uint64_t*, const uint64_t*,
                               const uint8_t*);
    for (bool full : {true, false}) {
        SCOPED_TRACE(full ? "zelset" : "zelset_next");
        Library lib(full ? ZEL_LIB_FULL : ZEL_LIB_NEXT);
        ASSERT_TRUE(lib.loaded());
        auto create = resolve<Create>(lib, "zelset_create");
        auto apply = resolve<void (*)(zel_token_t*, int32_t)>(lib, "zel_token_apply_ilogic");
        auto lookup = resolve<int32_t (*)(const zelset_t*, uint64_t)>(lib, "zelset_lookup_morton");
        auto release = resolve<void (*)(zelset_t*)>(lib, "zelset_free");
        ASSERT_TRUE(create && apply && lookup && release);
        const uint64_t mortons[2] = {0x100000001ull, 0x20000};
        const uint64_t ids[2] = {1, 2}, sigs[2] = {0, 0};
        const uint8_t layers[2] = {0, 0};
        zelset_t unit{};
        ASSERT_EQ(create(&unit, 2, mortons, ids, sigs, layers), 0);
        apply(&unit.tokens[0], 3);  // the key shifted right by one bit
        apply(&unit.tokens[1], 3);
        EXPECT_EQ(lookup(&unit, 0x80000000ull), 0);
        EXPECT_EQ(lookup(&unit, 0x10000), -1);
        release(&unit);
    }
    Library full(ZEL_LIB_FULL);
    ASSERT_TRUE(full.loaded());
    auto build = resolve<int32_t (*)(zel_alembic_t*)>(full, "zel_alembic_build_hash_table");
    ASSERT_NE(build, nullptr);
    zel_alembic_mesh_t empty{};
    zel_alembic_t archive{};
    archive.mesh_count = 1;
    archive.meshes = &empty;
    ASSERT_EQ(build(&archive), 0);
    EXPECT_EQ(archive.hash_size, ZEL_ALEMBIC_HASH_SIZE);
    std::free(archive.hash_table);
}

}  // namespace
