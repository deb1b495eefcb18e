#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "alembic_fixtures.h"
#include "common/file_io.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"
#include "zel_alembic.h"

namespace {

using zel_test::Archive;
using zel_test::RawMesh;
using Bytes = std::vector<unsigned char>;

// Two base meshes (the second without faces), two frames, every header value
// set to something recognisable.
void fill_sample(Archive& a) {
    a.add_mesh(zel_test::triangle_mesh(), "tri");
    a.add_mesh(RawMesh{{1, 2, 3, -1, 0, 5}, {}}, "pair");
    a->meshes[1].reserved = 0xBEEF;
    a->total_faces = 77;
    a->fps = 24.0f;
    a->time_start = 0.5f;
    a->time_end = 2.25f;
    a->reserved = 0xC0FFEE;
    a.add_frame(1, 0.5f, {{0, 0, 0, 1, 1, 1, 2, 2, 2}, {9, 9, 9}});
    a.add_frame(2, 1.0f, {});
}

uint64_t block_bytes(uint64_t v, uint64_t f) { return 101 + 84 * v + 12 * f; }

void expect_empty(const zel_alembic_t& a) {
    EXPECT_EQ(a.meshes, nullptr);
    EXPECT_EQ(a.frames, nullptr);
    EXPECT_EQ(a.hash_table, nullptr);
    EXPECT_EQ(a.mesh_count, 0u);
    EXPECT_EQ(a.frame_count, 0u);
}

// Equal contents; an empty range matches whatever the pointers.
bool same_bytes(const void* x, const void* y, size_t n) {
    return n == 0 || (x && y && std::memcmp(x, y, n) == 0);
}

void expect_same_mesh(const zel_alembic_mesh_t& x, const zel_alembic_mesh_t& y) {
    EXPECT_EQ(std::memcmp(x.name, y.name, sizeof x.name), 0);
    ASSERT_EQ(x.vertex_count, y.vertex_count);
    ASSERT_EQ(x.face_count, y.face_count);
    EXPECT_EQ(std::memcmp(x.bounds, y.bounds, sizeof x.bounds), 0);
    EXPECT_EQ(x.reserved, y.reserved);
    EXPECT_EQ(x.layer, y.layer);
    size_t v = x.vertex_count;
    EXPECT_TRUE(same_bytes(x.positions, y.positions, 12 * v));
    EXPECT_TRUE(same_bytes(x.faces, y.faces, 12 * size_t{x.face_count}));
    EXPECT_TRUE(same_bytes(x.vertices, y.vertices, 40 * v));
    EXPECT_TRUE(same_bytes(x.tokens, y.tokens, 32 * v));
}

void expect_same_archive(const zel_alembic_t& x, const zel_alembic_t& y) {
    ASSERT_EQ(x.mesh_count, y.mesh_count);
    ASSERT_EQ(x.frame_count, y.frame_count);
    EXPECT_EQ(x.total_faces, y.total_faces);
    EXPECT_EQ(x.reserved, y.reserved);
    EXPECT_EQ(std::bit_cast<uint32_t>(x.fps), std::bit_cast<uint32_t>(y.fps));
    EXPECT_EQ(x.time_start, y.time_start);
    EXPECT_EQ(x.time_end, y.time_end);
    for (uint32_t m = 0; m < x.mesh_count; ++m) expect_same_mesh(x.meshes[m], y.meshes[m]);
    for (uint32_t f = 0; f < x.frame_count; ++f) {
        const zel_alembic_frame_t& fx = x.frames[f];
        const zel_alembic_frame_t& fy = y.frames[f];
        EXPECT_EQ(fx.frame_number, fy.frame_number);
        EXPECT_EQ(fx.time, fy.time);
        ASSERT_EQ(fx.mesh_count, fy.mesh_count);
        for (uint32_t m = 0; m < fx.mesh_count; ++m) {
            ASSERT_EQ(fx.meshes[m].vertex_count, fy.meshes[m].vertex_count);
            EXPECT_TRUE(same_bytes(fx.meshes[m].positions, fy.meshes[m].positions, 12 * size_t{fx.meshes[m].vertex_count}));
            EXPECT_EQ(fy.meshes[m].vertices, nullptr);
        }
    }
}

TEST(AlembicArchiveFile, SaveThenLoadReproducesEverything) {
    zel_test::TempDir dir;
    Archive a;
    fill_sample(a);
    a->total_vertices = 1234;  // not what the meshes hold: load recomputes it
    const std::string path = dir.file("sample.bzel");
    ASSERT_EQ(zel_alembic_save(path.c_str(), a.get()), 0);

    Bytes file = zel_test::read_file(path);
    uint64_t frames = (12 + 4 + 36 + 4 + 12) + (12);
    ASSERT_EQ(file.size(), 64 + block_bytes(3, 1) + block_bytes(2, 0) + frames);
    EXPECT_EQ(std::memcmp(file.data(), "BZEL", 4), 0);
    EXPECT_EQ(zel::load_u32(&file[4]), 1u);
    EXPECT_EQ(zel::load_u32(&file[8]), 2u);
    EXPECT_EQ(zel::load_u32(&file[12]), 2u);
    EXPECT_EQ(zel::load_u64(&file[16]), 1234u);
    EXPECT_EQ(zel::load_u64(&file[24]), 77u);
    EXPECT_EQ(zel::load_f32(&file[32]), 24.0f);
    EXPECT_EQ(zel::load_f32(&file[36]), 0.5f);
    EXPECT_EQ(zel::load_f32(&file[40]), 2.25f);
    EXPECT_EQ(zel::load_u32(&file[44]), 0xC0FFEEu);
    for (int i = 48; i < 64; ++i) EXPECT_EQ(file[i], 0) << i;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[64])), "tri");
    EXPECT_EQ(zel::load_u32(&file[64 + 64]), 3u);
    EXPECT_EQ(zel::load_u32(&file[64 + 68]), 1u);
    EXPECT_EQ(file[64 + 100], 1);  // layer

    Archive b;
    ASSERT_EQ(zel_alembic_load(path.c_str(), b.get()), 0);
    expect_same_archive(*a, *b);
    EXPECT_EQ(b->version, 1u);
    EXPECT_EQ(b->total_vertices, 5u);
    EXPECT_EQ(b->total_tokens, 5u);
    EXPECT_EQ(std::string(b->source), path);
    EXPECT_NE(b->hash_table, nullptr);
    EXPECT_EQ(b->hash_size, ZEL_ALEMBIC_HASH_SIZE);

    // Saving the loaded archive gives the same bytes, with the true total.
    const std::string again = dir.file("again.bzel");
    ASSERT_EQ(zel_alembic_save(again.c_str(), b.get()), 0);
    zel::store_u64(&file[16], 5);
    EXPECT_EQ(zel_test::read_file(again), file);
}

TEST(AlembicArchiveFile, PaddingIsZeroWhenProcessedAndKeptWhenLoaded) {
    zel_test::TempDir dir;
    RawMesh raw = zel_test::triangle_mesh();
    // A mesh whose record arrays held garbage before processing.
    zel_alembic_mesh_t dirty;
    ASSERT_EQ(zel_test::load_raw(raw, &dirty), 0);
    std::memset(dirty.vertices, 0xAB, 3 * sizeof *dirty.vertices);
    std::memset(dirty.tokens, 0xAB, 3 * sizeof *dirty.tokens);
    ASSERT_EQ(zel_alembic_process_mesh(&dirty, 1), 0);
    Archive clean, stale;
    clean.add_mesh(raw);
    stale.add_mesh_record(dirty);
    clean->total_vertices = stale->total_vertices = 3;  // as a load computes it
    ASSERT_EQ(zel_alembic_save(dir.file("clean").c_str(), clean.get()), 0);
    ASSERT_EQ(zel_alembic_save(dir.file("stale").c_str(), stale.get()), 0);
    EXPECT_EQ(zel_test::read_file(dir.file("clean")), zel_test::read_file(dir.file("stale")));

    // Padding read from a file survives a load and a save.
    Bytes file = zel_test::read_file(dir.file("clean"));
    const size_t records = 64 + 101 + 36 + 12;
    const size_t slots = records + 3 * 40;
    file[records + 15] = 0x11;      // padding0 of vertex 0
    file[records + 40 + 27] = 0x22;  // padding1[1] of vertex 1
    file[slots + 32 + 31] = 0x33;    // last padding byte of slot 1
    zel_test::write_file(dir.file("padded"), file);
    Archive loaded;
    ASSERT_EQ(zel_alembic_load(dir.file("padded").c_str(), loaded.get()), 0);
    EXPECT_EQ(loaded->meshes[0].vertices[0].padding0, 0x11);
    EXPECT_EQ(loaded->meshes[0].vertices[1].padding1[1], 0x22);
    EXPECT_EQ(loaded->meshes[0].tokens[1].padding[6], 0x33);
    ASSERT_EQ(zel_alembic_save(dir.file("resaved").c_str(), loaded.get()), 0);
    EXPECT_EQ(zel_test::read_file(dir.file("resaved")), file);
}

TEST(AlembicArchiveFile, ArchiveWithoutFramesLeavesFramesUntouched) {
    zel_test::TempDir dir;
    Archive a;
    a.add_mesh(zel_test::triangle_mesh());
    const std::string path = dir.file("a");
    ASSERT_EQ(zel_alembic_save(path.c_str(), a.get()), 0);
    EXPECT_EQ(zel_test::read_file(path).size(), 64 + block_bytes(3, 1));
    Archive b;
    ASSERT_EQ(zel_alembic_load(path.c_str(), b.get()), 0);
    EXPECT_EQ(b->frame_count, 0u);
    EXPECT_EQ(b->frames, nullptr);

    // Bytes after the last block are never read.
    Bytes file = zel_test::read_file(path);
    file.insert(file.end(), 50, 0xFF);
    zel_test::write_file(path, file);
    Archive c;
    ASSERT_EQ(zel_alembic_load(path.c_str(), c.get()), 0);
    expect_same_archive(*a, *c);
}

TEST(AlembicArchiveFile, HeaderFailures) {
    zel_test::TempDir dir;
    Archive a;
    EXPECT_EQ(zel_alembic_load(nullptr, a.get()), -1);
    EXPECT_EQ(zel_alembic_load(dir.file("x").c_str(), nullptr), -1);
    EXPECT_EQ(zel_alembic_load(dir.file("missing").c_str(), a.get()), -1);
    EXPECT_EQ(zel_alembic_load(dir.file("no/such/folder").c_str(), a.get()), -1);

    zel_test::write_file(dir.file("short"), Bytes(10, 0));
    EXPECT_EQ(zel_alembic_load(dir.file("short").c_str(), a.get()), -2);
    Bytes header(64, 0);
    std::memcpy(header.data(), "BZEM", 4);
    zel_test::write_file(dir.file("magic"), header);
    EXPECT_EQ(zel_alembic_load(dir.file("magic").c_str(), a.get()), -2);
    Bytes only63(header.begin(), header.end() - 1);
    std::memcpy(only63.data(), "BZEL", 4);
    zel_test::write_file(dir.file("63"), only63);
    EXPECT_EQ(zel_alembic_load(dir.file("63").c_str(), a.get()), -2);

    std::memcpy(header.data(), "BZEL", 4);
    zel::store_u32(&header[4], 2);
    zel::store_u32(&header[8], 5);
    zel_test::write_file(dir.file("v2"), header);
    EXPECT_EQ(zel_alembic_load(dir.file("v2").c_str(), a.get()), -3);
    EXPECT_EQ(a->version, 2u);
    EXPECT_EQ(a->mesh_count, 0u);  // nothing else is taken from the header

    // Version 0 and an empty body load: no meshes, no frames, no table.
    zel::store_u32(&header[4], 0);
    zel::store_u32(&header[8], 0);
    zel_test::write_file(dir.file("v0"), header);
    Archive empty;
    EXPECT_EQ(zel_alembic_load(dir.file("v0").c_str(), empty.get()), 0);
    EXPECT_EQ(empty->mesh_count, 0u);
    EXPECT_EQ(empty->hash_table, nullptr);
}

TEST(AlembicArchiveFile, EveryTruncationIsRefusedAndReleased) {
    zel_test::TempDir dir;
    Archive a;
    fill_sample(a);
    const std::string path = dir.file("full");
    ASSERT_EQ(zel_alembic_save(path.c_str(), a.get()), 0);
    const Bytes file = zel_test::read_file(path);
    for (size_t size = 64; size < file.size(); ++size) {
        zel_test::write_file(dir.file("cut"), Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(size)));
        Archive b;
        ASSERT_EQ(zel_alembic_load(dir.file("cut").c_str(), b.get()), -5) << size;
        expect_empty(*b);
    }
}

TEST(AlembicArchiveFile, HugeCountsAreRefusedBeforeAllocating) {
    zel_test::TempDir dir;
    Archive a;
    a.add_mesh(zel_test::triangle_mesh());
    a.add_frame(1, 0.0f, {{1, 2, 3}});
    ASSERT_EQ(zel_alembic_save(dir.file("base").c_str(), a.get()), 0);
    const Bytes base = zel_test::read_file(dir.file("base"));
    const size_t mesh = 64, frame = 64 + block_bytes(3, 1);

    struct Patch {
        size_t offset;
        uint32_t value;
    };
    const Patch patches[] = {
        {8, 0xFFFFFFFFu},           // mesh count
        {12, 0xFFFFFFFFu},          // frame count
        {mesh + 64, 0xFFFFFFFFu},   // V
        {mesh + 68, 0xFFFFFFFFu},   // F
        {mesh + 68, 2},             // one face too many
        {frame + 8, 0x40000000u},   // M
        {frame + 12, 0xFFFFFFFFu},  // V of a frame mesh
        {frame + 12, 2},            // one frame vertex too many
    };
    for (const Patch& p : patches) {
        Bytes file = base;
        zel::store_u32(&file[p.offset], p.value);
        zel_test::write_file(dir.file("huge"), file);
        Archive b;
        zel_test::FailNthAllocation none(0);
        EXPECT_EQ(zel_alembic_load(dir.file("huge").c_str(), b.get()), -5) << p.offset << " " << p.value;
        expect_empty(*b);
    }
}

TEST(AlembicArchiveFile, EveryAllocationFailureReleasesTheArchive) {
    zel_test::TempDir dir;
    Archive a;
    fill_sample(a);
    const std::string path = dir.file("a");
    ASSERT_EQ(zel_alembic_save(path.c_str(), a.get()), 0);
    int failures = 0;
    for (uint64_t nth = 1;; ++nth) {
        Archive b;
        zel_test::FailNthAllocation guard(nth);
        int32_t rc = zel_alembic_load(path.c_str(), b.get());
        if (!guard.fired()) {
            EXPECT_EQ(rc, 0);
            break;
        }
        if (rc == 0) {
            // The failure hit the hash table: the archive is loaded without it.
            EXPECT_EQ(b->hash_table, nullptr);
            expect_same_archive(*a, *b);
        } else {
            EXPECT_EQ(rc, -4) << nth;
            expect_empty(*b);
            ++failures;
        }
    }
    // Mesh array, 2 x 4 mesh arrays, frame array, 2 frame mesh arrays, 2 positions.
    EXPECT_EQ(failures, 1 + 8 + 1 + 2 + 2);
}

TEST(AlembicArchiveFile, SaveRefusesInconsistentArchives) {
    zel_test::TempDir dir;
    const std::string path = dir.file("never");
    EXPECT_EQ(zel_alembic_save(nullptr, nullptr), -1);
    Archive ok;
    ok.add_mesh(zel_test::triangle_mesh());
    EXPECT_EQ(zel_alembic_save(path.c_str(), nullptr), -1);
    EXPECT_EQ(zel_alembic_save(nullptr, ok.get()), -1);

    auto refused = [&](Archive& a) {
        EXPECT_EQ(zel_alembic_save(path.c_str(), a.get()), -1);
        EXPECT_FALSE(std::filesystem::exists(path));
    };
    {
        Archive a;  // not processed
        a.add_mesh_record(zel_test::hollow_mesh(3));
        a->meshes[0].positions = static_cast<float*>(std::calloc(9, sizeof(float)));
        refused(a);
    }
    {
        Archive a;  // processed but without positions
        a.add_mesh(zel_test::triangle_mesh());
        std::free(a->meshes[0].positions);
        a->meshes[0].positions = nullptr;
        refused(a);
    }
    {
        Archive a;  // faces claimed, none held (as load_raw builds from a null face array)
        RawMesh raw = zel_test::triangle_mesh();
        zel_alembic_mesh_t m;
        ASSERT_EQ(zel_alembic_load_raw(raw.positions.data(), 3, nullptr, 4, "m", &m), 0);
        a.add_mesh_record(m);
        refused(a);
    }
    {
        Archive a;  // a frame mesh with vertices but no positions
        a.add_mesh(zel_test::triangle_mesh());
        a.add_frame(1, 0, {{1, 2, 3}});
        std::free(a->frames[0].meshes[0].positions);
        a->frames[0].meshes[0].positions = nullptr;
        refused(a);
    }
    {
        Archive a;  // counts without arrays
        a->mesh_count = 2;
        refused(a);
        a->mesh_count = 0;
        a->frame_count = 1;
        refused(a);
    }
    // A mesh without vertices needs no arrays and is saved as an empty block.
    Archive hollow;
    hollow.add_mesh_record(zel_test::hollow_mesh(0));
    ASSERT_EQ(zel_alembic_save(path.c_str(), hollow.get()), 0);
    EXPECT_EQ(zel_test::read_file(path).size(), 64u + 101u);
    Archive back;
    EXPECT_EQ(zel_alembic_load(path.c_str(), back.get()), 0);
    EXPECT_EQ(back->meshes[0].vertex_count, 0u);
}

TEST(AlembicArchiveFile, SaveReportsFileFailures) {
    zel_test::TempDir dir;
    Archive a;
    fill_sample(a);
    EXPECT_EQ(zel_alembic_save(dir.path().string().c_str(), a.get()), -1);  // a directory
    EXPECT_EQ(zel_alembic_save(dir.file("no/such/folder").c_str(), a.get()), -1);
#ifndef _WIN32
    // A device that refuses every byte: the failure shows at a write or the close.
    EXPECT_EQ(zel_alembic_save("/dev/full", a.get()), -2);
#endif
}

}  // namespace
