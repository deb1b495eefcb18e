// Both libraries loaded in one process: each answers the nearest query with
// its own distance, and only zelset exports the roots.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dynamic/library.h"
#include "zelset.h"

namespace {

using zel_test::Library;
using zel_test::resolve;

using Create = int32_t (*)(zelset_t*, uint32_t, const uint64_t*, const uint64_t*, const uint64_t*, const uint8_t*);
using Nearest = int32_t (*)(const zelset_t*, uint64_t, int32_t, uint32_t*, uint64_t*);
using Free = void (*)(zelset_t*);
using Save = int32_t (*)(const char*, const zelset_t*);
using Load = int32_t (*)(const char*, zelset_t*);
using Lookup = int32_t (*)(const zelset_t*, uint64_t);

// The distance library lib gives the key 2^64 - 1 from target 0.
uint64_t far_distance(const Library& lib) {
    auto create = resolve<Create>(lib, "zelset_create");
    auto nearest = resolve<Nearest>(lib, "zelset_query_nearest");
    auto release = resolve<Free>(lib, "zelset_free");
    EXPECT_NE(create, nullptr);
    EXPECT_NE(nearest, nullptr);
    EXPECT_NE(release, nullptr);
    if (!create || !nearest || !release) return 0;
    const uint64_t keys[2] = {0, ~uint64_t{0}};
    const uint64_t ids[2] = {1, 2}, sigs[2] = {0, 0};
    const uint8_t layers[2] = {0, 0};
    zelset_t unit{};
    EXPECT_EQ(create(&unit, 2, keys, ids, sigs, layers), 0);
    uint32_t idx[2] = {};
    uint64_t dist[2] = {};
    EXPECT_EQ(nearest(&unit, 0, 2, idx, dist), 2);
    EXPECT_EQ(idx[1], 1u);
    release(&unit);
    return dist[1];
}

TEST(NearestDistance, EachLibraryUsesItsOwnRoot) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    EXPECT_EQ(far_distance(full), 4294967296u);  // single precision: 2^64 - 1 rounds up to 2^64
    EXPECT_EQ(far_distance(next), 4294967295u);  // exact
    // Asked in the other order, with both still loaded.
    EXPECT_EQ(far_distance(next), 4294967295u);
    EXPECT_EQ(far_distance(full), 4294967296u);

    auto hop = resolve<uint64_t (*)(uint64_t, uint64_t)>(full, "srl_hop_distance");
    ASSERT_NE(hop, nullptr);
    EXPECT_EQ(hop(0, ~uint64_t{0}), 4294967296u);
}

TEST(NearestDistance, OnlyZelsetExportsTheRoots) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    std::vector<std::string> roots;
    for (const std::string& name : full.exported_functions()) {
        if (name.rfind("srl_", 0) == 0) roots.push_back(name);
    }
    EXPECT_EQ(roots, (std::vector<std::string>{"srl_bounded_sqrt", "srl_hop_distance", "srl_isqrt", "srl_sqrt"}));
    for (const std::string& name : next.exported_functions()) EXPECT_NE(name.rfind("srl_", 0), 0u) << name;
    for (const std::string& name : roots) EXPECT_EQ(next.symbol(name.c_str()), nullptr) << name;
}

TEST(NearestDistance, UnitFilesPassBetweenTheLibraries) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    const std::string path = testing::TempDir() + "zel_cross_library.zel";
    const uint64_t keys[3] = {30, 10, 20};
    const uint64_t ids[3] = {1, 2, 3}, sigs[3] = {4, 5, 6};
    const uint8_t layers[3] = {7, 8, 9};
    zelset_t written{}, read{};
    ASSERT_EQ(resolve<Create>(full, "zelset_create")(&written, 3, keys, ids, sigs, layers), 0);
    ASSERT_EQ(resolve<Save>(full, "zelset_save")(path.c_str(), &written), 0);
    ASSERT_EQ(resolve<Load>(next, "zelset_load")(path.c_str(), &read), 0);
    ASSERT_EQ(read.count, 3u);
    EXPECT_EQ(read.tokens[0].morton, 10u);
    EXPECT_EQ(resolve<Lookup>(next, "zelset_lookup_morton")(&read, 30), 2);
    resolve<Free>(full, "zelset_free")(&written);
    resolve<Free>(next, "zelset_free")(&read);
    std::remove(path.c_str());
}

}  // namespace
