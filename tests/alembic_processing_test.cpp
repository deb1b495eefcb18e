#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "alembic_fixtures.h"
#include "support/alloc_failure.h"
#include "zel_alembic.h"

namespace {

using zel_test::RawMesh;

uint32_t bits(float f) { return std::bit_cast<uint32_t>(f); }

struct Cell {
    uint8_t x, y, z;
};

Cell to_matrix(float x, float y, float z, const float* bounds) {
    Cell c{99, 99, 99};
    zel_alembic_world_to_matrix(x, y, z, bounds, &c.x, &c.y, &c.z);
    return c;
}

// The record of the lattice cell (x, y, z): positions at cell centres of a
// 0..47 box land in that cell.
zel_alembic_vertex_t record_of_cell(int x, int y, int z) {
    const float bounds[6] = {0, 0, 0, 47, 47, 47};
    const float p[3] = {x + 0.5f, y + 0.5f, z + 0.5f};
    zel_alembic_vertex_t r;
    std::memset(&r, 0xAA, sizeof r);
    zel_alembic_process_vertex(p, bounds, &r);
    EXPECT_EQ(r.matrix[0], x);
    EXPECT_EQ(r.matrix[1], y);
    EXPECT_EQ(r.matrix[2], z);
    return r;
}

std::string hex_of(const zel_token_t& t) { return std::string(t.hex_id, 8); }

TEST(AlembicLattice, BoundsTakeMinimumAndMaximumPerAxis) {
    const float p[] = {1, 5, -2, -3, 7, 0, 2, 6, 9};
    float b[6] = {};
    zel_alembic_compute_bounds(p, 3, b);
    const float expected[6] = {-3, 5, -2, 2, 7, 9};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(b[i], expected[i]) << i;

    // A NaN after the first vertex fails both comparisons and is passed over.
    const float with_nan[] = {1, 1, 1, std::numeric_limits<float>::quiet_NaN(), 4, 0};
    zel_alembic_compute_bounds(with_nan, 2, b);
    EXPECT_EQ(b[0], 1.0f);
    EXPECT_EQ(b[3], 1.0f);
    EXPECT_EQ(b[4], 4.0f);
    EXPECT_EQ(b[2], 0.0f);

    float untouched[6] = {7, 7, 7, 7, 7, 7};
    zel_alembic_compute_bounds(p, 0, untouched);
    zel_alembic_compute_bounds(nullptr, 3, untouched);
    for (float v : untouched) EXPECT_EQ(v, 7.0f);
    zel_alembic_compute_bounds(p, 3, nullptr);
}

TEST(AlembicLattice, WorldToMatrixClampsTruncatesAndGuardsTheExtent) {
    const float b[6] = {0, -1, 10, 2, 1, 10};  // z is flat
    Cell max = to_matrix(2, 1, 10, b);
    EXPECT_EQ(max.x, 47);
    EXPECT_EQ(max.y, 47);
    EXPECT_EQ(max.z, 0);  // zero extent counts as 1: (10 - 10) / 1 x 47
    Cell mid = to_matrix(1, 0, 10.5f, b);
    EXPECT_EQ(mid.x, 23);  // 0.5 x 47 = 23.5, truncated
    EXPECT_EQ(mid.y, 23);
    EXPECT_EQ(mid.z, 23);  // flat axis: 0.5 / 1 x 47
    Cell outside = to_matrix(-5, 9, 100, b);
    EXPECT_EQ(outside.x, 0);
    EXPECT_EQ(outside.y, 47);
    EXPECT_EQ(outside.z, 47);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Cell n = to_matrix(nan, nan, nan, b);
    EXPECT_EQ(n.x, 0);
    EXPECT_EQ(n.y, 0);
    EXPECT_EQ(n.z, 0);

    // The guard is "extent below 0.0001": 0.0001 itself is kept.
    const float tiny = std::bit_cast<float>(0x38D1B717u);
    const float at_guard[6] = {0, 0, 0, tiny, std::nextafter(tiny, 0.0f), 1};
    Cell g = to_matrix(tiny, std::nextafter(tiny, 0.0f), 0, at_guard);
    EXPECT_EQ(g.x, 47);  // kept extent: the value sits at the maximum
    EXPECT_EQ(g.y, 0);   // replaced by 1: a tiny fraction of 47

    Cell untouched = to_matrix(1, 1, 1, nullptr);
    EXPECT_EQ(untouched.x, 99);
}

TEST(AlembicLattice, MatrixToWorldSpansTheBounds) {
    const float b[6] = {-1, 0, 5, 1, 47, 5};
    float x = 0, y = 0, z = 0;
    zel_alembic_matrix_to_world(47, 0, 47, b, &x, &y, &z);
    EXPECT_EQ(x, 1.0f);  // (47 / 47) x 2 - 1
    EXPECT_EQ(y, 0.0f);
    EXPECT_EQ(z, 5.0f);  // no extent guard here: 1 x 0 + 5
    zel_alembic_matrix_to_world(0, 47, 0, b, &x, &y, &z);
    EXPECT_EQ(x, -1.0f);
    EXPECT_EQ(y, 47.0f);
    x = 3;
    zel_alembic_matrix_to_world(1, 1, 1, nullptr, &x, &y, &z);
    EXPECT_EQ(x, 3.0f);
}

TEST(AlembicVertex, CornerAndCentreRecords) {
    zel_alembic_vertex_t origin = record_of_cell(0, 0, 0);
    EXPECT_EQ(origin.morton, 0u);
    EXPECT_EQ(origin.k11_level, -11);
    EXPECT_EQ(origin.i_state, 1);
    EXPECT_EQ(bits(origin.phi_norm), 0x3FCF1BBDu);  // a corner gives exactly phi
    EXPECT_EQ(bits(origin.em_coupling), 0x41306793u);  // 11.025287

    zel_alembic_vertex_t far = record_of_cell(47, 47, 47);
    EXPECT_EQ(far.morton, 0x38FFFu);
    EXPECT_EQ(far.k11_level, -8);  // 141 mod 23 = 3
    EXPECT_EQ(far.i_state, 0);
    EXPECT_EQ(far.phi_norm, origin.phi_norm);

    EXPECT_EQ(record_of_cell(1, 0, 0).morton, 1u);
    EXPECT_EQ(record_of_cell(0, 1, 0).morton, 2u);
    EXPECT_EQ(record_of_cell(0, 0, 1).morton, 4u);
    // 23 = 0b010111: x bits 0 1 2 4 go to 0 3 6 12, y and z one and two above.
    EXPECT_EQ(record_of_cell(23, 23, 23).morton, 0x71FFu);
    EXPECT_EQ(record_of_cell(10, 20, 30).morton, 27560u);

    // sqrt(0.75) / corner x phi, the same value the matrix-48 operators give.
    EXPECT_EQ(record_of_cell(23, 23, 23).phi_norm, 0.0344262532889843f);
    zel_alembic_vertex_t r = record_of_cell(10, 20, 30);
    EXPECT_EQ(bits(r.phi_norm), 0x3F1C9534u);  // 0.6116516590118408
    EXPECT_EQ(bits(r.em_coupling), 0x412CD39Fu);

    // All single precision: one ulp above the matrix-48 coupling (0x412FF5D9,
    // which widens to double for the last product).
    EXPECT_EQ(bits(record_of_cell(0, 0, 6).em_coupling), 0x412FF5DAu);
}

TEST(AlembicVertex, LevelsStatesAndCleanPadding) {
    // Level -11 selects index 1, -10 index 2, 0 index 0, 11 index 3.
    EXPECT_EQ(record_of_cell(0, 0, 0).i_state, 1);
    EXPECT_EQ(record_of_cell(1, 0, 0).i_state, 255);
    EXPECT_EQ(record_of_cell(1, 0, 0).k11_level, -10);
    EXPECT_EQ(record_of_cell(11, 0, 0).k11_level, 0);
    EXPECT_EQ(record_of_cell(11, 0, 0).i_state, 0);
    EXPECT_EQ(record_of_cell(22, 0, 0).k11_level, 11);
    EXPECT_EQ(record_of_cell(22, 0, 0).i_state, 2);
    EXPECT_EQ(record_of_cell(23, 0, 0).k11_level, -11);

    zel_alembic_vertex_t r = record_of_cell(5, 6, 7);
    EXPECT_EQ(r.padding0, 0);
    EXPECT_EQ(r.padding1[0], 0);
    EXPECT_EQ(r.padding1[1], 0);
    EXPECT_EQ(r.topology_hash, 0u);
    EXPECT_EQ(r.position[0], 5.5f);

    zel_alembic_vertex_t kept;
    std::memset(&kept, 0xAA, sizeof kept);
    const float p[3] = {0, 0, 0}, b[6] = {};
    zel_alembic_process_vertex(nullptr, b, &kept);
    zel_alembic_process_vertex(p, nullptr, &kept);
    zel_alembic_process_vertex(p, b, nullptr);
    EXPECT_EQ(kept.padding0, 0xAA);
    EXPECT_EQ(kept.topology_hash, 0xAAAAAAAAu);
}

TEST(AlembicTopology, SingleVertexHash) {
    const uint32_t tri[] = {0, 1, 2};
    // (0 x K1) ^ (1 x 0x2E2E2E2E) ^ (2 x 0x3D3D3D3D) = 0x54545454; ^ 0x5A5A5A5A
    // = 0x0E0E0E0E; rotated left by 5: 0xC1C1C1C1.
    EXPECT_EQ(zel_alembic_topology_hash(0, tri, 1), 0xC1C1C1C1u);
    EXPECT_EQ(zel_alembic_topology_hash(2, tri, 1), 0xC1C1C1C1u);
    EXPECT_EQ(zel_alembic_topology_hash(3, tri, 1), 0x5A5A5A5Au);
    EXPECT_EQ(zel_alembic_topology_hash(0, tri, 0), 0u);
    EXPECT_EQ(zel_alembic_topology_hash(0, nullptr, 1), 0u);
    // A face naming the vertex twice folds in once: (1 x 0x1F1F1F1F) ^
    // (1 x 0x2E2E2E2E) ^ 0 = 0x31313131; ^ 0x5A5A5A5A = 0x6B6B6B6B; rotl 5.
    const uint32_t twice[] = {1, 1, 0};
    EXPECT_EQ(zel_alembic_topology_hash(1, twice, 1), 0x6D6D6D6Du);
    // Faces fold in array order.
    const uint32_t two[] = {0, 1, 2, 1, 1, 0};
    const uint32_t swapped[] = {1, 1, 0, 0, 1, 2};
    EXPECT_NE(zel_alembic_topology_hash(1, two, 2), zel_alembic_topology_hash(1, swapped, 2));
}

TEST(AlembicToken, IdentifierSignatureAndLayer) {
    zel_alembic_vertex_t r = record_of_cell(47, 47, 47);
    r.topology_hash = 0xC1C1C1C1u;
    zel_token_t t;
    std::memset(&t, 0x55, sizeof t);
    zel_alembic_generate_token(&r, 9, 0x1AB, 0x12345678u, &t);
    EXPECT_EQ(hex_of(t), "AB345678");  // only the low 8 bits of id_high, low 24 of the index
    EXPECT_EQ(uint64_t{t.morton}, 0x38FFFu);  // copied: a packed field may be misaligned
    // 0xC1C1C1C1 ^ 0x38FFF in the low word, 0x2F in bytes 4, 5 and 6.
    EXPECT_EQ(uint64_t{t.signature}, 0x002F2F2FC1C24E3Eull);
    EXPECT_EQ(t.layer, 9);
    // The identifier has no terminator: the signature follows it directly.
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&t);
    EXPECT_EQ(bytes[15], '8');
    EXPECT_EQ(bytes[16], 0x3E);

    zel_alembic_generate_token(&r, 1, 0, 16777216u, &t);
    EXPECT_EQ(hex_of(t), "00000000");
    zel_alembic_generate_token(&r, 1, 0, 0xFFFFFFu, &t);
    EXPECT_EQ(hex_of(t), "00FFFFFF");

    zel_alembic_generate_token(nullptr, 3, 0, 0, &t);
    EXPECT_EQ(t.layer, 1);
    zel_alembic_generate_token(&r, 3, 0, 0, nullptr);
}

TEST(AlembicProcessMesh, RefusesMeshesItCannotProcess) {
    EXPECT_EQ(zel_alembic_process_mesh(nullptr, 1), -1);
    zel_alembic_mesh_t empty = zel_test::hollow_mesh(0);
    EXPECT_EQ(zel_alembic_process_mesh(&empty, 1), -1);
    // Vertices without positions: refused before anything is allocated.
    zel_alembic_mesh_t no_positions = zel_test::hollow_mesh(3);
    EXPECT_EQ(zel_alembic_process_mesh(&no_positions, 1), -1);
    EXPECT_EQ(no_positions.vertices, nullptr);
    EXPECT_EQ(no_positions.tokens, nullptr);
    EXPECT_EQ(no_positions.layer, 0);
}

TEST(AlembicProcessMesh, AllocationFailuresKeepWhatWasObtained) {
    RawMesh raw = zel_test::triangle_mesh();
    for (uint64_t nth : {1u, 2u}) {
        zel_alembic_mesh_t m = zel_test::hollow_mesh(3);
        m.positions = raw.positions.data();
        {
            zel_test::FailNthAllocation guard(nth);
            EXPECT_EQ(zel_alembic_process_mesh(&m, 1), -4);
            EXPECT_TRUE(guard.fired());
        }
        EXPECT_EQ(m.vertices != nullptr, nth == 2);
        EXPECT_EQ(m.tokens, nullptr);
        // Processing again completes the mesh, reusing the array obtained.
        zel_alembic_vertex_t* kept = m.vertices;
        EXPECT_EQ(zel_alembic_process_mesh(&m, 1), 0);
        if (kept) {
            EXPECT_EQ(m.vertices, kept);
        }
        m.positions = nullptr;
        zel_alembic_mesh_free(&m);
    }
}

TEST(AlembicProcessMesh, ReprocessingReusesArraysAndZeroesPadding) {
    zel_alembic_mesh_t m;
    ASSERT_EQ(zel_test::load_raw(zel_test::triangle_mesh(), &m), 0);
    EXPECT_EQ(m.layer, 1);
    std::vector<zel_alembic_vertex_t> first(m.vertices, m.vertices + 3);
    zel_alembic_vertex_t* vertices = m.vertices;
    zel_alembic_token_slot_t* tokens = m.tokens;
    std::memset(m.vertices, 0xEE, 3 * sizeof *m.vertices);  // stale records, padding included
    std::memset(m.tokens, 0xEE, 3 * sizeof *m.tokens);

    ASSERT_EQ(zel_alembic_process_mesh(&m, 2), 0);
    EXPECT_EQ(m.vertices, vertices);
    EXPECT_EQ(m.tokens, tokens);
    EXPECT_EQ(m.layer, 2);
    EXPECT_EQ(std::memcmp(first.data(), m.vertices, 3 * sizeof *m.vertices), 0);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.tokens[i].token.layer, 2);
        for (uint8_t pad : m.tokens[i].padding) EXPECT_EQ(pad, 0);
    }
    zel_alembic_mesh_free(&m);
}

TEST(AlembicProcessMesh, BoundsAreRecomputedOnlyWhenXIsZeroOnBothSides) {
    RawMesh raw = zel_test::triangle_mesh();
    zel_alembic_mesh_t m;
    ASSERT_EQ(zel_test::load_raw(raw, &m), 0);

    // Bounds of x both 0: recomputed, even though the caller set y and z.
    const float caller[6] = {0, -100, -100, 0, 100, 100};
    std::memcpy(m.bounds, caller, sizeof caller);
    ASSERT_EQ(zel_alembic_process_mesh(&m, 1), 0);
    EXPECT_EQ(m.bounds[4], 4.0f);
    EXPECT_EQ(m.vertices[1].matrix[1], 47);

    // Caller bounds otherwise stand: the vertices beyond them clamp.
    const float narrow[6] = {0.5f, 0, 0, 1, 2, 4};
    std::memcpy(m.bounds, narrow, sizeof narrow);
    ASSERT_EQ(zel_alembic_process_mesh(&m, 1), 0);
    EXPECT_EQ(m.bounds[0], 0.5f);
    EXPECT_EQ(m.vertices[0].matrix[0], 0);   // below the minimum
    EXPECT_EQ(m.vertices[1].matrix[2], 47);  // above the maximum
    EXPECT_EQ(m.vertices[2].matrix[0], 47);  // at the maximum

    // A NaN is not zero: those bounds are used as they stand.
    m.bounds[0] = std::numeric_limits<float>::quiet_NaN();
    m.bounds[3] = 0;
    ASSERT_EQ(zel_alembic_process_mesh(&m, 1), 0);
    EXPECT_TRUE(std::isnan(m.bounds[0]));
    zel_alembic_mesh_free(&m);
}

TEST(AlembicLoadRaw, CopiesNamesCountsAndArrays) {
    RawMesh raw = zel_test::triangle_mesh();
    zel_alembic_mesh_t m;
    std::memset(&m, 0x77, sizeof m);
    ASSERT_EQ(zel_alembic_load_raw(raw.positions.data(), 3, raw.faces.data(), 1, nullptr, &m), 0);
    EXPECT_STREQ(m.name, "unnamed");
    EXPECT_EQ(m.reserved, 0u);
    EXPECT_NE(m.faces, raw.faces.data());
    EXPECT_EQ(m.faces[2], 2u);
    EXPECT_EQ(m.bounds[5], 8.0f);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(m.vertices[i].topology_hash, 0xC1C1C1C1u);
        EXPECT_EQ(m.tokens[i].token.layer, 1);
        EXPECT_EQ(hex_of(m.tokens[i].token), "0000000" + std::to_string(i));
    }
    zel_alembic_mesh_free(&m);
    EXPECT_EQ(m.positions, nullptr);
    EXPECT_EQ(m.vertex_count, 0u);
    EXPECT_STREQ(m.name, "unnamed");  // the name stays
    zel_alembic_mesh_free(nullptr);

    std::string long_name(100, 'n');
    ASSERT_EQ(zel_alembic_load_raw(raw.positions.data(), 3, nullptr, 0, long_name.c_str(), &m), 0);
    EXPECT_EQ(std::string(m.name), long_name.substr(0, 63));
    EXPECT_EQ(m.faces, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m.vertices[i].topology_hash, 0u);
    zel_alembic_mesh_free(&m);

    // A face count without a face array: no faces are copied, the count stays.
    ASSERT_EQ(zel_alembic_load_raw(raw.positions.data(), 3, nullptr, 5, "x", &m), 0);
    EXPECT_EQ(m.faces, nullptr);
    EXPECT_EQ(m.face_count, 5u);
    EXPECT_EQ(m.vertices[0].topology_hash, 0u);
    zel_alembic_mesh_free(&m);

    EXPECT_EQ(zel_alembic_load_raw(nullptr, 3, nullptr, 0, "x", &m), -1);
    EXPECT_EQ(zel_alembic_load_raw(raw.positions.data(), 3, nullptr, 0, "x", nullptr), -1);
}

TEST(AlembicLoadRaw, NoVerticesKeepsTheCopiedArrays) {
    RawMesh raw = zel_test::triangle_mesh();
    zel_alembic_mesh_t m;
    EXPECT_EQ(zel_alembic_load_raw(raw.positions.data(), 0, raw.faces.data(), 1, "empty", &m), -1);
    EXPECT_STREQ(m.name, "empty");
    EXPECT_EQ(m.face_count, 1u);
    EXPECT_NE(m.positions, nullptr);
    EXPECT_NE(m.faces, nullptr);
    EXPECT_EQ(m.vertices, nullptr);
    EXPECT_EQ(m.bounds[3], 0.0f);
    zel_alembic_mesh_free(&m);  // releases both
    EXPECT_EQ(m.faces, nullptr);
}

TEST(AlembicLoadRaw, EveryAllocationFailureIsReported) {
    RawMesh raw = zel_test::triangle_mesh();
    // Positions, faces, vertex records, token slots.
    for (uint64_t nth = 1; nth <= 4; ++nth) {
        zel_alembic_mesh_t m;
        zel_test::FailNthAllocation guard(nth);
        EXPECT_EQ(zel_test::load_raw(raw, &m), -4) << nth;
        EXPECT_TRUE(guard.fired());
        EXPECT_EQ(m.positions != nullptr, nth > 2) << nth;
        EXPECT_EQ(m.faces != nullptr, nth > 2) << nth;
        EXPECT_EQ(m.vertices != nullptr, nth > 3) << nth;
        EXPECT_EQ(m.tokens, nullptr);
        zel_alembic_mesh_free(&m);
    }
    zel_alembic_mesh_t m;
    zel_test::FailNthAllocation guard(5);
    EXPECT_EQ(zel_test::load_raw(raw, &m), 0);
    EXPECT_FALSE(guard.fired());
    zel_alembic_mesh_free(&m);
}

}  // namespace
