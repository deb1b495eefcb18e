#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

#include "ogawa_reader.h"
#include "support/alloc_failure.h"
#include "support/test_mesh.h"

namespace {

using zel_test::TestMesh;
using Floats = std::vector<float>;
using U32s = std::vector<uint32_t>;

const Floats kTrianglePositions = {0, 0, 0, 1, 0, 0, 0, 1, 0};
const Floats kUnitUvs = {0, 0, 1, 0, 0, 1};

Floats tangent(const ogawa_polymesh_t& m, uint32_t v) {
    return Floats(m.tangent_frame.tangents + 3 * v, m.tangent_frame.tangents + 3 * v + 3);
}
Floats bitangent(const ogawa_polymesh_t& m, uint32_t v) {
    return Floats(m.tangent_frame.bitangents + 3 * v, m.tangent_frame.bitangents + 3 * v + 3);
}

const Floats kX = {1, 0, 0}, kY = {0, 1, 0}, kZero = {0, 0, 0};

TEST(TangentFrame, UnitTriangleAndQuad) {
    // det = 1*1 - 0*0 = 1, T = E1 = (1,0,0), B = E2 = (0,1,0).
    TestMesh tri(kTrianglePositions, {3}, {0, 1, 2});
    tri.add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(tri.get(), nullptr), 0);
    EXPECT_EQ(tri->tangent_frame.scope, OGAWA_SCOPE_VERTEX);
    EXPECT_EQ(tri->tangent_frame.count, 3u);
    for (uint32_t v = 0; v < 3; ++v) {
        EXPECT_EQ(tangent(*tri.get(), v), kX);
        EXPECT_EQ(bitangent(*tri.get(), v), kY);
    }

    // The fourth corner of a quad takes the frame of the first triangle.
    TestMesh quad({0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, {4}, {0, 1, 2, 3});
    quad.add_uv_set("uv", {0, 0, 1, 0, 0, 1, 1, 1}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(quad.get(), "uv"), 0);
    for (uint32_t v = 0; v < 4; ++v) {
        EXPECT_EQ(tangent(*quad.get(), v), kX);
        EXPECT_EQ(bitangent(*quad.get(), v), kY);
    }
}

TEST(TangentFrame, DegenerateAndMissingCoordinates) {
    // All coordinates equal: det 0, r = 1e8, T = B = 0 and they stay 0.
    TestMesh flat(kTrianglePositions, {3}, {0, 1, 2});
    flat.add_uv_set("uv", {0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(flat.get(), nullptr), 0);
    for (uint32_t v = 0; v < 3; ++v) {
        EXPECT_EQ(tangent(*flat.get(), v), kZero);
        EXPECT_EQ(bitangent(*flat.get(), v), kZero);
    }

    // Two coordinates for three vertices: vertex 2 takes entry 0 = (0,0), so
    // ds2 = dt2 = 0, det = 0, T = 0 and B = E2 x 1e8 -> (0,1,0). Taking the
    // last entry (1,0) instead would give B along (-1,1,0).
    TestMesh short_set(kTrianglePositions, {3}, {0, 1, 2});
    short_set.add_uv_set("uv", {0, 0, 1, 0}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(short_set.get(), nullptr), 0);
    EXPECT_EQ(tangent(*short_set.get(), 0), kZero);
    EXPECT_EQ(bitangent(*short_set.get(), 0), kY);
}

TEST(TangentFrame, ChoosesTheSetByExactName) {
    TestMesh mesh(kTrianglePositions, {3}, {0, 1, 2});
    mesh.add_uv_set("first", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    // u and v swapped: T = (0,1,0), B = (1,0,0).
    mesh.add_uv_set("swapped", {0, 0, 0, 1, 1, 0}, {}, OGAWA_SCOPE_VERTEX);
    mesh.add_uv_set("swapped", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), "swapped"), 0);
    EXPECT_EQ(tangent(*mesh.get(), 0), kY);
    EXPECT_EQ(bitangent(*mesh.get(), 0), kX);
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), 0);
    EXPECT_EQ(tangent(*mesh.get(), 0), kX);
    EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), "Swapped"), -2);
    EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), "swap"), -2);
    EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), "swapped2"), -2);

    // A stored name filling all 64 bytes without a terminator.
    std::memset(mesh->uv_sets[0].name, 'a', sizeof mesh->uv_sets[0].name);
    std::string long_name(64, 'a');
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), long_name.c_str()), 0);
    EXPECT_EQ(tangent(*mesh.get(), 0), kX);
    EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), (long_name + "a").c_str()), -2);
}

TEST(TangentFrame, FaceVaryingCoordinatesAndSkippedFaces) {
    // Corner coordinates through the set's indices: the corners of the
    // triangle pick entries 2, 0, 1 of a set whose entry 2 is (0,0), 0 is
    // (1,0) and 1 is (0,1): the unit frame again.
    TestMesh mesh(kTrianglePositions, {3}, {0, 1, 2});
    mesh.add_uv_set("uv", {1, 0, 0, 1, 0, 0}, {2, 0, 1}, OGAWA_SCOPE_FACE_VARYING);
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), 0);
    EXPECT_EQ(tangent(*mesh.get(), 1), kX);
    EXPECT_EQ(bitangent(*mesh.get(), 1), kY);

    // Per-vertex coordinates through indices: vertex 0 takes entry 2 = (0,0),
    // 1 entry 0 = (1,0), 2 entry 1 = (0,1), the unit frame; read without the
    // indices they would give T = (0,-1,0).
    TestMesh vertex_indexed(kTrianglePositions, {3}, {0, 1, 2});
    vertex_indexed.add_uv_set("uv", {1, 0, 0, 1, 0, 0}, {2, 0, 1}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(vertex_indexed.get(), nullptr), 0);
    EXPECT_EQ(tangent(*vertex_indexed.get(), 0), kX);
    EXPECT_EQ(bitangent(*vertex_indexed.get(), 2), kY);

    // A 2-corner face between two triangles is skipped; the second triangle
    // (3, 4, 5) reads its own corners. Vertex 6 is in no face.
    TestMesh two({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 2, 0, 3, 0, 9, 9, 9}, {3, 2, 3},
                 {0, 1, 2, 0, 1, 3, 4, 5});
    two.add_uv_set("uv", {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(two.get(), nullptr), 0);
    // Second triangle: E1 = (0,0,2), E2 = (0,3,0) -> T = (0,0,2), B = (0,3,0).
    EXPECT_EQ(tangent(*two.get(), 4), (Floats{0, 0, 1}));
    EXPECT_EQ(bitangent(*two.get(), 5), kY);
    EXPECT_EQ(tangent(*two.get(), 6), kZero);
    EXPECT_EQ(bitangent(*two.get(), 6), kZero);

    // Faces whose needs lie outside the arrays are skipped, the others kept:
    // face 0 names vertex 9 of 3, face 1 reads coordinate 7 of 3, and the
    // third corner of face 2 has no face-varying index (8 of them).
    TestMesh hostile(kTrianglePositions, {3, 3, 3}, {0, 1, 9, 0, 1, 2, 0, 1, 2});
    hostile.add_uv_set("uv", {0, 0, 1, 0, 0, 1}, {0, 1, 2, 0, 1, 7, 0, 1}, OGAWA_SCOPE_FACE_VARYING);
    ASSERT_EQ(ogawa_compute_tangent_frame(hostile.get(), nullptr), 0);
    for (uint32_t v = 0; v < 3; ++v) EXPECT_EQ(tangent(*hostile.get(), v), kZero) << v;
    hostile->uv_sets[0].indices[5] = 2;  // face 1 is now the unit triangle
    ASSERT_EQ(ogawa_compute_tangent_frame(hostile.get(), nullptr), 0);
    for (uint32_t v = 0; v < 3; ++v) EXPECT_EQ(tangent(*hostile.get(), v), kX) << v;

    // A fourth corner past the positions receives nothing; the face counts.
    TestMesh past(kTrianglePositions, {4}, {0, 1, 2, 8});
    past.add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(past.get(), nullptr), 0);
    EXPECT_EQ(bitangent(*past.get(), 2), kY);

    // A set without coordinates contributes nothing.
    TestMesh bare(kTrianglePositions, {3}, {0, 1, 2});
    bare.add_uv_set("uv", {}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(bare.get(), nullptr), 0);
    EXPECT_EQ(tangent(*bare.get(), 0), kZero);
}

TEST(TangentFrame, NormalisesLongSumsAndKeepsShortOnes) {
    // Two triangles share vertex 0: T sums to (1,0,0) + (0,0,1); its length
    // sqrt(2) in single precision divides each component.
    TestMesh mesh({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {3, 3}, {0, 1, 2, 0, 3, 2});
    mesh.add_uv_set("uv", {0, 0, 1, 0, 0, 1, 1, 0}, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), 0);
    const float inv = 1.0f / std::sqrt(2.0f);
    EXPECT_EQ(std::bit_cast<uint32_t>(tangent(*mesh.get(), 0)[0]), std::bit_cast<uint32_t>(inv));
    EXPECT_EQ(std::bit_cast<uint32_t>(tangent(*mesh.get(), 0)[2]), std::bit_cast<uint32_t>(inv));

    // A sum no longer than 1e-8 stays as it is: positions 1e-9 apart with a
    // unit parameterisation give T = (1e-9, 0, 0).
    TestMesh tiny({0, 0, 0, 1e-9f, 0, 0, 0, 1e-9f, 0}, {3}, {0, 1, 2});
    tiny.add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(tiny.get(), nullptr), 0);
    EXPECT_EQ(tangent(*tiny.get(), 0), (Floats{1e-9f, 0, 0}));
    EXPECT_EQ(std::bit_cast<uint32_t>(1e-8f), 0x322BCC77u);
}

TEST(TangentFrame, RefusalsWriteNothing) {
    EXPECT_EQ(ogawa_compute_tangent_frame(nullptr, nullptr), -1);
    TestMesh no_sets(kTrianglePositions, {3}, {0, 1, 2});
    EXPECT_EQ(ogawa_compute_tangent_frame(no_sets.get(), nullptr), -1);
    no_sets->uv_set_count = 1;  // a count without an array
    EXPECT_EQ(ogawa_compute_tangent_frame(no_sets.get(), nullptr), -2);
    EXPECT_EQ(ogawa_compute_tangent_frame(no_sets.get(), "uv"), -2);
    no_sets->uv_set_count = 0;
    TestMesh no_vertices({}, {3}, {0, 1, 2});
    no_vertices.add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    EXPECT_EQ(ogawa_compute_tangent_frame(no_vertices.get(), nullptr), -1);
    no_vertices->position_count = 3;  // a count without positions
    EXPECT_EQ(ogawa_compute_tangent_frame(no_vertices.get(), nullptr), -1);
    no_vertices->position_count = 0;

    // Corners past the face indices, with and without face counts.
    TestMesh counted(kTrianglePositions, {3, 3}, {0, 1, 2, 0, 1});
    TestMesh uncounted(kTrianglePositions, {}, {0, 1, 2, 0, 1}, 2);
    for (TestMesh* mesh : {&counted, &uncounted}) {
        mesh->add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
        mesh->get()->tangent_frame.count = 42;  // a marker the refusal keeps
        EXPECT_EQ(ogawa_compute_tangent_frame(mesh->get(), nullptr), -4);
        EXPECT_EQ(mesh->get()->tangent_frame.count, 42u);
        EXPECT_EQ(mesh->get()->tangent_frame.tangents, nullptr);
        mesh->get()->tangent_frame.count = 0;
    }
}

TEST(TangentFrame, RecomputingAndRunningOutOfMemory) {
    TestMesh mesh(kTrianglePositions, {3}, {0, 1, 2});
    mesh.add_uv_set("uv", kUnitUvs, {}, OGAWA_SCOPE_VERTEX);
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), 0);
    // A second call replaces the arrays (the sanitizers catch a leak).
    ASSERT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), 0);
    EXPECT_EQ(tangent(*mesh.get(), 2), kX);

    {
        zel_test::FailNthAllocation guard(1);
        EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), -3);
        EXPECT_EQ(mesh->tangent_frame.count, 3u);
        EXPECT_EQ(mesh->tangent_frame.tangents, nullptr);
        EXPECT_EQ(mesh->tangent_frame.bitangents, nullptr);
    }
    {
        zel_test::FailNthAllocation guard(2);
        EXPECT_EQ(ogawa_compute_tangent_frame(mesh.get(), nullptr), -3);
        EXPECT_EQ(mesh->tangent_frame.count, 3u);
        EXPECT_NE(mesh->tangent_frame.tangents, nullptr);
        EXPECT_EQ(mesh->tangent_frame.bitangents, nullptr);
    }
    // The mesh's release takes the one array left.
}

TEST(Bounds, BoxOfPositions) {
    ogawa_bounds_t b{};
    const float one[3] = {4, -5, 6};
    ogawa_compute_bounds(one, 1, &b);
    EXPECT_EQ(Floats(b.min, b.min + 3), (Floats{4, -5, 6}));
    EXPECT_EQ(Floats(b.max, b.max + 3), (Floats{4, -5, 6}));

    const float two[6] = {1, 5, -2, 3, -1, 0};
    ogawa_compute_bounds(two, 2, &b);
    EXPECT_EQ(Floats(b.min, b.min + 3), (Floats{1, -1, -2}));
    EXPECT_EQ(Floats(b.max, b.max + 3), (Floats{3, 5, 0}));

    // A NaN after the first position never enters; a first NaN stays.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float later_nan[9] = {1, 1, 1, nan, nan, nan, 2, 0, 3};
    ogawa_compute_bounds(later_nan, 3, &b);
    EXPECT_EQ(Floats(b.min, b.min + 3), (Floats{1, 0, 1}));
    EXPECT_EQ(Floats(b.max, b.max + 3), (Floats{2, 1, 3}));
    const float first_nan[6] = {nan, 1, 1, 5, 0, 2};
    ogawa_compute_bounds(first_nan, 2, &b);
    EXPECT_TRUE(std::isnan(b.min[0]) && std::isnan(b.max[0]));

    // Nothing happens without positions.
    ogawa_bounds_t untouched{{7, 7, 7}, {8, 8, 8}};
    ogawa_compute_bounds(two, 0, &untouched);
    ogawa_compute_bounds(nullptr, 2, &untouched);
    ogawa_compute_bounds(two, 2, nullptr);
    EXPECT_EQ(untouched.min[0], 7.0f);
    EXPECT_EQ(untouched.max[2], 8.0f);
}

TEST(Triangulate, FanAroundTheFirstCorner) {
    const uint32_t pentagon[5] = {10, 11, 12, 13, 14};
    uint32_t* triangles = nullptr;
    uint32_t count = 0;
    ASSERT_EQ(ogawa_triangulate_face(pentagon, 5, &triangles, &count), 0);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(U32s(triangles, triangles + 9), (U32s{10, 11, 12, 10, 12, 13, 10, 13, 14}));
    std::free(triangles);
    ASSERT_EQ(ogawa_triangulate_face(pentagon, 3, &triangles, &count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(U32s(triangles, triangles + 3), (U32s{10, 11, 12}));
    std::free(triangles);

    count = 77;
    EXPECT_EQ(ogawa_triangulate_face(pentagon, 2, &triangles, &count), -1);
    EXPECT_EQ(ogawa_triangulate_face(nullptr, 5, &triangles, &count), -1);
    EXPECT_EQ(ogawa_triangulate_face(pentagon, 5, nullptr, &count), -1);
    EXPECT_EQ(ogawa_triangulate_face(pentagon, 5, &triangles, nullptr), -1);
    EXPECT_EQ(count, 77u);

    zel_test::FailNthAllocation guard(1);
    triangles = reinterpret_cast<uint32_t*>(1);
    EXPECT_EQ(ogawa_triangulate_face(pentagon, 5, &triangles, &count), -2);
    EXPECT_EQ(triangles, nullptr);
    EXPECT_EQ(count, 77u);
}

}  // namespace
