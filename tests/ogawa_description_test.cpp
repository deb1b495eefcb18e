// What the reader decodes of an archive at open: the object tree, the time
// range and the report of every real archive, and hostile variants that must
// leave an archive undescribed without leaking or reading outside the file.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "ogawa_truth.h"
#include "support/alembic_writer.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"

namespace {

using ogawa_truth::json;
using ogawa_truth::load_json;
using ogawa_test::Bytes;
using ogawa_test::OpenedArchive;

// Path and schema of every object of the tree, in pre-order.
using Tree = std::vector<std::pair<std::string, std::string>>;

void flatten(const ogawa_object_t* o, const std::string& parent, Tree* out) {
    // Every record: its name is the last part of its path, nothing hangs from it.
    EXPECT_EQ(parent + "/" + o->name, o->path);
    EXPECT_EQ(o->polymesh, nullptr);
    EXPECT_EQ(o->aux_record, nullptr);
    EXPECT_EQ(o->children == nullptr, o->child_count == 0);
    out->emplace_back(o->path, ogawa_schema_to_string(o->schema));
    for (std::uint32_t i = 0; i < o->child_count; ++i) flatten(o->children[i], o->path, out);
}

Tree tree_of(const ogawa_archive_t& archive) {
    Tree t;
    for (std::uint32_t i = 0; i < archive.object_count; ++i) flatten(archive.objects[i], "", &t);
    return t;
}

std::string report_of(const ogawa_archive_t& archive) {
    char buffer[2048];
    ogawa_get_info(&archive, buffer, sizeof buffer);
    return buffer;
}

std::string expected_report(const std::string& path, std::size_t objects, unsigned meshes, double start, double end,
                            double fps) {
    char tail[128];
    std::snprintf(tail, sizeof tail, "\nTime Range: %.3f - %.3f sec\nFPS: %.2f", start, end, fps);
    return "Ogawa Archive\n=============\nPath: " + path + "\nVersion: 0.1\nObjects: " + std::to_string(objects) +
           "\nPolyMeshes: " + std::to_string(meshes) + tail;
}

bool is_undescribed(const ogawa_archive_t& a) {
    return a.reserved == 0 && a.objects == nullptr && a.object_count == 0 && a.start_time == 0.0 &&
           a.end_time == 1.0 && a.fps == 24.0;
}

struct Fixture {
    const char* name;
    unsigned polymeshes;
    // The mesh whose samples span the animated range (its times in
    // NAME.transforms.json), or null for an archive that animates nothing.
    const char* animated_mesh;
    double fps;
};

// fps is 1 / time per cycle; acyclic_times animates on an acyclic sampling
// alone, so its range is its own and its fps stays 24.
const Fixture kFixtures[] = {
    {"acyclic_times", 1, "/pulse", 24.0},  {"animated", 1, "/wave", 24.0},
    {"blender_cube", 1, nullptr, 24.0},    {"cube", 1, nullptr, 24.0},
    {"deform_ngons", 1, "/blob", 30.0},    {"dup_instances", 3, nullptr, 24.0},
    {"grid_tri", 1, nullptr, 24.0},        {"pentagons", 1, nullptr, 24.0},
    {"scene_mixed", 2, "/pCube1/pCubeShape1", 24.0}, {"tiny", 1, nullptr, 24.0},
};

TEST(OgawaDescription, RealArchivesDescribeTheirTreeTimesAndReport) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const json truth = load_json(std::string(f.name) + ".truth.json");
        const json transforms = load_json(std::string(f.name) + ".transforms.json");
        Tree expected;
        for (const json& o : truth["objects"]) expected.emplace_back(o["path"], o["type"]);

        const std::string path = zel_test::data_file(std::string(f.name) + ".abc");
        ogawa_archive_t archive;
        ASSERT_EQ(ogawa_open(path.c_str(), &archive), 0);
        EXPECT_NE(archive.reserved, 0u);
        EXPECT_EQ(tree_of(archive), expected);

        double start = 0.0, end = 1.0;
        if (f.animated_mesh) {
            bool found = false;
            for (const json& mesh : transforms) {
                if (mesh["path"] != f.animated_mesh) continue;
                start = mesh["times"].front().get<double>();
                end = mesh["times"].back().get<double>();
                found = mesh["times"].size() > 1;
            }
            ASSERT_TRUE(found);
        }
        EXPECT_EQ(archive.start_time, start);
        EXPECT_EQ(archive.end_time, end);
        EXPECT_DOUBLE_EQ(archive.fps, f.fps);
        EXPECT_EQ(report_of(archive), expected_report(path, expected.size(), f.polymeshes, start, end, f.fps));
        EXPECT_EQ(archive.polymesh_count, 0u);  // the record's own counts keep their meaning
        ogawa_close(&archive);
        EXPECT_EQ(archive.reserved, 0u);
        EXPECT_EQ(archive.objects, nullptr);
    }
}

// The first lines of two reports, pinned by hand: the range of a 24-sample
// animation starting at 1/24 s, and of 8 samples at 30 fps from 2 s.
TEST(OgawaDescription, ReportsOfAnimatedArchives) {
    for (const auto& [name, tail] : {std::pair{"animated", "Objects: 1\nPolyMeshes: 1\nTime Range: 0.042 - 1.000 sec\nFPS: 24.00"},
                                     std::pair{"deform_ngons", "Objects: 1\nPolyMeshes: 1\nTime Range: 2.000 - 2.233 sec\nFPS: 30.00"},
                                     std::pair{"scene_mixed", "Objects: 8\nPolyMeshes: 2\nTime Range: 0.042 - 0.417 sec\nFPS: 24.00"}}) {
        ogawa_archive_t archive;
        ASSERT_EQ(ogawa_open(zel_test::data_file(std::string(name) + ".abc").c_str(), &archive), 0);
        std::string report = report_of(archive);
        EXPECT_EQ(report.substr(report.find("Objects:")), tail) << name;
        ogawa_close(&archive);
    }
}

// Places in tests/data/cube.abc (from its structural dump): the root group,
// the top object, the /cube object group, its property compound, .geom and
// the group of P.
constexpr std::uint64_t kCubeRoot = 1915, kCubeTop = 1363, kCubeObject = 1290, kCubeProperties = 1266, kCubeGeom = 1144,
                        kCubeP = 1024;

Bytes cube_bytes() { return zel_test::read_file(zel_test::data_file("cube.abc")); }

struct Patch {
    const char* what;
    std::uint64_t at;
    std::uint64_t value;
    bool described;
};

TEST(OgawaDescription, PatchedCubeIsDescribedOnlyWhileItsCountsAndLinksHold) {
    const std::uint64_t file_size = cube_bytes().size();
    const Patch patches[] = {
        {"root claims 5 children", kCubeRoot, 5, false},
        {"root claims 7 children", kCubeRoot, 7, false},
        {"object claims more children than the file holds", kCubeObject, file_size, false},
        {"object claims 2^61 children", kCubeObject, 1ull << 61, false},
        {"P holds fewer children than its one sample needs", kCubeP, 1, false},
        {"P holds no children", kCubeP, 0, false},
        {"P holds more children than its samples need", kCubeP, 3, true},
        {"the object's properties are the object itself", kCubeObject + 8, kCubeObject, false},
        {"the object's compound holds itself as .geom", kCubeProperties + 8, kCubeProperties, false},
        {"the object's compound holds the object as .geom", kCubeProperties + 8, kCubeObject, false},
        {"the top object holds itself as /cube", kCubeTop + 16, kCubeTop, false},
        {"the object's properties are a data node", kCubeObject + 8, ogawa_test::kData | kCubeProperties, false},
        {"the top object lies past the end", kCubeRoot + 24, file_size + 8, false},
        {"P's group lies past the end", kCubeGeom + 16, file_size, false},
        {"unchanged", kCubeRoot, 6, true},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.what);
        Bytes b = cube_bytes();
        ogawa_test::set_u64(b, p.at, p.value);
        OpenedArchive opened(b);
        ASSERT_EQ(opened.rc, 0);
        EXPECT_EQ(!is_undescribed(opened.archive), p.described);
        EXPECT_EQ(report_of(opened.archive).find(p.described ? "Objects: 1\n" : "Objects: 0\n") != std::string::npos,
                  true);
    }
}

// Every cut of a real archive opens (when its 16-byte header is whole) and
// stays undescribed: the root group is written last.
TEST(OgawaDescription, EveryTruncationOfARealArchiveIsUndescribed) {
    const Bytes whole = zel_test::read_file(zel_test::data_file("tiny.abc"));
    for (std::size_t n = 16; n < whole.size(); ++n) {
        OpenedArchive opened(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
        ASSERT_EQ(opened.rc, 0) << n;
        EXPECT_TRUE(is_undescribed(opened.archive)) << n;
    }
    OpenedArchive opened(whole);
    EXPECT_FALSE(is_undescribed(opened.archive));
}

// Any allocation of the decoding that fails leaves the archive undescribed
// and open, with nothing leaked. The first is the buffer a small file is read
// into: without it the file is mapped instead and still described.
TEST(OgawaDescription, AllocationFailuresLeaveTheArchiveUndescribed) {
    const std::string path = zel_test::data_file("scene_mixed.abc");
    bool fired = true;
    std::uint64_t nth = 1;
    for (; fired; ++nth) {
        ogawa_archive_t archive;
        zel_test::FailNthAllocation fail(nth);
        ASSERT_EQ(ogawa_open(path.c_str(), &archive), 0);
        fired = fail.fired();
        EXPECT_EQ(is_undescribed(archive), fired && nth > 1) << nth;
        if (!is_undescribed(archive)) {
            EXPECT_EQ(tree_of(archive).size(), 8u) << nth;
        }
        ogawa_close(&archive);
    }
    EXPECT_GT(nth, 20u);  // the tree, its texts and the host's records were all tried
}

// A chain of nested plain objects, each named "n", the deepest `levels` below
// the top object.
alembic_test::Object nested_objects(int levels) {
    alembic_test::Object o = alembic_test::plain("n", "schema=AbcGeom_Xform_v3");
    for (int i = 1; i < levels; ++i) {
        alembic_test::Object parent = alembic_test::plain("n", "schema=AbcGeom_Xform_v3");
        parent.children.push_back(std::move(o));
        o = std::move(parent);
    }
    return o;
}

std::size_t described_objects(const Bytes& bytes) {
    OpenedArchive opened(bytes);
    EXPECT_EQ(opened.rc, 0);
    return is_undescribed(opened.archive) ? 0 : tree_of(opened.archive).size();
}

// Groups nest at most 256 below the root: the top object is 1, a chain of
// 255 objects reaches 256.
TEST(OgawaDescription, NestingIsLimitedTo256Groups) {
    for (int levels : {255, 256}) {
        alembic_test::Scene scene;
        scene.objects.push_back(nested_objects(levels));
        EXPECT_EQ(described_objects(alembic_test::write_archive(scene).bytes), levels == 255 ? 255u : 0u) << levels;
    }
}

// A compound chain /o/a/a/... in which every level's second compound b is
// made to be its first, a: the walk meets 2^levels compounds in a file that
// holds levels of them. A few levels stay within the budget; forty are far
// past it and end the decoding quickly.
TEST(OgawaDescription, SharedSubtreesAreWalkedWithinTheBudgetOnly) {
    for (int levels : {3, 40}) {
        SCOPED_TRACE(levels);
        alembic_test::Property chain = alembic_test::compound("a", {});
        for (int i = 1; i < levels; ++i) {
            chain = alembic_test::compound("a", {std::move(chain), alembic_test::compound("b", {})});
        }
        alembic_test::Object o = alembic_test::plain("o", "schema=AbcGeom_Xform_v3");
        o.properties.push_back(std::move(chain));
        alembic_test::Scene scene;
        scene.objects.push_back(std::move(o));
        alembic_test::Written w = alembic_test::write_archive(scene);
        EXPECT_EQ(described_objects(w.bytes), 1u);  // distinct, it is described
        std::string path = "/o/a";
        for (int i = 1; i < levels; ++i, path += "/a") {
            std::uint64_t group = w.property_group.at(path);
            std::uint64_t first = 0;
            for (int k = 7; k >= 0; --k) first = (first << 8) | w.bytes[group + 8 + k];
            ogawa_test::set_u64(w.bytes, group + 16, first);
        }
        EXPECT_EQ(described_objects(w.bytes), levels == 3 ? 1u : 0u);
    }
}

// A header field that names what is not there: a metadata index past the
// table, an element type past the last, a size hint of 3, a time count past
// its block.
TEST(OgawaDescription, HeaderFieldsOutsideTheirRangeLeaveTheArchiveUndescribed) {
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("m", {{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, {0, 1, 2}}}));
    const alembic_test::Written w = alembic_test::write_archive(scene);
    const std::uint64_t geom_headers = w.headers.at("/m/.geom") + 8;  // the first property's info word
    const std::uint64_t child_headers = w.headers.at("") + 8;         // the top object's: /m
    std::uint64_t samplings = 0;  // the root's child 4, a data reference
    for (int k = 7; k >= 0; --k) samplings = (samplings << 8) | w.bytes[w.root + 8 + 8 * 4 + k];
    samplings &= ~ogawa_test::kData;
    struct Edit {
        const char* what;
        std::uint64_t at;
        unsigned char value;
    } edits[] = {
        {"metadata index 0xFE", geom_headers + 3, 0x0F},  // bits 20-27 of the info word
        {"element type 14", geom_headers, static_cast<unsigned char>((w.bytes[geom_headers] & 0x0F) | 0xE0)},
        {"size hint 3", geom_headers, static_cast<unsigned char>(w.bytes[geom_headers] | 0x0C)},
        {"child metadata index past the table", child_headers + 4 + 1, 0xFE},
        {"a sampling of 2^24 times", samplings + 8 + 12 + 3, 0x01},
    };
    EXPECT_EQ(described_objects(w.bytes), 1u);
    for (const Edit& e : edits) {
        Bytes b = w.bytes;
        b[e.at] = e.value;
        EXPECT_EQ(described_objects(b), 0u) << e.what;
    }
}

// A scene of 100,000 objects, 1,000 transforms of 99 small meshes each, fits
// the budgets; the report counts them all.
TEST(OgawaDescription, AHundredThousandObjectsFit) {
    alembic_test::Scene scene;
    for (int x = 0; x < 1000; ++x) {
        std::vector<alembic_test::Object> meshes;
        for (int m = 0; m < 99; ++m) {
            meshes.push_back(alembic_test::polymesh("mesh" + std::to_string(m),
                                                    {{{0, 0, 0, 1, 0, 0, float(m), 1, 0}, {3}, {0, 1, 2}}}));
        }
        scene.objects.push_back(
            alembic_test::xform("xf" + std::to_string(x), {0x10}, {{double(x), 0, 0}}, {}, 0, std::move(meshes)));
    }
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    ASSERT_EQ(opened.archive.object_count, 1000u);
    EXPECT_EQ(opened.archive.objects[999]->child_count, 99u);
    EXPECT_STREQ(opened.archive.objects[999]->children[98]->path, "/xf999/mesh98");
    std::string report = report_of(opened.archive);
    EXPECT_NE(report.find("Objects: 100000\nPolyMeshes: 99000\n"), std::string::npos) << report;
}

}  // namespace
