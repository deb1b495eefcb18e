#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "alembic_fixtures.h"
#include "common/file_io.h"
#include "support/test_support.h"
#include "zel_alembic.h"

namespace {

using zel_test::Archive;
using zel_test::RawMesh;
using Bytes = std::vector<unsigned char>;

void put_u32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void put_u64(Bytes& b, uint64_t v) {
    put_u32(b, static_cast<uint32_t>(v));
    put_u32(b, static_cast<uint32_t>(v >> 32));
}
void put_token(Bytes& b, uint64_t morton, const char* id, uint64_t signature, uint8_t layer) {
    put_u64(b, morton);
    b.insert(b.end(), id, id + 8);
    put_u64(b, signature);
    b.push_back(layer);
}
Bytes unit_header(uint32_t count) {
    Bytes b = {'Z', 'E', 'L', 0};
    put_u32(b, 1);
    put_u32(b, count);
    b.resize(24, 0);  // reserved and timestamp
    return b;
}

// The three tokens of the triangle mesh, worked out by hand: cells (0,0,0),
// (47,47,47) and (23,23,23) with Morton codes 0, 0x38FFF and 0x71FF, all
// three with topology hash 0xC1C1C1C1; the signature XORs in the code and
// the cell (0x2F and 0x17 in bytes 4 to 6).
void put_triangle_tokens(Bytes& b) {
    put_token(b, 0, "00000000", 0x00000000C1C1C1C1ull, 1);
    put_token(b, 0x38FFF, "00000001", 0x002F2F2FC1C24E3Eull, 1);
    put_token(b, 0x71FF, "00000002", 0x00171717C1C1B03Eull, 1);
}

TEST(AlembicExport, OneMeshWritesTheUnitFileBytes) {
    zel_test::TempDir dir;
    zel_alembic_mesh_t m;
    ASSERT_EQ(zel_test::load_raw(zel_test::triangle_mesh(), &m), 0);
    const std::string path = dir.file("tri.zel");
    ASSERT_EQ(zel_alembic_export_zel(&m, path.c_str()), 0);
    Bytes expected = unit_header(3);
    put_triangle_tokens(expected);
    ASSERT_EQ(expected.size(), 99u);
    EXPECT_EQ(zel_test::read_file(path), expected);

    EXPECT_EQ(zel_alembic_export_zel(nullptr, path.c_str()), -1);
    EXPECT_EQ(zel_alembic_export_zel(&m, nullptr), -1);
    EXPECT_EQ(zel_alembic_export_zel(&m, dir.path().string().c_str()), -1);
    EXPECT_EQ(zel_alembic_export_zel(&m, dir.file("no/such/folder").c_str()), -1);
#ifndef _WIN32
    EXPECT_EQ(zel_alembic_export_zel(&m, "/dev/full"), -2);
#endif
    const std::string never = dir.file("never.zel");
    zel_alembic_token_slot_t* tokens = m.tokens;
    m.tokens = nullptr;
    EXPECT_EQ(zel_alembic_export_zel(&m, never.c_str()), -1);
    m.tokens = tokens;
    zel_alembic_mesh_free(&m);
    EXPECT_EQ(zel_alembic_export_zel(&m, never.c_str()), -1);  // no vertices
    EXPECT_FALSE(std::filesystem::exists(never));
}

TEST(AlembicExport, ArchiveWritesEveryBaseMeshWithVertices) {
    zel_test::TempDir dir;
    Archive a;
    a.add_mesh(zel_test::triangle_mesh());
    a.add_mesh_record(zel_test::hollow_mesh(0));  // skipped
    a.add_mesh(RawMesh{{5, 5, 5}, {}});  // one vertex: its own bounds, cell 0
    a.add_frame(1, 0, {{1, 2, 3}});      // frames contribute nothing
    const std::string path = dir.file("all.zel");
    ASSERT_EQ(zel_alembic_export_file_zel(a.get(), path.c_str()), 0);
    Bytes expected = unit_header(4);
    put_triangle_tokens(expected);
    put_token(expected, 0, "00000000", 0, 1);  // no faces: hash 0
    EXPECT_EQ(zel_test::read_file(path), expected);

    // Many records cross the writer's buffer: the count and the size agree.
    Archive big;
    zel_test::RawMesh raw;
    std::mt19937 rng(3);
    raw = zel_test::random_mesh(rng, 5000, 100, false);
    big.add_mesh(raw);
    big.add_mesh(raw);
    ASSERT_EQ(zel_alembic_export_file_zel(big.get(), path.c_str()), 0);
    Bytes file = zel_test::read_file(path);
    ASSERT_EQ(file.size(), 24u + 10000u * 25u);
    EXPECT_EQ(zel::load_u32(&file[8]), 10000u);
    EXPECT_EQ(std::memcmp(&file[24 + 5000 * 25 + 8], "00000000", 8), 0);  // second mesh starts again
    EXPECT_EQ(std::memcmp(&file[24 + 4999 * 25 + 8], "00001387", 8), 0);
}

TEST(AlembicExport, ArchiveRefusals) {
    zel_test::TempDir dir;
    const std::string path = dir.file("never.zel");
    Archive empty;
    EXPECT_EQ(zel_alembic_export_file_zel(empty.get(), path.c_str()), -1);
    EXPECT_EQ(zel_alembic_export_file_zel(nullptr, path.c_str()), -1);

    Archive no_slots;  // vertices without token slots
    no_slots.add_mesh(zel_test::triangle_mesh());
    no_slots.add_mesh_record(zel_test::hollow_mesh(2));
    EXPECT_EQ(zel_alembic_export_file_zel(no_slots.get(), path.c_str()), -1);
    EXPECT_EQ(zel_alembic_export_file_zel(no_slots.get(), nullptr), -1);

    // A vertex total beyond 32 bits: refused before a byte is read or written.
    Archive huge;
    zel_alembic_token_slot_t slot{};
    for (int i = 0; i < 2; ++i) {
        zel_alembic_mesh_t m = zel_test::hollow_mesh(0x80000000u);
        m.tokens = &slot;
        huge.add_mesh_record(m);
    }
    EXPECT_EQ(zel_alembic_export_file_zel(huge.get(), path.c_str()), -1);
    EXPECT_FALSE(std::filesystem::exists(path));
    huge->meshes[0].tokens = huge->meshes[1].tokens = nullptr;  // not the archive's to release

    Archive ok;
    ok.add_mesh(zel_test::triangle_mesh());
    EXPECT_EQ(zel_alembic_export_file_zel(ok.get(), dir.path().string().c_str()), -1);
#ifndef _WIN32
    EXPECT_EQ(zel_alembic_export_file_zel(ok.get(), "/dev/full"), -2);
#endif
}

TEST(AlembicReports, MeshReport) {
    zel_alembic_mesh_t m;
    ASSERT_EQ(zel_test::load_raw(zel_test::triangle_mesh(), &m, "tri"), 0);
    char buffer[512];
    zel_alembic_mesh_info(&m, buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "Mesh: tri\nVertices: 3\nFaces: 1\nBounds: [0.000,0.000,0.000] - [2.000,4.000,8.000]\n"
                 "Layer: L1\nZEL Processed: yes\nTokens Generated: yes");
    zel_alembic_mesh_free(&m);
    zel_alembic_mesh_info(&m, buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "Mesh: tri\nVertices: 0\nFaces: 0\nBounds: [0.000,0.000,0.000] - [2.000,4.000,8.000]\n"
                 "Layer: L1\nZEL Processed: no\nTokens Generated: no");

    // Cut to the buffer, always terminated.
    char small[12];
    std::memset(small, 'x', sizeof small);
    zel_alembic_mesh_info(&m, small, 10);
    EXPECT_STREQ(small, "Mesh: tri");
    EXPECT_EQ(small[10], 'x');
    zel_alembic_mesh_info(&m, small, 1);
    EXPECT_EQ(small[0], '\0');
    EXPECT_EQ(small[1], 'e');
    small[0] = 'q';
    zel_alembic_mesh_info(&m, small, 0);
    zel_alembic_mesh_info(nullptr, small, 12);
    zel_alembic_mesh_info(&m, nullptr, 12);
    EXPECT_EQ(small[0], 'q');

    // A name filling its whole field is read no further than 63 characters.
    std::memset(m.name, 'N', sizeof m.name);
    m.layer = 200;
    m.bounds[0] = -1.23456f;
    zel_alembic_mesh_info(&m, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer).substr(0, 70), "Mesh: " + std::string(63, 'N') + "\n");
    EXPECT_NE(std::string(buffer).find("[-1.235,"), std::string::npos);
    EXPECT_NE(std::string(buffer).find("Layer: L200\n"), std::string::npos);
}

TEST(AlembicReports, ArchiveReport) {
    Archive a;
    a->version = 1;
    a->mesh_count = 2;
    a->total_vertices = 5000000000ull;
    a->total_faces = 7;
    a->total_tokens = 3;
    a->frame_count = 4;
    a->fps = 23.976f;
    a->time_start = -0.5f;
    a->time_end = 1.0625f;
    std::strcpy(a->source, "/tmp/scene.bzel");
    char buffer[400];
    zel_alembic_file_info(a.get(), buffer, sizeof buffer);
    EXPECT_STREQ(buffer,
                 "ZEL Alembic File\n================\nVersion: 1\nMeshes: 2\nTotal Vertices: 5000000000\n"
                 "Total Faces: 7\nTotal Tokens: 3\nFrames: 4\nFPS: 23.98\nTime Range: -0.500 - 1.062 sec\n"
                 "Source: /tmp/scene.bzel");
    a->mesh_count = 0;
    a->frame_count = 0;  // the archive holds none of them
    // A source filling its whole field is read no further than 255 characters.
    std::memset(a->source, 'S', sizeof a->source);
    char wide[700];
    zel_alembic_file_info(a.get(), wide, sizeof wide);
    std::string text(wide);
    EXPECT_EQ(text.substr(text.find("Source: ") + 8), std::string(255, 'S'));
    zel_alembic_file_info(a.get(), buffer, 17);
    EXPECT_STREQ(buffer, "ZEL Alembic File");
    buffer[0] = 'q';
    zel_alembic_file_info(nullptr, buffer, 17);
    zel_alembic_file_info(a.get(), buffer, -3);
    EXPECT_EQ(buffer[0], 'q');
}

TEST(AlembicValidate, ChecksBaseMeshesInOrder) {
    zel_test::TempDir dir;
    Archive built;
    built.add_mesh(zel_test::triangle_mesh());
    built.add_mesh(RawMesh{{1, 2, 3, 4, 5, 6}, {}});
    ASSERT_EQ(zel_alembic_save(dir.file("a").c_str(), built.get()), 0);
    Archive a;
    ASSERT_EQ(zel_alembic_load(dir.file("a").c_str(), a.get()), 0);
    EXPECT_EQ(zel_alembic_validate(a.get()), 0);

    zel_alembic_vertex_t& r = a->meshes[1].vertices[1];
    for (int axis = 0; axis < 3; ++axis) {
        uint8_t kept = r.matrix[axis];
        r.matrix[axis] = 48;
        EXPECT_EQ(zel_alembic_validate(a.get()), -5) << axis;
        r.matrix[axis] = kept;
    }
    r.k11_level = 12;
    EXPECT_EQ(zel_alembic_validate(a.get()), -6);
    r.k11_level = -12;
    EXPECT_EQ(zel_alembic_validate(a.get()), -6);
    r.matrix[2] = 200;
    EXPECT_EQ(zel_alembic_validate(a.get()), -5);  // coordinates are tested first
    r.k11_level = 11;
    r.matrix[2] = 47;
    EXPECT_EQ(zel_alembic_validate(a.get()), 0);

    // A mesh without records passes after its first two tests.
    zel_alembic_vertex_t* records = a->meshes[0].vertices;
    a->meshes[0].vertices = nullptr;
    r.k11_level = 99;
    EXPECT_EQ(zel_alembic_validate(a.get()), -6);  // the second mesh is still checked
    r.k11_level = 0;
    EXPECT_EQ(zel_alembic_validate(a.get()), 0);
    a->meshes[0].vertices = records;

    float* positions = a->meshes[1].positions;
    a->meshes[1].positions = nullptr;
    EXPECT_EQ(zel_alembic_validate(a.get()), -3);
    a->meshes[1].positions = positions;
    uint32_t count = a->meshes[1].vertex_count;
    a->meshes[1].vertex_count = 0;
    EXPECT_EQ(zel_alembic_validate(a.get()), -4);
    a->meshes[1].vertex_count = count;

    EXPECT_EQ(zel_alembic_validate(nullptr), -1);
    Archive none;
    EXPECT_EQ(zel_alembic_validate(none.get()), -2);
}

}  // namespace
