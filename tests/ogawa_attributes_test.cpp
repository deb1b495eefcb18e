// The attribute readers on crafted files.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "support/alloc_failure.h"

namespace {

using ogawa_test::Bytes;
using ogawa_test::concat;
using ogawa_test::floats_in;
using ogawa_test::floats_of;
using ogawa_test::OpenedArchive;
using ogawa_test::triples;

Bytes block(std::uint64_t size, const Bytes& data) {
    Bytes b;
    ogawa_test::put_u64(b, size);
    b.insert(b.end(), data.begin(), data.end());
    return b;
}
Bytes block(const Bytes& data) { return block(data.size(), data); }

// The header, then the blocks back to back.
Bytes file_of(std::initializer_list<Bytes> blocks) {
    Bytes b = ogawa_test::FileBuilder().finish(0);
    for (const Bytes& x : blocks) b.insert(b.end(), x.begin(), x.end());
    return b;
}

struct Normals {
    int rc;
    std::vector<float> values;
    std::uint32_t count, scope;
    bool indices_null;
};

Normals read_normals(ogawa_archive_t* archive) {
    float* normals = nullptr;
    std::uint32_t* indices = reinterpret_cast<std::uint32_t*>(&normals);  // must become null
    std::uint32_t count = 77, scope = 77;
    int rc = ogawa_read_normals(archive, nullptr, 0, &normals, &indices, &count, &scope);
    Normals out{rc, floats_of(normals, 3 * std::size_t{count}), count, scope, indices == nullptr};
    std::free(normals);
    return out;
}

TEST(OgawaAttributes, FilesOfFortyBytesOrLessAreNotScanned) {
    // 40 bytes holding a block that passes every test but the file's size.
    Bytes forty = file_of({block(36, ogawa_test::floats({0.5f, 0.5f, 0.5f, 0.5f}))});
    ASSERT_EQ(forty.size(), 40u);
    for (std::size_t n : {16u, 24u, 40u}) {
        SCOPED_TRACE(n);
        Bytes b(forty.begin(), forty.begin() + static_cast<long>(n));
        OpenedArchive opened(b);
        ASSERT_EQ(opened.rc, 0);
        Normals normals = read_normals(&opened.archive);
        EXPECT_EQ(normals.rc, -1);
        EXPECT_EQ(normals.count, 77u);  // untouched
        ogawa_uv_set_t set;
        std::memset(&set, 0x5A, sizeof set);
        EXPECT_EQ(ogawa_read_uvs(&opened.archive, nullptr, 0, 0, &set), -1);
        EXPECT_EQ(set.uv_count, 0x5A5A5A5Au);  // untouched
        ogawa_tangent_frame_t frame;
        std::memset(&frame, 0x5A, sizeof frame);
        EXPECT_EQ(ogawa_read_tangent_frame(&opened.archive, nullptr, 0, &frame), -1);
        EXPECT_EQ(frame.tangents, nullptr);
        EXPECT_EQ(frame.count, 0u);
    }
}

TEST(OgawaAttributes, NormalsAreTheLargestBlockOfSmallTriples) {
    Bytes three = triples(3, {0.25f, -1.1f, 1.1f});  // 36 bytes, the limits included
    OpenedArchive opened(file_of({block(triples(10, {1.2f, 0.0f, 0.0f})), block(three),
                                  block(24, triples(2, {0.5f, 0.5f, 0.5f}))}));
    for (int call = 0; call < 2; ++call) {  // the same block again
        Normals n = read_normals(&opened.archive);
        ASSERT_EQ(n.rc, 0);
        EXPECT_EQ(n.count, 3u);
        EXPECT_EQ(n.values, floats_in(three));
        EXPECT_EQ(n.scope, OGAWA_SCOPE_VERTEX);
        EXPECT_TRUE(n.indices_null);
    }
    // Sizes: 4,999,992 bytes (the largest multiple of 12 up to 5,000,000)
    // qualify, 5,000,004 do not; of equal sizes the first wins.
    Bytes big = triples(416'666, {0.5f, 0.25f, 0.125f});
    Bytes bigger = concat({big, triples(1, {0.5f, 0.25f, 0.125f})});
    OpenedArchive large(file_of({block(three), block(bigger), block(triples(3, {0.75f, 0.0f, 0.0f}))}));
    EXPECT_EQ(read_normals(&large.archive).values, floats_in(three));
    OpenedArchive largest(file_of({block(three), block(big)}));
    EXPECT_EQ(read_normals(&largest.archive).count, 416'666u);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    OpenedArchive none(file_of({block(triples(3, {nan, 0.0f, 0.0f})), block(triples(3, {0.0f, 1.1000001f, 0.0f}))}));
    EXPECT_EQ(read_normals(&none.archive).rc, -1);
}

TEST(OgawaAttributes, NormalsReadFailures) {
    // The chosen block runs past the end of the file.
    Bytes cut = file_of({block(1200, triples(10, {0.5f, 0.5f, 0.5f}))});
    OpenedArchive short_file(cut);
    Normals n = read_normals(&short_file.archive);
    EXPECT_EQ(n.rc, -1);
    EXPECT_EQ(n.count, 0u);
    EXPECT_TRUE(n.values.empty());
    OpenedArchive opened(file_of({block(triples(10, {0.5f, 0.5f, 0.5f}))}));
    {
        zel_test::FailNthAllocation fail(1);
        n = read_normals(&opened.archive);
        EXPECT_TRUE(fail.fired());
    }
    EXPECT_EQ(n.rc, -2);
    EXPECT_EQ(n.count, 0u);
    float* normals;
    std::uint32_t* indices;
    std::uint32_t count, scope;
    EXPECT_EQ(ogawa_read_normals(nullptr, nullptr, 0, &normals, &indices, &count, &scope), -1);
    EXPECT_EQ(ogawa_read_normals(&opened.archive, nullptr, 0, nullptr, &indices, &count, &scope), -1);
    EXPECT_EQ(ogawa_read_normals(&opened.archive, nullptr, 0, &normals, nullptr, &count, &scope), -1);
    EXPECT_EQ(ogawa_read_normals(&opened.archive, nullptr, 0, &normals, &indices, nullptr, &scope), -1);
    EXPECT_EQ(ogawa_read_normals(&opened.archive, nullptr, 0, &normals, &indices, &count, nullptr), -1);
    ogawa_archive_t closed{};
    EXPECT_EQ(ogawa_read_normals(&closed, nullptr, 0, &normals, &indices, &count, &scope), -1);
}

// Two blocks that claim 4,999,992 bytes of an 80-byte file: every reader
// gives -1 as for a short read, without allocating what the file cannot hold
// (an armed allocation failure never fires).
TEST(OgawaAttributes, BlocksPastTheEndAreRefusedBeforeAnyAllocation) {
    const Bytes claim = block(4'999'992, triples(2, {0.5f, 0.5f, 0.5f}));
    OpenedArchive opened(file_of({claim, claim}));
    ASSERT_EQ(ogawa_archive_state(&opened.archive), 1);  // undescribed: read by shape
    zel_test::FailNthAllocation fail(1);
    Normals n = read_normals(&opened.archive);
    EXPECT_EQ(n.rc, -1);
    EXPECT_EQ(n.count, 0u);
    ogawa_uv_set_t set{};
    EXPECT_EQ(ogawa_read_uvs(&opened.archive, nullptr, 0, 0, &set), -1);
    EXPECT_EQ(set.uvs, nullptr);
    EXPECT_STREQ(set.name, "uv");
    ogawa_tangent_frame_t frame{};
    EXPECT_EQ(ogawa_read_tangent_frame(&opened.archive, nullptr, 0, &frame), -1);
    EXPECT_EQ(frame.tangents, nullptr);
    EXPECT_FALSE(fail.fired());
}

TEST(OgawaAttributes, TextureCoordinatesFromTheFinderOrTheScan) {
    // Blocks of at most 1000 bytes are left to the scan, which wants the
    // first four floats within -10..10.
    Bytes inside = ogawa_test::floats(std::vector<float>(200, 9.5f));
    Bytes outside = concat({ogawa_test::floats({1.0f, 2.0f, 10.5f, 3.0f}), ogawa_test::floats(std::vector<float>(196, 1.0f))});
    OpenedArchive rejected(file_of({block(outside)}));
    ogawa_uv_set_t set;
    std::memset(&set, 0x5A, sizeof set);
    EXPECT_EQ(ogawa_read_uvs(&rejected.archive, nullptr, 0, 0, &set), -1);
    EXPECT_EQ(set.uv_count, 0x5A5A5A5Au);  // untouched

    OpenedArchive scanned(file_of({block(outside), block(inside)}));
    ASSERT_EQ(ogawa_read_uvs(&scanned.archive, nullptr, 0, 0, &set), 0);
    EXPECT_STREQ(set.name, "uv");
    EXPECT_EQ(set.uv_count, 100u);
    EXPECT_EQ(floats_of(set.uvs, 200), floats_in(inside));
    EXPECT_EQ(set.scope, OGAWA_SCOPE_FACE_VARYING);
    EXPECT_EQ(set.indices, nullptr);
    ogawa_free_uv_set(&set);

    // The finder's candidate (above 1000 bytes, a multiple of 8 but not of
    // 12, two first floats within -10..10) wins, though its third float
    // would fail the scan's test.
    Bytes found = concat({ogawa_test::floats({0.5f, -0.5f, 10.5f}), ogawa_test::floats(std::vector<float>(299, 0.25f))});
    ASSERT_EQ(found.size(), 1208u);
    OpenedArchive finder(file_of({block(inside), block(found)}));
    ASSERT_EQ(ogawa_read_uvs(&finder.archive, nullptr, 0, 0, &set), 0);
    EXPECT_EQ(set.uv_count, 151u);
    EXPECT_EQ(floats_of(set.uvs, 302), floats_in(found));
    ogawa_free_uv_set(&set);
}

TEST(OgawaAttributes, TextureCoordinateFailures) {
    Bytes pairs = ogawa_test::floats(std::vector<float>(200, 0.5f));
    OpenedArchive cut(file_of({block(1208, pairs)}));  // the finder's block runs past the end
    ogawa_uv_set_t set;
    std::memset(&set, 0x5A, sizeof set);
    EXPECT_EQ(ogawa_read_uvs(&cut.archive, nullptr, 0, 0, &set), -1);
    EXPECT_STREQ(set.name, "uv");
    EXPECT_EQ(set.uvs, nullptr);
    EXPECT_EQ(set.uv_count, 0u);
    OpenedArchive opened(file_of({block(pairs)}));
    {
        zel_test::FailNthAllocation fail(1);
        EXPECT_EQ(ogawa_read_uvs(&opened.archive, nullptr, 0, 0, &set), -2);
        EXPECT_TRUE(fail.fired());
    }
    EXPECT_EQ(set.uvs, nullptr);
    EXPECT_EQ(ogawa_read_uvs(nullptr, nullptr, 0, 0, &set), -1);
    EXPECT_EQ(ogawa_read_uvs(&opened.archive, nullptr, 0, 0, nullptr), -1);
}

TEST(OgawaAttributes, TangentFrameTakesTheFirstPairOfEqualSize) {
    Bytes first = triples(100, {0.5f, 0.0f, 0.0f});
    Bytes largest = triples(200, {0.0f, 0.5f, 0.0f});
    Bytes second = triples(100, {0.0f, 0.0f, 0.5f});
    OpenedArchive opened(file_of({block(first), block(largest), block(second)}));
    ogawa_tangent_frame_t frame;
    ASSERT_EQ(ogawa_read_tangent_frame(&opened.archive, nullptr, 0, &frame), 0);
    EXPECT_EQ(frame.count, 100u);
    EXPECT_EQ(frame.scope, OGAWA_SCOPE_VERTEX);
    EXPECT_EQ(floats_of(frame.tangents, 300), floats_in(first));
    EXPECT_EQ(floats_of(frame.bitangents, 300), floats_in(second));
    ogawa_free_tangent_frame(&frame);

    OpenedArchive three_sizes(file_of({block(first), block(largest), block(triples(150, {0.1f, 0.1f, 0.1f}))}));
    EXPECT_EQ(ogawa_read_tangent_frame(&three_sizes.archive, nullptr, 0, &frame), -1);
    EXPECT_EQ(frame.tangents, nullptr);
    OpenedArchive one(file_of({block(first)}));
    EXPECT_EQ(ogawa_read_tangent_frame(&one.archive, nullptr, 0, &frame), -1);

    // Only the first 32 candidates count.
    for (int distinct : {30, 31}) {
        SCOPED_TRACE(distinct);
        Bytes b = ogawa_test::FileBuilder().finish(0);
        for (int i = 0; i < distinct; ++i) {
            Bytes x = block(triples(3 + static_cast<std::size_t>(i), {0.25f, 0.25f, 0.25f}));
            b.insert(b.end(), x.begin(), x.end());
        }
        Bytes pair = concat({block(first), block(second)});
        b.insert(b.end(), pair.begin(), pair.end());
        OpenedArchive many(b);
        EXPECT_EQ(ogawa_read_tangent_frame(&many.archive, nullptr, 0, &frame), distinct == 30 ? 0 : -1);
        ogawa_free_tangent_frame(&frame);
    }
}

TEST(OgawaAttributes, TangentFrameFailuresLeaveItEmpty) {
    Bytes first = triples(100, {0.5f, 0.0f, 0.0f});
    // The second block of the pair runs past the end of the file.
    Bytes cut = file_of({block(first), block(1200, triples(50, {0.0f, 0.5f, 0.0f}))});
    OpenedArchive short_file(cut);
    ogawa_tangent_frame_t frame;
    EXPECT_EQ(ogawa_read_tangent_frame(&short_file.archive, nullptr, 0, &frame), -1);
    EXPECT_EQ(frame.tangents, nullptr);
    EXPECT_EQ(frame.bitangents, nullptr);
    EXPECT_EQ(frame.count, 0u);
    EXPECT_EQ(frame.scope, 0u);

    OpenedArchive opened(file_of({block(first), block(first)}));
    for (std::uint64_t nth : {1u, 2u}) {
        SCOPED_TRACE(nth);
        zel_test::FailNthAllocation fail(nth);
        EXPECT_EQ(ogawa_read_tangent_frame(&opened.archive, nullptr, 0, &frame), -2);
        EXPECT_TRUE(fail.fired());
        EXPECT_EQ(frame.tangents, nullptr);
        EXPECT_EQ(frame.bitangents, nullptr);
        EXPECT_EQ(frame.count, 0u);
    }
    EXPECT_EQ(ogawa_read_tangent_frame(nullptr, nullptr, 0, &frame), -1);
    EXPECT_EQ(ogawa_read_tangent_frame(&opened.archive, nullptr, 0, nullptr), -1);
}

}  // namespace
