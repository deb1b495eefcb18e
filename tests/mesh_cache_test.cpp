#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>
#endif

#include "support/alloc_failure.h"
#include "support/test_mesh.h"
#include "support/test_support.h"
#include "zel_mesh.h"

namespace {

using zel_test::TempDir;
using zel_test::TestMesh;
using Bytes = std::vector<unsigned char>;
using Floats = std::vector<float>;
using U32s = std::vector<uint32_t>;

// Little-endian byte strings written out by hand, independent of the library.
struct ByteWriter {
    Bytes bytes;
    void u16(uint16_t v) {
        for (int i = 0; i < 2; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    void u32(uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(v >> (8 * i)));
    }
    void f32(float v) { u32(std::bit_cast<uint32_t>(v)); }
    void f64(double v) {
        uint64_t b = std::bit_cast<uint64_t>(v);
        u32(static_cast<uint32_t>(b));
        u32(static_cast<uint32_t>(b >> 32));
    }
    void text(const char* s) { bytes.insert(bytes.end(), s, s + std::strlen(s)); }
    void floats(const Floats& v) {
        for (float f : v) f32(f);
    }
    void u32s(const U32s& v) {
        for (uint32_t x : v) u32(x);
    }
};

void put_u32(Bytes& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<unsigned char>(v >> (8 * i));
}
uint32_t get_u32(const Bytes& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

const Floats kQuadPositions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};

// A skin of two joints and four influences with recognisable bytes.
struct SampleSkin {
    zel_skin_t skin{};
    SampleSkin() {
        skin.joint_count = 2;
        skin.joints = static_cast<zel_skin_joint_t*>(std::calloc(2, sizeof(zel_skin_joint_t)));
        for (int j = 0; j < 2; ++j) {
            for (int b = 0; b < 200; ++b) skin.joints[j].joint_data[b] = static_cast<uint8_t>(b * 3 + j);
            for (int e = 0; e < 16; ++e) skin.joints[j].bind_matrix[e] = 0.5 * e - j;
        }
        skin.influence_count = 4;
        skin.influences = static_cast<zel_skin_influence_t*>(std::calloc(4, sizeof(zel_skin_influence_t)));
        for (int i = 0; i < 4; ++i) {
            for (int s = 0; s < 4; ++s) {
                skin.influences[i].joints[s] = static_cast<uint8_t>((i + s) % 3);
                skin.influences[i].weights[s] = 0.125f * (i + s);
            }
        }
        for (int b = 0; b < 128; ++b) skin.trailer[b] = static_cast<uint8_t>(255 - b);
    }
    ~SampleSkin() { zel_skin_free(&skin); }
};

void write_skin_section(ByteWriter& w, const zel_skin_t& skin) {
    w.u32(skin.joint_count);
    for (uint32_t j = 0; j < skin.joint_count; ++j) {
        w.bytes.insert(w.bytes.end(), skin.joints[j].joint_data, skin.joints[j].joint_data + 200);
        for (double e : skin.joints[j].bind_matrix) w.f64(e);
    }
    w.u32(skin.influence_count);
    for (uint32_t i = 0; i < skin.influence_count; ++i) {
        w.bytes.insert(w.bytes.end(), skin.influences[i].joints, skin.influences[i].joints + 4);
        for (float f : skin.influences[i].weights) w.f32(f);
    }
    w.bytes.insert(w.bytes.end(), skin.trailer, skin.trailer + 128);
}

void set_bounds(ogawa_polymesh_t* m, Floats box) {
    for (int a = 0; a < 3; ++a) {
        m->bounds.min[a] = box[a];
        m->bounds.max[a] = box[3 + a];
    }
}

// Saves and loads the mesh, returning the triangles of the loaded cache.
U32s saved_triangles(ogawa_polymesh_t* mesh) {
    TempDir dir;
    std::string path = dir.file("m.zelm");
    EXPECT_EQ(zel_mesh_save(mesh, nullptr, path.c_str()), 0);
    zel_mesh_t loaded;
    EXPECT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    U32s out(loaded.indices, loaded.indices + 3 * loaded.header.triangle_count);
    zel_mesh_free(&loaded);
    return out;
}

// Saves the mesh and returns its normals section as loaded.
Floats saved_normals(ogawa_polymesh_t* mesh) {
    TempDir dir;
    std::string path = dir.file("m.zelm");
    EXPECT_EQ(zel_mesh_save(mesh, nullptr, path.c_str()), 0);
    zel_mesh_t loaded;
    EXPECT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    Floats out;
    if (loaded.normals) out.assign(loaded.normals, loaded.normals + 3 * loaded.header.vertex_count);
    zel_mesh_free(&loaded);
    return out;
}

TEST(MeshCache, RoundTripWithNormalsAndSkinByteForByte) {
    TestMesh mesh(kQuadPositions, {4}, {0, 1, 2, 3});
    const Floats normals = {0, 0, 1, 0, 0, -1, 0.25f, 0.5f, 0.75f, 3, 4, 5};  // written as they stand
    mesh.set_normals(normals, OGAWA_SCOPE_VERTEX);
    set_bounds(mesh.get(), {0, 0, 0, 1, 1, 0});
    SampleSkin sample;
    TempDir dir;
    const std::string path = dir.file("quad.zelm");
    ASSERT_EQ(zel_mesh_save(mesh.get(), &sample.skin, path.c_str()), 0);

    ByteWriter w;
    w.text("ZELM");
    w.u16(2);
    w.u16(5);   // normals and skin
    w.u32(4);   // vertices
    w.u32(2);   // triangles
    w.u32(2);   // joints
    w.u32(1);   // reserved
    w.floats({0, 0, 0, 1, 1, 0});
    w.u32(64);
    w.u32(64 + 48);
    w.u32(64 + 96);
    w.u32(64 + 96 + 24);
    w.floats(kQuadPositions);
    w.floats(normals);
    w.u32s({0, 1, 2, 0, 2, 3});
    write_skin_section(w, sample.skin);
    EXPECT_EQ(w.bytes.size(), 64u + 96 + 24 + 4 + 656 + 4 + 80 + 128);
    EXPECT_EQ(zel_test::read_file(path), w.bytes);

    zel_mesh_t loaded;
    ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    EXPECT_EQ(std::memcmp(loaded.header.magic, "ZELM", 4), 0);
    EXPECT_EQ(loaded.header.version, 2);
    EXPECT_EQ(loaded.header.flags, 5);
    EXPECT_EQ(loaded.header.joint_count, 2u);
    EXPECT_EQ(loaded.header.reserved, 1u);
    EXPECT_EQ(loaded.header.bounds[4], 1.0f);
    EXPECT_EQ(loaded.header.skin_offset, 184u);
    EXPECT_EQ(loaded.file_size, w.bytes.size());
    const float* positions = nullptr;
    const float* loaded_normals = nullptr;
    const uint32_t* indices = nullptr;
    uint32_t vertex_count = 0, triangle_count = 0;
    ASSERT_EQ(zel_mesh_get_gpu_data(&loaded, &positions, &loaded_normals, &indices, &vertex_count,
                                    &triangle_count), 0);
    EXPECT_EQ(positions, reinterpret_cast<const float*>(loaded.view + 64));  // in place, not copied
    EXPECT_EQ(Floats(positions, positions + 12), kQuadPositions);
    EXPECT_EQ(Floats(loaded_normals, loaded_normals + 12), normals);
    EXPECT_EQ(U32s(indices, indices + 6), (U32s{0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(vertex_count, 4u);
    EXPECT_EQ(triangle_count, 2u);
    ASSERT_NE(loaded.skin, nullptr);
    EXPECT_EQ(loaded.skin->joint_count, 2u);
    EXPECT_EQ(loaded.skin->influence_count, 4u);
    EXPECT_EQ(std::memcmp(loaded.skin->joints, sample.skin.joints, 2 * sizeof(zel_skin_joint_t)), 0);
    EXPECT_EQ(std::memcmp(loaded.skin->influences, sample.skin.influences, 4 * sizeof(zel_skin_influence_t)), 0);
    EXPECT_EQ(std::memcmp(loaded.skin->trailer, sample.skin.trailer, 128), 0);
    zel_mesh_free(&loaded);
    EXPECT_TRUE(zel_test::all_zero(loaded));
    zel_mesh_free(&loaded);
    zel_mesh_free(nullptr);
}

TEST(MeshCache, RoundTripWithoutNormalsOrSkin) {
    TestMesh mesh(kQuadPositions, {4}, {0, 1, 2, 3});
    SampleSkin sample;
    sample.skin.joint_count = 0;  // a skin without joints is not written
    TempDir dir;
    const std::string path = dir.file("plain.zelm");
    ASSERT_EQ(zel_mesh_save(mesh.get(), &sample.skin, path.c_str()), 0);
    Bytes bytes = zel_test::read_file(path);
    ASSERT_EQ(bytes.size(), 64u + 48 + 24);
    EXPECT_EQ(bytes[6], 0);                    // flags
    EXPECT_EQ(get_u32(bytes, 16), 0u);         // joint count
    EXPECT_EQ(get_u32(bytes, 52), 0u);         // normals offset
    EXPECT_EQ(get_u32(bytes, 56), 64u + 48);   // indices offset
    EXPECT_EQ(get_u32(bytes, 60), 0u);         // skin offset

    zel_mesh_t loaded;
    ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    EXPECT_EQ(loaded.normals, nullptr);
    EXPECT_EQ(loaded.skin, nullptr);
    const float* normals = reinterpret_cast<const float*>(1);
    ASSERT_EQ(zel_mesh_get_gpu_data(&loaded, nullptr, &normals, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(normals, nullptr);
    zel_mesh_free(&loaded);
    EXPECT_EQ(zel_mesh_get_gpu_data(&loaded, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
    EXPECT_EQ(zel_mesh_get_gpu_data(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), -1);
}

TEST(MeshCache, FanTriangulationOfTheFaces) {
    const Floats five(15, 0.0f);
    {
        // A pentagon, a face of 2 corners (no triangles) and a triangle: T = 4.
        TestMesh mesh(five, {5, 2, 3}, {0, 1, 2, 3, 4, 4, 0, 2, 3, 4});
        EXPECT_EQ(saved_triangles(mesh.get()), (U32s{0, 1, 2, 0, 2, 3, 0, 3, 4, 2, 3, 4}));
    }
    {
        // Without face counts, 7 indices are 2 triangles as they stand.
        TestMesh mesh(five, {}, {4, 3, 2, 1, 0, 4, 3});
        EXPECT_EQ(saved_triangles(mesh.get()), (U32s{4, 3, 2, 1, 0, 4}));
    }
}

TEST(MeshCache, CornerNormalsAveragedPerVertex) {
    // A cube with one quad per side and the side's normal at each corner:
    // every corner vertex sums three unit axes to (+-1, +-1, +-1) and is
    // divided by sqrtf(3).
    const Floats cube = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0, 1, 1, 1, 1, 0, 1, 1};
    const U32s sides = {0, 3, 2, 1, 4, 5, 6, 7, 0, 1, 5, 4, 2, 3, 7, 6, 1, 2, 6, 5, 0, 4, 7, 3};
    const Floats side_normals = {0, 0, -1, 0, 0, 1, 0, -1, 0, 0, 1, 0, 1, 0, 0, -1, 0, 0};
    TestMesh mesh(cube, {4, 4, 4, 4, 4, 4}, sides);
    Floats corner_normals;
    for (int side = 0; side < 6; ++side) {
        for (int corner = 0; corner < 4; ++corner) {
            corner_normals.insert(corner_normals.end(), side_normals.begin() + 3 * side,
                                  side_normals.begin() + 3 * side + 3);
        }
    }
    mesh.set_normals(corner_normals, OGAWA_SCOPE_FACE_VARYING);
    Floats normals = saved_normals(mesh.get());
    ASSERT_EQ(normals.size(), 24u);
    const float third = 1.0f / std::sqrt(3.0f);
    for (uint32_t v = 0; v < 8; ++v) {
        for (int a = 0; a < 3; ++a) {
            float expected = cube[3 * v + a] == 0 ? -third : third;
            EXPECT_EQ(std::bit_cast<uint32_t>(normals[3 * v + a]), std::bit_cast<uint32_t>(expected))
                << v << " " << a;
        }
    }

    // Corners 0..5 name vertices 0 1 2 0 2 1. Vertex 0: (1,0,0) + (-1,1e-9,0)
    // = (0,1e-9,0), no longer than 1e-8, kept as summed. Vertex 1: corner 5
    // is past the 5 normals and takes normal 0: (0,1,0) + (1,0,0) over
    // sqrtf(2). Vertex 2: (0,0,2) -> (0,0,1). Vertex 3 is in no face: 0.
    // With scope 3 but not one normal per vertex, the corners are averaged too.
    const float half = 1.0f / std::sqrt(2.0f);
    for (uint32_t scope : {OGAWA_SCOPE_FACE_VARYING, OGAWA_SCOPE_VERTEX}) {
        TestMesh small({0, 0, 0, 1, 0, 0, 0, 1, 0, 5, 5, 5}, {3, 3}, {0, 1, 2, 0, 2, 1});
        small.set_normals({1, 0, 0, 0, 1, 0, 0, 0, 1, -1, 1e-9f, 0, 0, 0, 1}, scope);
        EXPECT_EQ(saved_normals(small.get()), (Floats{0, 1e-9f, 0, half, half, 0, 0, 0, 1, 0, 0, 0})) << scope;
    }
}

TEST(MeshCache, PerVertexNormalsAreWrittenBitForBit) {
    TestMesh mesh({0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, {0, 1, 2});
    const Floats odd = {std::bit_cast<float>(0x7FC00123u), 0, 0, 1e-40f, 7, 7, -0.0f, 0, 0};
    mesh.set_normals(odd, OGAWA_SCOPE_VERTEX);
    Floats got = saved_normals(mesh.get());
    ASSERT_EQ(got.size(), 9u);
    EXPECT_EQ(std::memcmp(got.data(), odd.data(), sizeof(float) * 9), 0);
}

TEST(MeshCache, SaveRefusalsCreateNoFile) {
    TempDir dir;
    const std::string path = dir.file("refused.zelm");
    TestMesh good(kQuadPositions, {4}, {0, 1, 2, 3});
    EXPECT_EQ(zel_mesh_save(nullptr, nullptr, path.c_str()), -1);
    EXPECT_EQ(zel_mesh_save(good.get(), nullptr, nullptr), -1);
    TestMesh empty({}, {}, {});
    EXPECT_EQ(zel_mesh_save(empty.get(), nullptr, path.c_str()), -1);
    empty->position_count = 3;  // vertices without a position array
    EXPECT_EQ(zel_mesh_save(empty.get(), nullptr, path.c_str()), -1);
    empty->position_count = 0;
    SampleSkin broken;
    std::free(broken.skin.joints);
    broken.skin.joints = nullptr;
    EXPECT_EQ(zel_mesh_save(good.get(), &broken.skin, path.c_str()), -1);

    TestMesh index_at_v(kQuadPositions, {4}, {0, 1, 2, 4});
    EXPECT_EQ(zel_mesh_save(index_at_v.get(), nullptr, path.c_str()), -10);
    TestMesh short_indices(kQuadPositions, {4, 3}, {0, 1, 2, 3, 0, 1});
    EXPECT_EQ(zel_mesh_save(short_indices.get(), nullptr, path.c_str()), -11);

    // More vertices than 32-bit section offsets reach; refused before the
    // positions are read.
    TestMesh huge(kQuadPositions, {}, {});
    huge->position_count = 400'000'000;
    EXPECT_EQ(zel_mesh_save(huge.get(), nullptr, path.c_str()), -14);
    huge->position_count = 4;

    // Out of memory for the averaged normals, then for the triangles.
    TestMesh derived(kQuadPositions, {4}, {0, 1, 2, 3});
    derived.set_normals({0, 0, 1}, OGAWA_SCOPE_FACE_VARYING);
    for (uint64_t nth = 1; nth <= 2; ++nth) {
        zel_test::FailNthAllocation guard(nth);
        EXPECT_EQ(zel_mesh_save(derived.get(), nullptr, path.c_str()), -12);
        EXPECT_TRUE(guard.fired());
    }
    EXPECT_FALSE(exists(path));
    EXPECT_EQ(zel_mesh_save(derived.get(), nullptr, path.c_str()), 0);

    // The file cannot be created: a path through a missing folder, a directory.
    EXPECT_EQ(zel_mesh_save(good.get(), nullptr, dir.file("missing/m.zelm").c_str()), -2);
    EXPECT_EQ(zel_mesh_save(good.get(), nullptr, dir.path().string().c_str()), -2);
}

#ifndef _WIN32
TEST(MeshCache, FailedWritesToADeviceLeaveItInPlace) {
    // The test's own device that takes no data (1,7), and a link to it:
    // small files fail at the close, large ones at a write. Neither the device
    // nor the link is removed: the save wrote to them, it did not create them.
    TempDir dir;
    const std::string device = dir.file("full");
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) GTEST_SKIP() << "no privilege to make a device";
    const std::string link = dir.file("full.zelm");
    std::filesystem::create_symlink(device, link);
    TestMesh small(kQuadPositions, {4}, {0, 1, 2, 3});
    TestMesh large(Floats(3 * 100'000, 1.0f), {}, {});
    for (TestMesh* mesh : {&small, &large}) {
        for (const std::string& path : {device, link}) {
            EXPECT_EQ(zel_mesh_save(mesh->get(), nullptr, path.c_str()), -13) << path;
            EXPECT_TRUE(std::filesystem::is_character_file(device)) << path;
            EXPECT_TRUE(std::filesystem::is_symlink(link)) << path;
        }
    }
}

TEST(MeshCache, FailedWritesToAFileRemoveThePartialFile) {
    // Files of this process may not grow past 4 KiB: the large mesh's writes fail.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small_files = saved;
    small_files.rlim_cur = 4096;
    std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small_files), 0);
    TempDir dir;
    const std::string path = dir.file("cut.zelm");
    TestMesh large(Floats(3 * 100'000, 1.0f), {}, {});
    const int rc = zel_mesh_save(large.get(), nullptr, path.c_str());
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(rc, -13);
    EXPECT_FALSE(exists(path));
}
#endif

TEST(MeshCache, LoadRefusals) {
    TempDir dir;
    zel_mesh_t mesh;
    EXPECT_EQ(zel_mesh_load(nullptr, &mesh), -1);
    EXPECT_EQ(zel_mesh_load(dir.file("x").c_str(), nullptr), -1);
    std::memset(&mesh, 0x5A, sizeof mesh);
    EXPECT_EQ(zel_mesh_load(dir.file("missing.zelm").c_str(), &mesh), -2);
    EXPECT_TRUE(zel_test::all_zero(mesh));
    EXPECT_EQ(zel_mesh_load(dir.path().string().c_str(), &mesh), -2);

    // Shorter than a header (an empty file included) or the wrong magic.
    const std::string path = dir.file("bad.zelm");
    TestMesh quad(kQuadPositions, {4}, {0, 1, 2, 3});
    ASSERT_EQ(zel_mesh_save(quad.get(), nullptr, path.c_str()), 0);
    const Bytes good = zel_test::read_file(path);
    Bytes wrong_magic = good;
    wrong_magic[3] = 'N';
    for (const Bytes& bytes : {Bytes{}, Bytes(good.begin(), good.begin() + 63), wrong_magic}) {
        zel_test::write_file(path, bytes);
        std::memset(&mesh, 0x5A, sizeof mesh);
        EXPECT_EQ(zel_mesh_load(path.c_str(), &mesh), -5) << bytes.size();
        EXPECT_TRUE(zel_test::all_zero(mesh));
    }

    // The version is not checked, nor is a normals offset without the flag.
    Bytes lenient = good;
    lenient[4] = 7;
    put_u32(lenient, 52, 0xFFFFFFF1u);
    zel_test::write_file(path, lenient);
    ASSERT_EQ(zel_mesh_load(path.c_str(), &mesh), 0);
    EXPECT_EQ(mesh.header.version, 7);
    EXPECT_EQ(mesh.normals, nullptr);
    zel_mesh_free(&mesh);
}

// Every header field and skin count made to point outside the file, or to a
// misaligned place: refused, with nothing mapped and the record zeroed.
TEST(MeshCache, HostileFilesAreRefused) {
    TempDir dir;
    const std::string path = dir.file("hostile.zelm");
    TestMesh mesh(kQuadPositions, {4}, {0, 1, 2, 3});
    mesh.set_normals(Floats(12, 0.5f), OGAWA_SCOPE_VERTEX);
    SampleSkin sample;
    ASSERT_EQ(zel_mesh_save(mesh.get(), &sample.skin, path.c_str()), 0);
    const Bytes good = zel_test::read_file(path);
    const uint32_t skin_at = get_u32(good, 60);
    const uint32_t influences_count_at = skin_at + 4 + 2 * 328;

    struct Patch {
        const char* what;
        size_t at;
        uint32_t value;
    };
    const Patch patches[] = {
        {"vertex count", 8, 0x40000000u},
        // Positions still inside, normals (at 112) just past the end.
        {"vertex count just past", 8, static_cast<uint32_t>((good.size() - 112) / 12 + 1)},
        {"triangle count", 12, 0xFFFFFFFFu},
        {"positions offset", 48, static_cast<uint32_t>(good.size())},
        {"positions offset misaligned", 48, 66},
        {"positions offset at the top", 48, 0xFFFFFFFCu},
        {"normals offset", 52, static_cast<uint32_t>(good.size() - 40)},
        {"normals offset misaligned", 52, 65},
        {"indices offset", 56, static_cast<uint32_t>(good.size() - 20)},
        {"indices offset misaligned", 56, 162},
        {"skin offset", 60, static_cast<uint32_t>(good.size() - 2)},
        {"skin offset at the top", 60, 0xFFFFFFFCu},
        {"skin offset misaligned", 60, skin_at + 1},
        {"joint count", skin_at, 0x7FFFFFFFu},
        {"joint count one more", skin_at, 3},
        {"influence count", influences_count_at, 0xFFFFFFFFu},
        {"influence count one more", influences_count_at, 5},
    };
    for (const Patch& p : patches) {
        Bytes bytes = good;
        put_u32(bytes, p.at, p.value);
        zel_test::write_file(path, bytes);
        zel_mesh_t loaded;
        EXPECT_EQ(zel_mesh_load(path.c_str(), &loaded), -5) << p.what;
        EXPECT_TRUE(zel_test::all_zero(loaded)) << p.what;
    }
    // The trailer cut short by one byte.
    zel_test::write_file(path, Bytes(good.begin(), good.end() - 1));
    zel_mesh_t loaded;
    EXPECT_EQ(zel_mesh_load(path.c_str(), &loaded), -5);
    // The untouched file still loads.
    zel_test::write_file(path, good);
    ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    zel_mesh_free(&loaded);
}

// Whether a handle of this process still holds the file open. On Windows an
// open for writing fails while a handle that refuses write sharing (as the
// loader opens it) is open; on POSIX the descriptors are listed.
bool file_held_open(const std::string& path) {
#ifdef _WIN32
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    CloseHandle(h);
    return false;
#else
    const auto canonical = std::filesystem::canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == canonical) return true;
    }
    return false;
#endif
}

// A handle opened the way the loader opens the file.
struct ReadHandle {
#ifdef _WIN32
    HANDLE h;
    explicit ReadHandle(const std::string& path)
        : h(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~ReadHandle() { CloseHandle(h); }
#else
    std::FILE* f;
    explicit ReadHandle(const std::string& path) : f(std::fopen(path.c_str(), "rb")) {}
    ~ReadHandle() { std::fclose(f); }
#endif
};

// Whether the view at address is still a mapping of the file at path.
bool mapped_in_this_process(const void* address, const std::string& path) {
#ifdef _WIN32
    (void)path;
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(address, &info, sizeof info) == 0) return false;
    return info.State == MEM_COMMIT && info.Type == MEM_MAPPED;
#else
    const auto start = reinterpret_cast<uintptr_t>(address);
    const std::string canonical = std::filesystem::canonical(path).string();
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        // "start-end perms offset dev inode path"
        uintptr_t from = std::stoull(line.substr(0, line.find('-')), nullptr, 16);
        bool names_file = line.size() >= canonical.size() &&
                          line.compare(line.size() - canonical.size(), canonical.size(), canonical) == 0;
        if (from == start && names_file) return true;
    }
    return false;
#endif
}

TEST(MeshCache, TheViewOutlivesTheHandlesAndFreeUnmapsIt) {
    TempDir dir;
    const std::string path = dir.file("mapped.zelm");
    TestMesh mesh(kQuadPositions, {4}, {0, 1, 2, 3});
    ASSERT_EQ(zel_mesh_save(mesh.get(), nullptr, path.c_str()), 0);

    {
        ReadHandle held(path);  // the probe sees a held file
        EXPECT_TRUE(file_held_open(path));
    }
    EXPECT_FALSE(file_held_open(path));
    zel_mesh_t loaded;
    ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
    EXPECT_FALSE(file_held_open(path));  // the view alone keeps the file mapped
    EXPECT_EQ(Floats(loaded.positions, loaded.positions + 12), kQuadPositions);
    EXPECT_EQ(loaded.indices[5], 3u);
    const void* view = loaded.view;
    EXPECT_TRUE(mapped_in_this_process(view, path));
    zel_mesh_free(&loaded);
    EXPECT_FALSE(mapped_in_this_process(view, path));
}

TEST(MeshCache, LoadOutOfMemoryForTheSkin) {
    TempDir dir;
    const std::string path = dir.file("skinned.zelm");
    TestMesh mesh(kQuadPositions, {4}, {0, 1, 2, 3});
    SampleSkin sample;
    ASSERT_EQ(zel_mesh_save(mesh.get(), &sample.skin, path.c_str()), 0);
    zel_mesh_t loaded;
    {
        // The skin record: the mesh loads without one.
        zel_test::FailNthAllocation guard(1);
        ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
        EXPECT_TRUE(guard.fired());
        EXPECT_EQ(loaded.skin, nullptr);
        EXPECT_NE(loaded.positions, nullptr);
        zel_mesh_free(&loaded);
    }
    for (uint64_t nth = 2; nth <= 3; ++nth) {
        // The joints, then the influences: null with the count set, the rest copied.
        zel_test::FailNthAllocation guard(nth);
        ASSERT_EQ(zel_mesh_load(path.c_str(), &loaded), 0);
        ASSERT_NE(loaded.skin, nullptr);
        EXPECT_EQ(loaded.skin->joint_count, 2u);
        EXPECT_EQ(loaded.skin->influence_count, 4u);
        EXPECT_EQ(loaded.skin->joints == nullptr, nth == 2);
        EXPECT_EQ(loaded.skin->influences == nullptr, nth == 3);
        EXPECT_EQ(std::memcmp(loaded.skin->trailer, sample.skin.trailer, 128), 0);
        // Skinning with such a skin does nothing rather than read null.
        std::vector<double> poses(32, 0.0);
        Floats out(12, -1.0f);
        zel_skin_apply(loaded.skin, poses.data(), kQuadPositions.data(), out.data());
        EXPECT_EQ(out, Floats(12, -1.0f));
        zel_mesh_free(&loaded);
    }
}

}  // namespace
