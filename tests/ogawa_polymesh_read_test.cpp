// Reading a polygon mesh from crafted archives: the tree path, the fallback
// path, the first-mesh cache and positions alone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "ogawa_test_files.h"
#include "support/alloc_failure.h"

namespace {

using ogawa_test::Bytes;
using ogawa_test::concat;
using ogawa_test::FileBuilder;
using ogawa_test::floats;
using ogawa_test::floats_in;
using ogawa_test::floats_of;
using ogawa_test::key;
using ogawa_test::MeshRead;
using ogawa_test::OpenedArchive;
using ogawa_test::repeat;
using ogawa_test::triples;
using ogawa_test::words;
using ogawa_test::words_in;
using ogawa_test::words_of;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A grid of n x n vertices and its quads, as a writer stores them.
struct QuadGrid {
    std::uint32_t n;
    Bytes positions, counts, indices;
    explicit QuadGrid(std::uint32_t side) : n(side) {
        std::vector<float> p;
        for (std::uint32_t y = 0; y < n; ++y) {
            for (std::uint32_t x = 0; x < n; ++x) p.insert(p.end(), {float(x) - 7.5f, 0.25f * float(y), 3.0f});
        }
        std::vector<std::uint32_t> idx;
        for (std::uint32_t y = 0; y + 1 < n; ++y) {
            for (std::uint32_t x = 0; x + 1 < n; ++x) {
                std::uint32_t v = y * n + x;
                idx.insert(idx.end(), {v, v + 1, v + n + 1, v + n});
            }
        }
        positions = floats(p);
        counts = repeat(words({4}), idx.size());  // one 4 per quad
        indices = words(idx);
    }
    std::uint32_t vertices() const { return n * n; }
    std::uint32_t quads() const { return (n - 1) * (n - 1); }
};

// A keyed archive holding the grid and, when given, normals. Its first 2 KiB
// hold no size field, so the fallback path finds nothing.
Bytes keyed_archive(const QuadGrid& g, const Bytes& normals = {}, bool keyed = true) {
    FileBuilder b;
    b.raw(Bytes(2048, 0xFF));
    std::vector<std::uint64_t> refs = {b.data(concat({key(), g.positions})), b.data(concat({key(), g.indices})),
                                       b.data(concat({key(), g.counts}))};
    if (!normals.empty()) refs.push_back(b.data(concat({key(), normals})));
    std::uint64_t props = b.group(refs);
    return b.finish_with_top(b.group({0, b.group({props})}), keyed);
}

void expect_identity_and_cleared_extras(const ogawa_polymesh_t& m) {
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.transform[i], i % 5 == 0 ? 1.0 : 0.0) << i;
    EXPECT_EQ(m.sample_count, 1u);
    EXPECT_EQ(m.sample_times, nullptr);
    EXPECT_EQ(m.reserved0, 0u);
    EXPECT_EQ(m.reserved1, 0u);
    EXPECT_EQ(std::memcmp(&m.bounds, &m.initial_bounds, sizeof m.bounds), 0);
    EXPECT_EQ(m.uv_sets, nullptr);
    EXPECT_EQ(m.uv_set_count, 0u);
    EXPECT_EQ(m.aux_vectors, nullptr);
    EXPECT_EQ(m.normal_indices, nullptr);
    const auto* extras = reinterpret_cast<const unsigned char*>(&m.tangent_frame);
    for (std::size_t i = 0; i < sizeof m.tangent_frame + sizeof m.manifold; ++i) EXPECT_EQ(extras[i], 0) << i;
}

TEST(OgawaPolymeshRead, TreePathReadsEveryArrayOfAKeyedArchive) {
    QuadGrid g(32);  // 1024 vertices, 961 quads, 3844 corners
    Bytes normals = triples(g.vertices(), {0.0f, 1.0f, 0.0f});
    MeshRead r(keyed_archive(g, normals));
    ASSERT_EQ(r.rc, 0);
    const ogawa_polymesh_t& m = r.mesh;
    EXPECT_STREQ(m.name, "mesh");
    EXPECT_STREQ(m.path, "/mesh");
    EXPECT_EQ(floats_of(m.positions, 3 * m.position_count), floats_in(g.positions));
    EXPECT_EQ(words_of(m.face_counts, m.face_count), words_in(g.counts));
    EXPECT_EQ(words_of(m.face_indices, m.face_index_count), words_in(g.indices));
    EXPECT_EQ(floats_of(m.normals, 3 * m.normal_count), floats_in(normals));
    EXPECT_EQ(m.normal_scope, OGAWA_SCOPE_VERTEX);  // one normal per vertex
    const ogawa_bounds_t box = {{-7.5f, 0.0f, 3.0f}, {23.5f, 7.75f, 3.0f}};
    EXPECT_EQ(std::memcmp(&m.bounds, &box, sizeof box), 0);
    expect_identity_and_cleared_extras(m);
}

TEST(OgawaPolymeshRead, NormalsScopeFollowsTheirCount) {
    QuadGrid g(32);
    MeshRead corners(keyed_archive(g, triples(3844, {0.0f, 0.0f, 1.0f})));
    ASSERT_EQ(corners.rc, 0);
    EXPECT_EQ(corners.mesh.normal_count, 3844u);
    EXPECT_EQ(corners.mesh.normal_scope, OGAWA_SCOPE_FACE_VARYING);
    // Without faces the vertex count alone cannot tell: per corner.
    FileBuilder b;
    std::uint64_t p = b.data(concat({key(), g.positions}));
    std::uint64_t n = b.data(concat({key(), triples(g.vertices(), {1.0f, 0.0f, 0.0f})}));
    Bytes no_faces = b.finish_with_top(b.group({p, n}), true);
    MeshRead vertex(no_faces);
    ASSERT_EQ(vertex.rc, 0);
    EXPECT_EQ(vertex.mesh.normal_count, 1024u);
    EXPECT_EQ(vertex.mesh.face_index_count, 0u);
    EXPECT_EQ(vertex.mesh.normal_scope, OGAWA_SCOPE_VERTEX);
    MeshRead none(keyed_archive(g));
    EXPECT_EQ(none.mesh.normals, nullptr);
    EXPECT_EQ(none.mesh.normal_scope, 0u);
}

TEST(OgawaPolymeshRead, ObjectNamesTheMeshAndIsCutToItsFields) {
    QuadGrid g(32);
    OpenedArchive opened(keyed_archive(g));
    ogawa_object_t object;
    std::memset(&object, 'n', sizeof object.name);
    std::memset(object.path, 'p', sizeof object.path);
    ogawa_polymesh_t mesh;
    ASSERT_EQ(ogawa_read_polymesh(&opened.archive, &object, 7, &mesh), 0);
    EXPECT_EQ(std::string(mesh.name), std::string(255, 'n'));
    EXPECT_EQ(std::string(mesh.path), std::string(1023, 'p'));
    ogawa_free_polymesh(&mesh);
    std::strcpy(object.name, "wave");
    std::strcpy(object.path, "/root/wave");
    ASSERT_EQ(ogawa_read_polymesh(&opened.archive, &object, 0, &mesh), 0);
    EXPECT_STREQ(mesh.name, "wave");
    EXPECT_STREQ(mesh.path, "/root/wave");
    ogawa_free_polymesh(&mesh);
    EXPECT_EQ(ogawa_read_polymesh(nullptr, nullptr, 0, &mesh), -1);
    EXPECT_EQ(ogawa_read_polymesh(&opened.archive, nullptr, 0, nullptr), -1);
    ogawa_archive_t closed{};
    EXPECT_EQ(ogawa_read_polymesh(&closed, nullptr, 0, &mesh), -1);
}

TEST(OgawaPolymeshRead, BlocksThatCannotBeReadWholeAreLeftEmpty) {
    // Face indices whose size field runs past the end of the file.
    QuadGrid g(32);
    FileBuilder b;
    std::uint64_t p = b.data(concat({key(), g.positions}));
    std::uint64_t c = b.data(concat({key(), g.counts}));
    std::uint64_t v0 = b.data(words({0}));
    std::uint64_t v1 = b.data(words({10812}));
    std::uint64_t cut_at = b.size() + (8 + 3 * 8) + (8 + 3 * 8);
    std::uint64_t top = b.group({p, c, ogawa_test::kData | cut_at});
    std::uint64_t root = b.group({v0, v1, top});
    ASSERT_EQ(b.size(), cut_at);
    Bytes size_field;
    ogawa_test::put_u64(size_field, 16 + g.indices.size());
    b.raw(concat({size_field, key(), Bytes(g.indices.begin(), g.indices.end() - 4)}));
    MeshRead r(b.finish(root));
    ASSERT_EQ(r.rc, 0);
    EXPECT_EQ(r.mesh.face_indices, nullptr);
    EXPECT_EQ(r.mesh.face_index_count, 0u);
    EXPECT_EQ(r.mesh.face_count, g.quads());
    EXPECT_EQ(r.mesh.position_count, g.vertices());
}

// A fallback archive: the header names no root; `body` follows it.
Bytes fallback_file(const Bytes& body) { return concat({FileBuilder().finish(0), body}); }
Bytes size_field(std::uint64_t s) {
    Bytes b;
    ogawa_test::put_u64(b, s);
    return b;
}

TEST(OgawaPolymeshRead, RootWithTwoChildrenGoesToTheFallbackPath) {
    QuadGrid g(32);
    const Bytes zero_key = key(0, 0, 0, 0);  // read by the position scan as a prefix
    for (bool two_children : {false, true}) {
        FileBuilder b;
        std::uint64_t p = b.data(concat({zero_key, g.positions}));  // size field at 16
        std::uint64_t i = b.data(concat({zero_key, g.indices}));
        std::uint64_t c = b.data(concat({zero_key, g.counts}));
        std::uint64_t top = b.group({p, i, c});
        std::uint64_t v0 = b.data(words({0}));
        std::uint64_t v1 = b.data(words({10812}));
        MeshRead r(b.finish(two_children ? b.group({v0, top}) : b.group({v0, v1, top})));
        ASSERT_EQ(r.rc, 0);
        EXPECT_EQ(floats_of(r.mesh.positions, 3 * r.mesh.position_count), floats_in(g.positions));
        // The tree path reads the quads; the fallback infers triangles from
        // the longest run of small integers.
        std::vector<std::uint32_t> counts = words_of(r.mesh.face_counts, r.mesh.face_count);
        ASSERT_FALSE(counts.empty());
        EXPECT_EQ(counts, std::vector<std::uint32_t>(counts.size(), two_children ? 3 : 4));
    }
}

TEST(OgawaPolymeshRead, FallbackPositionScanLayouts) {
    Bytes data = triples(1001, {1.0f, -2.0f, 3.5f});
    struct Case {
        Bytes node;
        std::size_t skip_words;  // words between the size field's end and the data
        std::uint32_t count;
    };
    const Case cases[] = {
        // After a 16-byte prefix of unordinary words (zero, tiny, huge).
        {concat({size_field(16 + 12012), floats({0.0f, 1e-9f, 2e6f, 1.0f}), data}), 4, 1001},
        // Right after the size field.
        {concat({size_field(12012), data}), 0, 1001},
        // One word further on, when the first three words are not all data.
        {concat({size_field(12024), floats({kNaN, 1.0f, 1.0f}), data}), 3, 1001},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.skip_words);
        MeshRead r(fallback_file(c.node));
        ASSERT_EQ(r.rc, 0);
        ASSERT_EQ(r.mesh.position_count, c.count);
        EXPECT_EQ(floats_of(r.mesh.positions, 3 * r.mesh.position_count), floats_in(data));
        float* positions = nullptr;
        std::uint32_t count = 0;
        ASSERT_EQ(ogawa_read_positions(&r.opened.archive, nullptr, 0, &positions, &count), 0);
        EXPECT_EQ(floats_of(positions, 3 * count), floats_in(data));
        std::free(positions);
        expect_identity_and_cleared_extras(r.mesh);
    }
}

TEST(OgawaPolymeshRead, FallbackKeepsOnlyPlausibleTriplesOfTheLargestBlock) {
    // Two size fields in the first 2 KiB: one at 16 claiming 1050 triples, and
    // one at 1008, inside what the first claims, for 1100 triples.
    auto file = [](std::uint64_t second_count) {
        std::vector<float> values(3 * 1100, 2.0f);
        values[3 * 10] = kNaN;
        values[3 * 20 + 1] = 10001.0f;
        values[3 * 30 + 2] = -10000.0f;  // kept: at most 10000
        return fallback_file(concat({size_field(12 * 1050), triples(82, {5.0f, 5.0f, 5.0f}),
                                     size_field(12 * second_count), floats(values)}));
    };
    MeshRead r(file(1100));
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.mesh.position_count, 1098u);
    EXPECT_EQ(r.mesh.positions[0], 2.0f);
    EXPECT_EQ(r.mesh.positions[3 * 10], 2.0f);
    EXPECT_EQ(r.mesh.positions[3 * 28 + 2], -10000.0f);  // two dropped before it
    // Of equal counts the first wins: from byte 24 on, 1050 triples that
    // run into the second block, whose size field reads as a tiny float and
    // a zero (kept); the NaN and the 10001 drop two triples.
    MeshRead first(file(1050));
    ASSERT_EQ(first.rc, 0);
    EXPECT_EQ(first.mesh.positions[0], 5.0f);
    EXPECT_EQ(first.mesh.position_count, 1048u);
}

TEST(OgawaPolymeshRead, FallbackFindsNothingOutsideTheFirstTwoKilobytes) {
    // 0x407F8000 = 3.9921875: one byte off, its words are NaN, so only the
    // real size field qualifies.
    Bytes block = concat({size_field(12012), triples(1001, {3.9921875f})});
    for (std::size_t at : {2047u, 2048u}) {
        MeshRead r(fallback_file(concat({Bytes(at - 16, 0xFF), block})));
        EXPECT_EQ(r.rc, at == 2047 ? 0 : -1) << at;
        EXPECT_EQ(r.mesh.position_count, at == 2047 ? 1001u : 0u);
        EXPECT_EQ(r.mesh.positions == nullptr, at == 2048);
        EXPECT_STREQ(r.mesh.name, "mesh");
        // A failed position scan ends the read at once: name and path only.
        EXPECT_EQ(r.mesh.sample_count, at == 2047 ? 1u : 0u);
    }
    // The 18 words after the size field must be in the file: one byte short.
    Bytes cut = fallback_file(concat({size_field(12012), triples(6, {1.0f, 2.0f, 3.0f})}));
    cut.pop_back();
    ASSERT_EQ(cut.size(), 16u + 8 + 72 - 1);
    MeshRead none(cut);
    EXPECT_EQ(none.rc, -1);
    EXPECT_EQ(none.mesh.positions, nullptr);
    float dummy = 0;
    float* positions = &dummy;
    std::uint32_t count = 99;
    EXPECT_EQ(ogawa_read_positions(&none.opened.archive, nullptr, 0, &positions, &count), -1);
    EXPECT_EQ(positions, &dummy);  // untouched when nothing is found
    EXPECT_EQ(count, 99u);
    EXPECT_EQ(ogawa_read_positions(nullptr, nullptr, 0, &positions, &count), -1);
    EXPECT_EQ(ogawa_read_positions(&none.opened.archive, nullptr, 0, nullptr, &count), -1);
    EXPECT_EQ(ogawa_read_positions(&none.opened.archive, nullptr, 0, &positions, nullptr), -1);
    ogawa_archive_t closed{};
    EXPECT_EQ(ogawa_read_positions(&closed, nullptr, 0, &positions, &count), -1);
}

TEST(OgawaPolymeshRead, PositionsThatCannotBeAllocatedGiveMinusTwo) {
    MeshRead r(fallback_file(concat({size_field(12012), triples(1001, {1.0f, 2.0f, 3.0f})})));
    ASSERT_EQ(r.rc, 0);
    float dummy = 0;
    float* positions = &dummy;
    std::uint32_t count = 99;
    zel_test::FailNthAllocation fail(1);
    EXPECT_EQ(ogawa_read_positions(&r.opened.archive, nullptr, 0, &positions, &count), -2);
    EXPECT_TRUE(fail.fired());
    EXPECT_EQ(positions, nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(OgawaPolymeshRead, FallbackUnitNormalsAndTriangles) {
    Bytes positions = concat({size_field(12012), triples(1001, {1.0f, 2.0f, 3.0f})});
    Bytes normals = concat({size_field(16 + 12 * 900), key(), triples(900, {0.0f, 0.6f, 0.8f})});
    const std::uint32_t stop = 0xFFFFFFFFu;
    Bytes five = words({stop, 1, 2, 3, 4, 5, stop});
    Bytes seven = words({stop, 1000, 0, 999, 3, 4, 5, 6, stop});
    MeshRead r(fallback_file(concat({positions, normals, five, seven})));
    ASSERT_EQ(r.rc, 0);
    ASSERT_EQ(r.mesh.position_count, 1001u);
    EXPECT_EQ(floats_of(r.mesh.normals, 3 * r.mesh.normal_count), floats_in(triples(900, {0.0f, 0.6f, 0.8f})));
    EXPECT_EQ(r.mesh.normal_scope, OGAWA_SCOPE_FACE_VARYING);
    EXPECT_EQ(words_of(r.mesh.face_indices, r.mesh.face_index_count),
              (std::vector<std::uint32_t>{1000, 0, 999, 3, 4, 5, 6}));
    EXPECT_EQ(words_of(r.mesh.face_counts, r.mesh.face_count), (std::vector<std::uint32_t>{3, 3}));
    // A run of five is not enough.
    MeshRead only_five(fallback_file(concat({positions, five})));
    ASSERT_EQ(only_five.rc, 0);
    EXPECT_EQ(only_five.mesh.face_indices, nullptr);
    EXPECT_EQ(only_five.mesh.face_count, 0u);
    EXPECT_EQ(only_five.mesh.normals, nullptr);
}

TEST(OgawaPolymeshRead, FirstPolymeshIsCachedAndReleasedByClose) {
    QuadGrid g(32);
    OpenedArchive opened(keyed_archive(g));
    ogawa_polymesh_t* first = ogawa_get_first_polymesh(&opened.archive);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(opened.archive.polymesh_count, 1u);
    EXPECT_EQ(opened.archive.polymeshes[0], first);
    EXPECT_STREQ(first->name, "mesh");
    EXPECT_EQ(first->position_count, g.vertices());
    // No second read: without its stream the archive could not read again.
    std::FILE* stream = opened.archive.file;
    opened.archive.file = nullptr;
    EXPECT_EQ(ogawa_get_first_polymesh(&opened.archive), first);
    opened.archive.file = stream;
    char report[256];
    ogawa_get_info(&opened.archive, report, sizeof report);
    EXPECT_NE(std::strstr(report, "\nPolyMeshes: 1\n"), nullptr);
    EXPECT_EQ(ogawa_get_first_polymesh(nullptr), nullptr);
}

TEST(OgawaPolymeshRead, FirstPolymeshFailuresLeaveNothingCached) {
    OpenedArchive empty(FileBuilder().finish(0));
    EXPECT_EQ(ogawa_get_first_polymesh(&empty.archive), nullptr);
    EXPECT_EQ(empty.archive.polymesh_count, 0u);

    // Fail each allocation of a first read in turn, on a fresh archive each
    // time. The last one is the cache entry: the caller gets the mesh uncached.
    QuadGrid g(32);
    Bytes file = keyed_archive(g);
    std::uint64_t last = 0;
    bool last_was_uncached = false;
    for (std::uint64_t nth = 1;; ++nth) {
        SCOPED_TRACE(nth);
        OpenedArchive opened(file);
        ogawa_polymesh_t* mesh;
        bool fired;
        {
            zel_test::FailNthAllocation fail(nth);
            mesh = ogawa_get_first_polymesh(&opened.archive);
            fired = fail.fired();
        }
        if (!fired) break;
        last = nth;
        last_was_uncached = mesh && opened.archive.polymesh_count == 0;
        if (nth == 1) {
            EXPECT_EQ(mesh, nullptr);  // the record itself
        }
        if (mesh == nullptr) {
            EXPECT_EQ(opened.archive.polymeshes, nullptr);
            // The next call tries again and succeeds.
            ogawa_polymesh_t* again = ogawa_get_first_polymesh(&opened.archive);
            ASSERT_NE(again, nullptr);
            EXPECT_EQ(again->position_count, g.vertices());
        } else if (last_was_uncached) {
            EXPECT_EQ(mesh->position_count, g.vertices());
            EXPECT_EQ(mesh->face_count, g.quads());
            ogawa_free_polymesh(mesh);
            std::free(mesh);
        } else {
            EXPECT_EQ(opened.archive.polymeshes[0], mesh);
        }
    }
    EXPECT_GT(last, 2u);
    EXPECT_TRUE(last_was_uncached);
}

// Whatever allocation fails, a read returns a coherent record: every array is
// either the one a full read gives or empty.
TEST(OgawaPolymeshRead, EveryAllocationFailureLeavesACoherentRecord) {
    QuadGrid g(32);
    Bytes tree = keyed_archive(g, triples(g.vertices(), {0.0f, 1.0f, 0.0f}));
    Bytes positions = concat({size_field(12012), triples(1001, {1.0f, 2.0f, 3.0f})});
    Bytes normals = concat({size_field(16 + 12 * 900), key(), triples(900, {0.0f, 0.6f, 0.8f})});
    Bytes fallback = fallback_file(concat({positions, normals, words({7, 1000, 0, 999, 3, 4, 5, 6, 7})}));
    for (const Bytes* file : {&tree, &fallback}) {
        MeshRead full(*file);
        ASSERT_EQ(full.rc, 0);
        for (std::uint64_t nth = 1;; ++nth) {
            SCOPED_TRACE(nth);
            ogawa_polymesh_t mesh;
            int rc;
            bool fired;
            {
                zel_test::FailNthAllocation fail(nth);
                rc = ogawa_read_polymesh(&full.opened.archive, nullptr, 0, &mesh);
                fired = fail.fired();
            }
            const ogawa_polymesh_t& f = full.mesh;
            auto coherent_floats = [](const float* a, std::uint32_t n, const float* full_a, std::uint32_t full_n) {
                return (a == nullptr && n == 0) || floats_of(a, 3 * n) == floats_of(full_a, 3 * full_n);
            };
            auto coherent_words = [](const std::uint32_t* a, std::uint32_t n, const std::uint32_t* full_a,
                                     std::uint32_t full_n) {
                return (a == nullptr && n == 0) || words_of(a, n) == words_of(full_a, full_n);
            };
            EXPECT_TRUE(coherent_floats(mesh.positions, mesh.position_count, f.positions, f.position_count));
            EXPECT_TRUE(coherent_floats(mesh.normals, mesh.normal_count, f.normals, f.normal_count));
            EXPECT_TRUE(coherent_words(mesh.face_counts, mesh.face_count, f.face_counts, f.face_count));
            EXPECT_TRUE(coherent_words(mesh.face_indices, mesh.face_index_count, f.face_indices, f.face_index_count));
            if (file == &fallback) {
                EXPECT_EQ(mesh.face_counts == nullptr, mesh.face_indices == nullptr);
            }
            EXPECT_EQ(mesh.normal_scope, mesh.normals ? f.normal_scope : 0u);  // no scope without normals
            EXPECT_EQ(rc == 0, mesh.position_count > 0);
            EXPECT_TRUE(rc == 0 || rc == -1 || rc == -2) << rc;
            ogawa_free_polymesh(&mesh);
            if (!fired) break;
        }
    }
}

}  // namespace
