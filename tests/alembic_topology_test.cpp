// The one-pass topology hashes of a mesh against the per-vertex full pass.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "alembic_fixtures.h"
#include "oracles/alembic_oracles.h"
#include "zel_alembic/topology.h"

namespace {

std::vector<uint32_t> hashes_of(const zel_alembic_mesh_t& m) {
    std::vector<uint32_t> out;
    for (uint32_t v = 0; v < m.vertex_count; ++v) out.push_back(m.vertices[v].topology_hash);
    return out;
}

TEST(AlembicTopologyDifferential, ProcessedMeshesMatchThePerVertexPass) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 600; ++round) {
        uint32_t vertices = 1 + rng() % 120;
        uint32_t faces = rng() % 300;
        bool out_of_range = round % 2 == 0;
        zel_test::RawMesh raw = zel_test::random_mesh(rng, vertices, faces, out_of_range);
        zel_alembic_mesh_t m;
        ASSERT_EQ(zel_test::load_raw(raw, &m), 0);
        std::vector<uint32_t> expected =
            zel_oracle::topology_hashes(vertices, raw.faces.empty() ? nullptr : raw.faces.data(), faces);
        ASSERT_EQ(hashes_of(m), expected) << "round " << round << ", " << vertices << " vertices, " << faces << " faces";
        // The exported single-vertex hash agrees too.
        uint32_t v = rng() % vertices;
        EXPECT_EQ(zel_alembic_topology_hash(v, m.faces, m.face_count), expected[v]);
        zel_alembic_mesh_free(&m);
    }
}

TEST(AlembicTopologyDifferential, DenseSharingAndHostileIndices) {
    std::mt19937 rng(7);
    // Few vertices and many faces: long per-vertex lists, heavy repetition.
    for (int round = 0; round < 50; ++round) {
        uint32_t vertices = 1 + rng() % 4;
        zel_test::RawMesh raw = zel_test::random_mesh(rng, vertices, 2000, true);
        std::vector<zel_alembic_vertex_t> records(vertices);
        zel::alembic::fill_topology_hashes(records.data(), vertices, raw.faces.data(), raw.face_count());
        std::vector<uint32_t> expected = zel_oracle::topology_hashes(vertices, raw.faces.data(), raw.face_count());
        for (uint32_t v = 0; v < vertices; ++v) ASSERT_EQ(records[v].topology_hash, expected[v]) << round;
    }
    // Only out-of-range indices: every vertex keeps the seed value.
    const uint32_t far[] = {5, 6, 0xFFFFFFFFu, 9, 9, 9};
    std::vector<zel_alembic_vertex_t> records(3);
    zel::alembic::fill_topology_hashes(records.data(), 3, far, 2);
    for (const auto& r : records) EXPECT_EQ(r.topology_hash, 0x5A5A5A5Au);
    // No faces: every hash is 0, whatever the records held.
    records[0].topology_hash = 42;
    zel::alembic::fill_topology_hashes(records.data(), 3, far, 0);
    zel::alembic::fill_topology_hashes(records.data() + 1, 2, nullptr, 2);
    for (const auto& r : records) EXPECT_EQ(r.topology_hash, 0u);
}

}  // namespace
