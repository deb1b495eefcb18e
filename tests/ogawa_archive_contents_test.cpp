// What an archive says about itself: metadata, time samplings, every
// object's properties, and the digests of every stored sample, checked on
// the real archives against their truth files and against the digests their
// writer stored.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_reader/container/murmur3.h"
#include "oracles/murmur3_oracle.h"
#include "support/alembic_writer.h"
#include "support/alloc_failure.h"
#include "ogawa_test_files.h"
#include "ogawa_truth.h"
#include "support/test_support.h"

namespace {

using ogawa_truth::json;
using ogawa_test::Bytes;
using ogawa_test::OpenedArchive;

// The index of the property at path of object, or -1.
int property_at(ogawa_archive_t* a, std::uint32_t object, const std::string& path, ogawa_property_info_t* info) {
    for (std::uint32_t p = 0; p < ogawa_property_count(a, object); ++p) {
        if (ogawa_get_property(a, object, p, info) == 0 && path == info->path) return static_cast<int>(p);
    }
    return -1;
}

TEST(OgawaArchiveContents, RealArchivesSayWhatTheirWriterWrote) {
    for (const char* name : ogawa_truth::kFixtures) {
        SCOPED_TRACE(name);
        const json truth = ogawa_truth::load_json(std::string(name) + ".truth.json");
        ogawa_archive_t a;
        ASSERT_EQ(ogawa_open(zel_test::data_file(std::string(name) + ".abc").c_str(), &a), 0);
        EXPECT_NE(std::string(ogawa_archive_metadata(&a)).find("_ai_AlembicVersion=Alembic "), std::string::npos);

        ASSERT_GE(ogawa_time_sampling_count(&a), 1u);
        ogawa_time_sampling_info_t s;
        ASSERT_EQ(ogawa_get_time_sampling(&a, 0, &s), 0);  // the default every writer stores
        EXPECT_TRUE(s.kind == 0 && s.time_per_cycle == 1.0 && s.time_count == 1 && s.times[0] == 0.0);
        for (const json& t : truth.value("time_samplings", json::array())) {
            ASSERT_EQ(ogawa_get_time_sampling(&a, t["index"].get<std::uint32_t>(), &s), 0);
            EXPECT_EQ(s.time_per_cycle, t["time_per_cycle"].get<double>());
            EXPECT_EQ(s.times[0], t["start_time"].get<double>());
        }
        EXPECT_EQ(ogawa_get_time_sampling(&a, ogawa_time_sampling_count(&a), &s), -1);

        // Every mesh has P where the layout puts it, with its samples; every
        // stored sample of every property matches its digest.
        std::size_t checked = 0;
        for (const json& o : truth["objects"]) {
            const std::int32_t index = ogawa_find_object(&a, o["path"].get<std::string>().c_str());
            ASSERT_GE(index, 0);
            const auto object = static_cast<std::uint32_t>(index);
            ogawa_property_info_t p;
            if (o["type"] == "PolyMesh") {
                ASSERT_GE(property_at(&a, object, ".geom/P", &p), 0) << o["path"];
                EXPECT_TRUE(p.kind == 2 && p.pod == 10 && p.extent == 3 && p.depth == 2 && std::strcmp(p.name, "P") == 0);
                if (o.contains("num_samples")) {
                    EXPECT_EQ(p.sample_count, o["num_samples"].get<std::uint32_t>());
                }
            }
            for (std::uint32_t i = 0; i < ogawa_property_count(&a, object); ++i) {
                ASSERT_EQ(ogawa_get_property(&a, object, i, &p), 0);
                EXPECT_EQ(p.depth, static_cast<std::uint32_t>(std::count(p.path, p.path + std::strlen(p.path), '/')) + 1);
                EXPECT_EQ(ogawa_verify_samples(&a, object, i, nullptr, 0), 0) << o["path"] << " " << p.path;
                checked += p.stored_count;
            }
        }
        EXPECT_GT(checked, 0u);
        ogawa_close(&a);
    }
}

// The digest the reader checks against the hash written out literally (which
// the test writer stores): every tail length, blocks starting anywhere, any
// seed.
TEST(OgawaArchiveContents, DigestsAreTheLiteralHash) {
    std::mt19937 rng(28);
    Bytes bytes(4096 + 16);
    for (unsigned char& b : bytes) b = static_cast<unsigned char>(rng());
    for (std::size_t length = 0; length <= 4096; length += length < 64 ? 1 : 1 + rng() % 97) {
        const std::size_t start = rng() % 16;
        const std::uint32_t seed = length % 3 == 0 ? 0 : static_cast<std::uint32_t>(rng());
        const zel::Digest128 ours = zel::murmur3_x64_128(bytes.data() + start, length, seed);
        const zel_oracle::Murmur3Digest literal = zel_oracle::murmur3_x64_128(bytes.data() + start, length, seed);
        ASSERT_TRUE(ours.h1 == literal.h1 && ours.h2 == literal.h2) << length << " bytes from " << start;
    }
}

// A flipped byte in P's values is found in that stored sample and nowhere
// else; the reads themselves do not look.
TEST(OgawaArchiveContents, AFlippedByteIsFoundByItsDigest) {
    Bytes b = zel_test::read_file(zel_test::data_file("cube.abc"));
    {
        OpenedArchive whole(b);
        EXPECT_EQ(ogawa_verify_samples(&whole.archive, 0, 0, nullptr, 0), 0);
    }
    // P's group at 1024 (see the description tests): its first child.
    const std::uint64_t node = ogawa_test::get_u64(b, 1024 + 8) & ~ogawa_test::kData;
    b[node + 8 + 16 + 5] ^= 0x40;  // a byte of the first vertex, after the size and digest
    OpenedArchive flipped(b);
    ogawa_property_info_t p;
    const int positions = property_at(&flipped.archive, 0, ".geom/P", &p);
    ASSERT_GE(positions, 0);
    for (std::uint32_t i = 0; i < ogawa_property_count(&flipped.archive, 0); ++i) {
        std::uint32_t which[4] = {99, 99, 99, 99};
        const std::int32_t bad = ogawa_verify_samples(&flipped.archive, 0, i, which, 4);
        EXPECT_EQ(bad, static_cast<int>(i) == positions ? 1 : 0) << i;
        EXPECT_EQ(which[0], static_cast<int>(i) == positions ? 0u : 99u);
    }
    EXPECT_EQ(ogawa_verify_samples(&flipped.archive, 0, static_cast<std::uint32_t>(positions), nullptr, 0), 1);
    ogawa_polymesh_t m;
    EXPECT_EQ(ogawa_read_polymesh(&flipped.archive, nullptr, 0, &m), 0);
    ogawa_free_polymesh(&m);
}

// A mesh of one quad, then an object without properties: the mesh's property
// headers patched where opening does not look, each patch making them
// undecodable (-2) for good while the other object still decodes to none.
TEST(OgawaArchiveContents, PropertiesThatDoNotDecodeAreToldFromNone) {
    alembic_test::Scene scene;
    scene.objects = {alembic_test::polymesh("mesh", {{{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {4}, {0, 1, 2, 3}}}),
                     alembic_test::plain("bare", "schema=AbcGeom_Xform_v3")};
    const alembic_test::Written w = alembic_test::write_archive(scene);
    const std::uint64_t geom = w.property_group.at("/mesh/.geom"), geom_headers = w.headers.at("/mesh/.geom");
    const std::uint64_t geom_children = ogawa_test::get_u64(w.bytes, geom);
    const struct {
        const char* what;
        std::uint64_t at, value;
        int status;
    } patches[] = {
        {"unchanged", geom, geom_children, 0},
        {"P's group holds one of the two children its sample needs", w.property_group.at("/mesh/.geom/P"), 1, -2},
        {"the bounds' group holds no child for its one sample", w.property_group.at("/mesh/.geom/.selfBnds"), 0, -2},
        {"P's group lies past the end of the file", geom + 8 + 8 * 1, w.bytes.size(), -2},
        {".geom's header block is referenced as a group", geom + 8 * geom_children, geom_headers, -2},
        {".geom's header block runs past the end of the file", geom_headers, w.bytes.size(), -2},
    };
    for (const auto& p : patches) {
        SCOPED_TRACE(p.what);
        Bytes b = w.bytes;
        ogawa_test::set_u64(b, p.at, p.value);
        OpenedArchive opened(b);
        ogawa_archive_t* a = &opened.archive;
        ASSERT_EQ(ogawa_archive_state(a), 0);
        ASSERT_EQ(ogawa_object_count(a), 2u);
        EXPECT_EQ(ogawa_decode_properties(a, 0), p.status);
        EXPECT_EQ(ogawa_decode_properties(a, 0), p.status);  // a failure stays
        EXPECT_EQ(ogawa_property_count(a, 0), p.status == 0 ? 5u : 0u);  // .geom and its four
        EXPECT_EQ(ogawa_decode_properties(a, 1), 0);
        EXPECT_EQ(ogawa_property_count(a, 1), 0u);
        EXPECT_EQ(ogawa_decode_properties(a, 2), -1);
    }

    // Out of memory, at each allocation in turn: -3 (or 0 where a smaller
    // allocation stood in), and the next call decodes.
    int out_of_memory = 0;
    bool fired = true;
    for (std::uint64_t nth = 1; fired; ++nth) {
        OpenedArchive opened(w.bytes);
        int status;
        {
            zel_test::FailNthAllocation fail(nth);
            status = ogawa_decode_properties(&opened.archive, 0);
            fired = fail.fired();
        }
        EXPECT_TRUE(status == 0 || (fired && status == -3)) << nth << ": " << status;
        out_of_memory += status == -3;
        EXPECT_EQ(ogawa_decode_properties(&opened.archive, 0), 0) << nth;
        EXPECT_EQ(ogawa_property_count(&opened.archive, 0), 5u) << nth;
    }
    EXPECT_GT(out_of_memory, 0);
}

TEST(OgawaArchiveContents, RefusalsAndUndescribedArchives) {
    OpenedArchive cube(zel_test::read_file(zel_test::data_file("cube.abc")));
    ogawa_archive_t* a = &cube.archive;
    ogawa_property_info_t p;
    std::uint32_t one;
    const std::uint32_t count = ogawa_property_count(a, 0);
    ASSERT_GT(count, 0u);
    EXPECT_EQ(ogawa_property_count(a, 1), 0u);
    EXPECT_EQ(ogawa_get_property(a, 0, count, &p), -1);
    EXPECT_EQ(ogawa_get_property(a, 1, 0, &p), -1);
    EXPECT_EQ(ogawa_get_property(a, 0, 0, nullptr), -1);
    EXPECT_EQ(ogawa_verify_samples(a, 0, count, nullptr, 0), -1);
    EXPECT_EQ(ogawa_verify_samples(a, 0, 0, nullptr, 1), -1);  // room promised, none given
    ASSERT_EQ(ogawa_get_property(a, 0, 0, &p), 0);
    EXPECT_EQ(p.kind, 0u);  // .geom, a compound: nothing to verify
    EXPECT_EQ(ogawa_verify_samples(a, 0, 0, &one, 1), 0);

    zel_test::TempDir dir;
    ogawa_archive_t undescribed;
    ASSERT_EQ(ogawa_open(ogawa_test::undescribed_copy("cube", dir).c_str(), &undescribed), 0);
    EXPECT_STREQ(ogawa_archive_metadata(&undescribed), "");
    EXPECT_EQ(ogawa_time_sampling_count(&undescribed), 0u);
    EXPECT_EQ(ogawa_property_count(&undescribed, 0), 0u);
    EXPECT_EQ(ogawa_decode_properties(&undescribed, 0), -1);
    EXPECT_EQ(ogawa_verify_samples(&undescribed, 0, 0, nullptr, 0), -1);
    ogawa_close(&undescribed);
    EXPECT_STREQ(ogawa_archive_metadata(nullptr), "");
    EXPECT_EQ(ogawa_get_time_sampling(nullptr, 0, nullptr), -1);
    EXPECT_EQ(ogawa_decode_properties(nullptr, 0), -1);
}

}  // namespace
