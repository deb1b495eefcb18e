// The road from raw mesh arrays to a queried unit: load_raw -> export_zel ->
// zelset_load -> lookups and nearest.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/test_support.h"
#include "zel_alembic.h"
#include "zelset.h"

namespace {

// A bumpy 12 x 12 grid of vertices, two triangles per cell.
void grid_mesh(std::vector<float>& positions, std::vector<uint32_t>& faces) {
    const uint32_t n = 12;
    for (uint32_t j = 0; j < n; ++j) {
        for (uint32_t i = 0; i < n; ++i) {
            positions.insert(positions.end(), {float(i) * 0.5f, float((i * j) % 5) * 0.25f, float(j) * 0.5f});
        }
    }
    for (uint32_t j = 0; j + 1 < n; ++j) {
        for (uint32_t i = 0; i + 1 < n; ++i) {
            uint32_t a = j * n + i;
            faces.insert(faces.end(), {a, a + 1, a + n, a + 1, a + n + 1, a + n});
        }
    }
}

TEST(AlembicRoad, RawMeshToQueriedUnit) {
    std::vector<float> positions;
    std::vector<uint32_t> faces;
    grid_mesh(positions, faces);
    const uint32_t vertex_count = uint32_t(positions.size() / 3);
    zel_alembic_mesh_t mesh{};
    ASSERT_EQ(zel_alembic_load_raw(positions.data(), vertex_count, faces.data(), uint32_t(faces.size() / 3),
                                   "grid", &mesh),
              0);
    zel_test::TempDir dir;
    const std::string path = dir.file("grid.zel");
    ASSERT_EQ(zel_alembic_export_zel(&mesh, path.c_str()), 0);

    zelset_t unit{};
    ASSERT_EQ(zelset_load(path.c_str(), &unit), 0);
    ASSERT_EQ(zelset_get_count(&unit), vertex_count);
    for (uint32_t i = 1; i < unit.count; ++i) {
        ASSERT_LE(uint64_t{unit.tokens[i - 1].morton}, uint64_t{unit.tokens[i].morton});
    }

    // Every vertex's token is in the unit, found by its key and by its id.
    for (uint32_t v = 0; v < vertex_count; ++v) {
        const zel_token_t& made = mesh.tokens[v].token;
        const uint64_t key = made.morton;
        int32_t by_key = zelset_lookup_morton(&unit, key);
        ASSERT_GE(by_key, 0) << v;
        EXPECT_EQ(uint64_t{unit.tokens[by_key].morton}, key);
        int32_t by_id = zelset_lookup_hex(&unit, made.hex_id);
        ASSERT_GE(by_id, 0) << v;
        EXPECT_EQ(std::memcmp(unit.tokens[by_id].hex_id, made.hex_id, 8), 0);

        // The nearest token to a vertex's own key is at distance 0.
        uint32_t index[4];
        uint64_t distance[4];
        ASSERT_EQ(zelset_query_nearest(&unit, key, 4, index, distance), 4);
        EXPECT_EQ(distance[0], 0u);
        EXPECT_EQ(uint64_t{unit.tokens[index[0]].morton}, key);
        for (int j = 1; j < 4; ++j) EXPECT_LE(distance[j - 1], distance[j]);
    }
    zelset_free(&unit);
    zel_alembic_mesh_free(&mesh);
}

}  // namespace
