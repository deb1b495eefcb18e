// The typical road through the built shared libraries, loaded at run time as a
// host loads them: zelset reads the bundled archive, tokenizes and exports it;
// both zelset and zelset_next load the unit file and answer the same lookups,
// and nearest queries with their own distances.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "dynamic/library.h"
#include "ogawa_reader.h"
#include "zel_alembic.h"
#include "zelset.h"

namespace {

using zel_test::Library;
using zel_test::resolve;

const std::string kArchive = std::string(ZEL_TEST_DATA_DIR) + "/pentagons.abc";
const std::string kTruth = std::string(ZEL_TEST_DATA_DIR) + "/pentagons.truth.json";

// The unit functions, resolved from one library.
struct UnitApi {
    int32_t (*load)(const char*, zelset_t*);
    void (*free)(zelset_t*);
    int32_t (*lookup_morton)(const zelset_t*, uint64_t);
    int32_t (*lookup_hex)(const zelset_t*, const char*);
    int32_t (*nearest)(const zelset_t*, uint64_t, int32_t, uint32_t*, uint64_t*);
    using Many = uint32_t (*)(const zelset_t*, const uint64_t*, uint32_t, int32_t*);
    Many lookup_morton_many, lookup_hex_many;
    explicit UnitApi(const Library& lib)
        : load(resolve<decltype(load)>(lib, "zelset_load")),
          free(resolve<decltype(free)>(lib, "zelset_free")),
          lookup_morton(resolve<decltype(lookup_morton)>(lib, "zelset_lookup_morton")),
          lookup_hex(resolve<decltype(lookup_hex)>(lib, "zelset_lookup_hex")),
          nearest(resolve<decltype(nearest)>(lib, "zelset_query_nearest")),
          lookup_morton_many(resolve<Many>(lib, "zelset_lookup_morton_many")),
          lookup_hex_many(resolve<Many>(lib, "zelset_lookup_hex_many")) {}
    bool complete() const {
        return load && free && lookup_morton && lookup_hex && nearest && lookup_morton_many && lookup_hex_many;
    }
};

uint64_t exact_root(uint64_t d) {
    uint64_t r = static_cast<uint64_t>(std::sqrt(static_cast<double>(d)));
    while (r > 0 && r * r > d) --r;
    while ((r + 1) * (r + 1) <= d) ++r;
    return r;
}

uint64_t single_precision_root(uint64_t d) {
    if (d < 2) return d;
    return static_cast<uint64_t>(std::sqrt(static_cast<float>(d)));
}

TEST(Road, ArchiveToQueriedUnitThroughBothLibraries) {
    Library full(ZEL_LIB_FULL);
    Library next(ZEL_LIB_NEXT);
    ASSERT_TRUE(full.loaded());
    ASSERT_TRUE(next.loaded());
    auto open = resolve<int (*)(const char*, ogawa_archive_t*)>(full, "ogawa_open");
    auto close = resolve<void (*)(ogawa_archive_t*)>(full, "ogawa_close");
    auto first = resolve<ogawa_polymesh_t* (*)(ogawa_archive_t*)>(full, "ogawa_get_first_polymesh");
    auto fan = resolve<int32_t (*)(const uint32_t*, uint32_t, uint32_t**, uint32_t*)>(full, "ogawa_triangulate_face");
    auto load_raw = resolve<int32_t (*)(const float*, uint32_t, const uint32_t*, uint32_t, const char*,
                                        zel_alembic_mesh_t*)>(full, "zel_alembic_load_raw");
    auto export_zel = resolve<int32_t (*)(const zel_alembic_mesh_t*, const char*)>(full, "zel_alembic_export_zel");
    auto mesh_free = resolve<void (*)(zel_alembic_mesh_t*)>(full, "zel_alembic_mesh_free");
    ASSERT_TRUE(open && close && first && fan && load_raw && export_zel && mesh_free);
    UnitApi api_full(full), api_next(next);
    ASSERT_TRUE(api_full.complete() && api_next.complete());

    // The archive's first mesh, as the independent writer wrote it.
    ogawa_archive_t archive;
    ASSERT_EQ(open(kArchive.c_str(), &archive), 0);
    ogawa_polymesh_t* mesh = first(&archive);
    ASSERT_NE(mesh, nullptr);
    std::ifstream truth_file(kTruth);
    const nlohmann::json sample = nlohmann::json::parse(truth_file)["objects"][0]["samples"][0];
    ASSERT_EQ(mesh->position_count, sample["positions"].size());
    for (uint32_t v = 0; v < mesh->position_count; ++v) {
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(mesh->positions[3 * v + c], sample["positions"][v][c].get<float>()) << v;
        }
    }
    ASSERT_EQ(mesh->face_count, sample["face_counts"].size());

    // Fan triangulation, then tokens and a unit file.
    std::vector<uint32_t> triangles;
    uint32_t cursor = 0;
    for (uint32_t f = 0; f < mesh->face_count; ++f) {
        uint32_t* tris = nullptr;
        uint32_t n = 0;
        ASSERT_EQ(fan(mesh->face_indices + cursor, mesh->face_counts[f], &tris, &n), 0);
        triangles.insert(triangles.end(), tris, tris + 3 * n);
        std::free(tris);
        cursor += mesh->face_counts[f];
    }
    zel_alembic_mesh_t tokens{};
    ASSERT_EQ(load_raw(mesh->positions, mesh->position_count, triangles.data(),
                       uint32_t(triangles.size() / 3), "pentagons", &tokens), 0);
    const std::string unit_path =
        (std::filesystem::temp_directory_path() / ("zelset_road_" + std::to_string(std::rand()) + ".zel")).string();
    ASSERT_EQ(export_zel(&tokens, unit_path.c_str()), 0);

    // Both libraries load the same file and find the same tokens.
    zelset_t a{}, b{};
    ASSERT_EQ(api_full.load(unit_path.c_str(), &a), 0);
    ASSERT_EQ(api_next.load(unit_path.c_str(), &b), 0);
    ASSERT_EQ(a.count, mesh->position_count);
    ASSERT_EQ(b.count, a.count);
    std::vector<uint64_t> keys = {~uint64_t{0}}, ids = {~uint64_t{0}};  // absent from both
    for (uint32_t v = 0; v < tokens.vertex_count; ++v) {
        const zel_token_t& t = tokens.tokens[v].token;
        int32_t ia = api_full.lookup_hex(&a, t.hex_id);
        int32_t ib = api_next.lookup_hex(&b, t.hex_id);
        ASSERT_GE(ia, 0);
        ASSERT_GE(ib, 0);
        EXPECT_EQ(uint64_t{a.tokens[ia].morton}, uint64_t{t.morton});
        EXPECT_EQ(uint64_t{b.tokens[ib].morton}, uint64_t{t.morton});
        EXPECT_GE(api_full.lookup_morton(&a, t.morton), 0);
        EXPECT_GE(api_next.lookup_morton(&b, t.morton), 0);
        keys.push_back(uint64_t{t.morton});
        std::memcpy(&ids.emplace_back(), t.hex_id, 8);
    }
    // In bulk, each library answers as its single lookups do.
    for (const auto& [api, unit] : {std::pair{&api_full, &a}, std::pair{&api_next, &b}}) {
        const auto n = static_cast<uint32_t>(keys.size());
        std::vector<int32_t> by_key(n), by_id(n);
        api->lookup_morton_many(unit, keys.data(), n, by_key.data());
        api->lookup_hex_many(unit, ids.data(), n, by_id.data());
        for (uint32_t i = 0; i < n; ++i) {
            ASSERT_EQ(by_key[i], api->lookup_morton(unit, keys[i])) << i;
            ASSERT_EQ(by_id[i], api->lookup_hex(unit, reinterpret_cast<const char*>(&ids[i]))) << i;
        }
    }

    // Nearest queries: each library measures with its own root of the key gap.
    const uint64_t target = uint64_t{a.tokens[a.count / 2].morton} + 1000;
    uint32_t ix_a[8], ix_b[8];
    uint64_t d_a[8], d_b[8];
    ASSERT_EQ(api_full.nearest(&a, target, 8, ix_a, d_a), 8);
    ASSERT_EQ(api_next.nearest(&b, target, 8, ix_b, d_b), 8);
    for (int j = 0; j < 8; ++j) {
        uint64_t ka = a.tokens[ix_a[j]].morton, kb = b.tokens[ix_b[j]].morton;
        EXPECT_EQ(d_a[j], single_precision_root(ka > target ? ka - target : target - ka));
        EXPECT_EQ(d_b[j], exact_root(kb > target ? kb - target : target - kb));
    }

    api_full.free(&a);
    api_next.free(&b);
    mesh_free(&tokens);
    close(&archive);
    std::filesystem::remove(unit_path);
}

}  // namespace
