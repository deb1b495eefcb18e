#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "ogawa_reader.h"
#include "oracles/adjacency_oracle.h"
#include "support/alloc_failure.h"
#include "support/test_mesh.h"

namespace {

using zel_test::TestMesh;
using U32s = std::vector<uint32_t>;

std::vector<float> grid_positions(uint32_t vertex_count) { return std::vector<float>(3 * vertex_count, 0.0f); }

U32s array_of(const uint32_t* data, size_t n) { return U32s(data, data + n); }

U32s faces_of(const ogawa_manifold_t& m, uint32_t v) {
    const uint32_t* faces = nullptr;
    uint32_t count = 0;
    EXPECT_EQ(ogawa_get_vertex_faces(&m, v, &faces, &count), 0);
    return array_of(faces, count);
}

U32s neighbours_of(TestMesh& mesh, uint32_t v) {
    uint32_t* list = nullptr;
    uint32_t count = 99;
    EXPECT_EQ(ogawa_get_vertex_neighbors(&mesh->manifold, mesh.face_block(), v, &list, &count), 0);
    EXPECT_NE(list, nullptr);  // allocated even when empty
    U32s out = array_of(list, count);
    std::free(list);
    return out;
}

TEST(Manifold, TwoTrianglesWithAndWithoutFaceCounts) {
    for (bool with_counts : {true, false}) {
        SCOPED_TRACE(with_counts ? "face counts" : "no face counts");
        TestMesh mesh(grid_positions(4), with_counts ? U32s{3, 3} : U32s{}, {0, 1, 2, 2, 1, 3}, 2);
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        const ogawa_manifold_t& m = mesh->manifold;
        EXPECT_EQ(m.vertex_count, 4u);
        EXPECT_EQ(m.face_count, 2u);
        EXPECT_EQ(array_of(m.vertex_face_offsets, 5), (U32s{0, 1, 3, 5, 6}));
        EXPECT_EQ(array_of(m.vertex_faces, 6), (U32s{0, 0, 1, 0, 1, 1}));
        EXPECT_EQ(array_of(m.face_offsets, 3), (U32s{0, 3, 6}));
        EXPECT_EQ(m.face_indices, mesh->face_indices);  // borrowed
        EXPECT_EQ(m.spare0, nullptr);
        EXPECT_EQ(m.spare_word, 0u);
        EXPECT_EQ(m.spare1, nullptr);
        EXPECT_EQ(m.spare2, nullptr);
        EXPECT_EQ(faces_of(m, 2), (U32s{0, 1}));
        EXPECT_EQ(neighbours_of(mesh, 1), (U32s{0, 2, 3}));
        EXPECT_EQ(neighbours_of(mesh, 0), (U32s{1, 2}));
        EXPECT_EQ(ogawa_is_manifold_closed(&m), 0);
    }
}

TEST(Manifold, EmptyFacesForeignVerticesAndRepeatedCorners) {
    {
        // An empty face before a quad uses no entries.
        TestMesh mesh(grid_positions(4), {0, 4}, {0, 1, 2, 3});
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        EXPECT_EQ(array_of(mesh->manifold.face_offsets, 3), (U32s{0, 0, 4}));
        EXPECT_EQ(faces_of(mesh->manifold, 3), (U32s{1}));
        EXPECT_EQ(neighbours_of(mesh, 0), (U32s{1, 2, 3}));
    }
    {
        // Vertex 7 of a 4-vertex mesh: no run of its own, but still a neighbour.
        TestMesh mesh(grid_positions(4), {3}, {0, 7, 1});
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        EXPECT_EQ(array_of(mesh->manifold.vertex_face_offsets, 5), (U32s{0, 1, 2, 2, 2}));
        EXPECT_EQ(neighbours_of(mesh, 0), (U32s{7, 1}));
    }
    {
        // A face naming vertex 0 twice: the run holds it twice, 1 is the only neighbour.
        TestMesh mesh(grid_positions(2), {3}, {0, 0, 1});
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        EXPECT_EQ(faces_of(mesh->manifold, 0), (U32s{0, 0}));
        EXPECT_EQ(neighbours_of(mesh, 0), (U32s{1}));
    }
    {
        // Vertices without faces: empty runs and empty, allocated neighbour lists.
        TestMesh mesh(grid_positions(3), {}, {});
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        EXPECT_EQ(array_of(mesh->manifold.vertex_face_offsets, 4), (U32s{0, 0, 0, 0}));
        EXPECT_EQ(array_of(mesh->manifold.face_offsets, 1), (U32s{0}));
        for (uint32_t v = 0; v < 3; ++v) {
            EXPECT_TRUE(faces_of(mesh->manifold, v).empty());
            EXPECT_TRUE(neighbours_of(mesh, v).empty());
        }
    }
}

TEST(Manifold, LargePolygonKeepsEveryNeighbour) {
    // 40 corners: far more than a fixed list of ten entries per face holds.
    U32s ring;
    for (uint32_t i = 0; i < 40; ++i) ring.push_back(i);
    TestMesh mesh(grid_positions(40), {40, 3}, [&] {
        U32s all = ring;
        all.insert(all.end(), {0, 39, 20});
        return all;
    }());
    ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
    U32s expected(ring.begin() + 1, ring.end());
    EXPECT_EQ(neighbours_of(mesh, 0), expected);
    EXPECT_EQ(neighbours_of(mesh, 20).size(), 39u);
}

TEST(Manifold, RebuildReleasesTheEarlierArrays) {
    TestMesh mesh(grid_positions(4), {3, 3}, {0, 1, 2, 2, 1, 3});
    ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
    mesh->manifold.spare1 = std::malloc(8);  // a host's pointer is released as well
    mesh->face_counts[1] = 0;                // the second face loses its corners
    ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
    EXPECT_EQ(mesh->manifold.spare1, nullptr);
    EXPECT_EQ(array_of(mesh->manifold.vertex_face_offsets, 5), (U32s{0, 1, 2, 3, 3}));
    EXPECT_EQ(array_of(mesh->manifold.face_offsets, 3), (U32s{0, 3, 3}));
    // The sanitizer build reports the first build's arrays if they leaked.
}

TEST(Manifold, RefusedArgumentsChangeNothing) {
    EXPECT_EQ(ogawa_build_manifold(nullptr), -1);
    TestMesh empty(grid_positions(0), {3}, {0, 1, 2});
    EXPECT_EQ(ogawa_build_manifold(empty.get()), -1);

    // Corners past the face indices: face counts, or triangles without them.
    TestMesh counted(grid_positions(4), {3, 3}, {0, 1, 2, 2, 1});
    TestMesh uncounted(grid_positions(4), {}, {0, 1, 2, 2, 1}, 2);
    TestMesh no_indices(grid_positions(4), {3}, {});
    for (TestMesh* mesh : {&counted, &uncounted, &no_indices}) {
        mesh->get()->manifold.vertex_count = 77;  // a marker the refusal must keep
        EXPECT_EQ(ogawa_build_manifold(mesh->get()), -3);
        EXPECT_EQ(mesh->get()->manifold.vertex_count, 77u);
        EXPECT_EQ(mesh->get()->manifold.vertex_faces, nullptr);
        mesh->get()->manifold.vertex_count = 0;
    }

    TestMesh mesh(grid_positions(4), {3, 3}, {0, 1, 2, 2, 1, 3});
    ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
    const ogawa_manifold_t* m = &mesh->manifold;
    const uint32_t* faces = reinterpret_cast<const uint32_t*>(1);
    uint32_t* list = reinterpret_cast<uint32_t*>(1);
    uint32_t count = 55;
    EXPECT_EQ(ogawa_get_vertex_faces(m, 4, &faces, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_faces(nullptr, 0, &faces, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_faces(m, 0, nullptr, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_faces(m, 0, &faces, nullptr), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(m, mesh.face_block(), 4, &list, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(nullptr, mesh.face_block(), 0, &list, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(m, nullptr, 0, &list, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(m, mesh.face_block(), 0, nullptr, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(m, mesh.face_block(), 0, &list, nullptr), -1);
    // The face block of a smaller mesh cannot hold the second face's corners.
    TestMesh smaller(grid_positions(4), {3}, {0, 1, 2});
    EXPECT_EQ(ogawa_get_vertex_neighbors(m, smaller.face_block(), 3, &list, &count), -1);
    // A manifold that was never built.
    ogawa_manifold_t unbuilt{};
    unbuilt.vertex_count = 4;
    EXPECT_EQ(ogawa_get_vertex_faces(&unbuilt, 0, &faces, &count), -1);
    EXPECT_EQ(ogawa_get_vertex_neighbors(&unbuilt, mesh.face_block(), 0, &list, &count), -1);
    EXPECT_EQ(faces, reinterpret_cast<const uint32_t*>(1));
    EXPECT_EQ(list, reinterpret_cast<uint32_t*>(1));
    EXPECT_EQ(count, 55u);
}

TEST(Manifold, OutOfMemoryLeavesAReleasableRecord) {
    // Allocations in order: counters, vertex offsets, vertex faces, face offsets.
    const bool stored_after[4][3] = {{false, false, false}, {false, false, false}, {true, false, false},
                                     {true, true, false}};
    for (uint64_t nth = 1; nth <= 4; ++nth) {
        SCOPED_TRACE(nth);
        TestMesh mesh(grid_positions(4), {3, 3}, {0, 1, 2, 2, 1, 3});
        zel_test::FailNthAllocation guard(nth);
        EXPECT_EQ(ogawa_build_manifold(mesh.get()), -2);
        EXPECT_TRUE(guard.fired());
        EXPECT_EQ(mesh->manifold.vertex_face_offsets != nullptr, stored_after[nth - 1][0]);
        EXPECT_EQ(mesh->manifold.vertex_faces != nullptr, stored_after[nth - 1][1]);
        EXPECT_EQ(mesh->manifold.face_offsets != nullptr, stored_after[nth - 1][2]);
        // The mesh's release takes what was built; the sanitizers check it.
    }
    {
        TestMesh mesh(grid_positions(4), {3, 3}, {0, 1, 2, 2, 1, 3});
        zel_test::FailNthAllocation guard(5);
        EXPECT_EQ(ogawa_build_manifold(mesh.get()), 0);
        EXPECT_FALSE(guard.fired());
    }

    // Neighbours: working list, its growth (a polygon of 40 corners), result.
    U32s ring;
    for (uint32_t i = 0; i < 40; ++i) ring.push_back(i);
    TestMesh mesh(grid_positions(40), {40}, ring);
    ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
    for (uint64_t nth = 1; nth <= 4; ++nth) {
        SCOPED_TRACE(nth);
        uint32_t* list = nullptr;
        uint32_t count = 55;
        zel_test::FailNthAllocation guard(nth);
        int32_t rc = ogawa_get_vertex_neighbors(&mesh->manifold, mesh.face_block(), 0, &list, &count);
        if (guard.fired()) {
            EXPECT_EQ(rc, -2);
            EXPECT_EQ(list, nullptr);
            EXPECT_EQ(count, 55u);
        } else {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(count, 39u);
            std::free(list);
        }
    }
}

// Random polygon soups, with vertex numbers past the vertices now and then,
// against one growing vector per vertex.
TEST(Manifold, MatchesTheVectorOfVectorsOracle) {
    std::mt19937 rng(7);
    for (int round = 0; round < 30; ++round) {
        const uint32_t vertex_count = 1 + rng() % 60;
        const bool with_counts = round % 3 != 0;
        const uint32_t face_count = rng() % 80;
        U32s counts, indices;
        for (uint32_t f = 0; f < face_count; ++f) {
            uint32_t n = with_counts ? rng() % 9 : 3;
            if (with_counts) counts.push_back(n);
            for (uint32_t j = 0; j < n; ++j) indices.push_back(rng() % (vertex_count + 3));
        }
        TestMesh mesh(grid_positions(vertex_count), counts, indices, face_count);
        ASSERT_EQ(ogawa_build_manifold(mesh.get()), 0);
        auto oracle = zel_oracle::vertex_faces_by_vectors(*mesh.get());
        for (uint32_t v = 0; v < vertex_count; ++v) {
            ASSERT_EQ(faces_of(mesh->manifold, v), oracle[v]) << "round " << round << " vertex " << v;
            ASSERT_EQ(neighbours_of(mesh, v), zel_oracle::neighbours_by_vectors(*mesh.get(), oracle, v))
                << "round " << round << " vertex " << v;
        }
    }
}

}  // namespace
