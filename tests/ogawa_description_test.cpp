// What the reader decodes of an archive at open: the object index, the time
// range and the report of every real archive, and hostile variants that must
// leave an archive damaged or undescribed, or one object unreadable, without
// leaking or reading outside the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// The tree through the object index, checked against itself (parent, depth,
// subtree ends, lookups by path) and against the heap records it loads.
Tree tree_of(ogawa_archive_t& archive) {
    Tree t;
    const std::uint32_t n = ogawa_object_count(&archive);
    for (std::uint32_t i = 0; i < n; ++i) {
        ogawa_object_info_t o;
        EXPECT_EQ(ogawa_get_object(&archive, i, &o), 0);
        const std::string path = o.path;
        const std::string parent = o.parent == UINT32_MAX ? "" : t.at(o.parent).first;
        EXPECT_EQ(parent + "/" + o.name, path);
        EXPECT_EQ(o.depth, static_cast<std::uint32_t>(std::count(path.begin(), path.end(), '/')));
        EXPECT_GT(o.next_sibling, i);
        EXPECT_LE(o.next_sibling, n);
        EXPECT_EQ(ogawa_find_object(&archive, o.path), static_cast<std::int32_t>(i));
        EXPECT_EQ(ogawa_schema_from_string(o.schema_text), o.schema);
        t.emplace_back(path, ogawa_schema_to_string(o.schema));
    }
    for (std::uint32_t i = 0; i < n; ++i) {  // a subtree holds exactly the paths below its root
        ogawa_object_info_t o;
        ogawa_get_object(&archive, i, &o);
        for (std::uint32_t j = i + 1; j < n; ++j) {
            EXPECT_EQ(j < o.next_sibling, t[j].first.rfind(t[i].first + "/", 0) == 0) << t[i].first << " " << t[j].first;
        }
    }
    EXPECT_EQ(ogawa_load_objects(&archive), 0);
    EXPECT_EQ(ogawa_load_objects(&archive), 0);  // idempotent
    Tree loaded;
    for (std::uint32_t i = 0; i < archive.object_count; ++i) flatten(archive.objects[i], "", &loaded);
    EXPECT_EQ(loaded, t);
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

// Opening found damage (2) or a whole container it cannot describe (1):
// nothing of a description is left, the time fields keep their defaults.
bool is_not_described(const ogawa_archive_t& a, int state) {
    return ogawa_archive_state(&a) == state && *ogawa_archive_problem(&a) != '\0' && ogawa_object_count(&a) == 0 &&
           a.objects == nullptr && a.start_time == 0.0 && a.end_time == 1.0 && a.fps == 24.0;
}

constexpr int kDescribed = 0, kUndescribed = 1, kDamaged = 2;

// Every read of a damaged archive fails with its outputs cleared.
void expect_every_read_refused(ogawa_archive_t* a) {
    ogawa_polymesh_t m;
    std::memset(&m, 0xAB, sizeof m);
    EXPECT_EQ(ogawa_read_polymesh(a, nullptr, 0, &m), -1);
    EXPECT_EQ(m.positions, nullptr);
    EXPECT_EQ(m.position_count, 0u);
    EXPECT_EQ(ogawa_get_first_polymesh(a), nullptr);
    float* positions = reinterpret_cast<float*>(&m);
    std::uint32_t count = 7;
    EXPECT_EQ(ogawa_read_positions(a, nullptr, 0, &positions, &count), -1);
    EXPECT_EQ(positions, nullptr);
    EXPECT_EQ(count, 0u);
    float* normals = positions;
    std::uint32_t* indices = &count;
    std::uint32_t scope = 9;
    EXPECT_EQ(ogawa_read_normals(a, nullptr, 0, &normals, &indices, &count, &scope), -1);
    EXPECT_EQ(normals, nullptr);
    ogawa_uv_set_t uvs;
    EXPECT_EQ(ogawa_read_uvs(a, nullptr, 0, 0, &uvs), -1);
    EXPECT_EQ(uvs.uvs, nullptr);
    ogawa_tangent_frame_t frame;
    EXPECT_EQ(ogawa_read_tangent_frame(a, nullptr, 0, &frame), -1);
    EXPECT_EQ(frame.tangents, nullptr);
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
        EXPECT_EQ(ogawa_archive_state(&archive), kDescribed);
        EXPECT_STREQ(ogawa_archive_problem(&archive), "");
        EXPECT_EQ(archive.objects, nullptr);  // until the host asks for the records
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
        EXPECT_EQ(ogawa_archive_state(&archive), -1);
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

// What a patched file is found to be, and whether /cube then reads: a fault
// in a node that opening decodes (the root, the top object's group) is
// damage or leaves the archive undescribed; one in /cube's group, decoded by
// the first read of /cube, is found by that read, which fails and leaves the
// archive damaged; one in the object's properties makes that object's reads
// fail.
struct Patch {
    const char* what;
    std::uint64_t at;
    std::uint64_t value;
    int state;
    bool readable;
    bool found_by_read = false;
};

TEST(OgawaDescription, PatchedCubeIsDescribedOnlyWhileItsCountsAndLinksHold) {
    const std::uint64_t file_size = cube_bytes().size();
    const Patch patches[] = {
        {"root claims 5 children", kCubeRoot, 5, kUndescribed, false},
        {"root claims 7 children", kCubeRoot, 7, kDamaged, false},
        {"object claims more children than the file holds", kCubeObject, file_size, kDamaged, false, true},
        {"object claims 2^61 children", kCubeObject, 1ull << 61, kDamaged, false, true},
        {"P holds fewer children than its one sample needs", kCubeP, 1, kDescribed, false},
        {"P holds no children", kCubeP, 0, kDescribed, false},
        {"P holds more children than its samples need", kCubeP, 3, kDescribed, true},
        {"the object's properties are the object itself", kCubeObject + 8, kCubeObject, kDescribed, false},
        {"the object's compound holds itself as .geom", kCubeProperties + 8, kCubeProperties, kDescribed, false},
        {"the object's compound holds the object as .geom", kCubeProperties + 8, kCubeObject, kDescribed, false},
        {"the top object holds itself as /cube", kCubeTop + 16, kCubeTop, kDamaged, false, true},
        {"the object's properties are a data node", kCubeObject + 8, ogawa_test::kData | kCubeProperties,
         kDamaged, false, true},
        {"the top object lies past the end", kCubeRoot + 24, file_size + 8, kDamaged, false},
        {"the object's properties lie past the end", kCubeObject + 8, file_size, kDamaged, false, true},
        {"P's group lies past the end", kCubeGeom + 16, file_size, kDescribed, false},
        {"unchanged", kCubeRoot, 6, kDescribed, true},
    };
    for (const Patch& p : patches) {
        SCOPED_TRACE(p.what);
        Bytes b = cube_bytes();
        ogawa_test::set_u64(b, p.at, p.value);
        OpenedArchive opened(b);
        ASSERT_EQ(opened.rc, 0);
        ogawa_object_t cube{};
        std::strcpy(cube.path, "/cube");
        ogawa_polymesh_t m;
        if (p.found_by_read) {
            EXPECT_EQ(ogawa_archive_state(&opened.archive), kDescribed);
            EXPECT_EQ(ogawa_read_polymesh(&opened.archive, &cube, 0, &m), -1);
            EXPECT_EQ(m.positions, nullptr);
        }
        if (p.state != kDescribed) {
            EXPECT_TRUE(is_not_described(opened.archive, p.state));
            EXPECT_NE(report_of(opened.archive).find("Objects: 0\n"), std::string::npos);
            if (p.state == kDamaged) expect_every_read_refused(&opened.archive);
            continue;
        }
        EXPECT_EQ(ogawa_archive_state(&opened.archive), kDescribed);
        EXPECT_EQ(ogawa_object_count(&opened.archive), 1u);
        const int rc = ogawa_read_polymesh(&opened.archive, &cube, 0, &m);
        EXPECT_EQ(rc, p.readable ? 0 : -1);
        if (rc == 0) ogawa_free_polymesh(&m);
    }
}

// Every cut of every real archive opens (when its 16-byte header is whole)
// and is damaged: the root group is written last. Every cut of the small
// ones, a few hundred spread over the others. A file whose last third was
// never written (zeros) is never described.
TEST(OgawaDescription, EveryTruncationOfARealArchiveIsDamaged) {
    for (const Fixture& f : kFixtures) {
        SCOPED_TRACE(f.name);
        const Bytes whole = zel_test::read_file(zel_test::data_file(std::string(f.name) + ".abc"));
        const std::size_t step = whole.size() < 2048 ? 1 : whole.size() / 200;
        for (std::size_t n = 16; n < whole.size(); n += step) {
            OpenedArchive opened(Bytes(whole.begin(), whole.begin() + static_cast<long>(n)));
            ASSERT_EQ(opened.rc, 0) << n;
            ASSERT_TRUE(is_not_described(opened.archive, kDamaged)) << n;
            if (n % 7 == 0 || whole.size() - n <= step) expect_every_read_refused(&opened.archive);
        }
        Bytes zeroed = whole;
        std::fill(zeroed.begin() + static_cast<long>(2 * whole.size() / 3), zeroed.end(), 0);
        OpenedArchive opened_zeroed(zeroed);
        EXPECT_TRUE(is_not_described(opened_zeroed.archive, kDamaged));
        OpenedArchive opened(whole);
        EXPECT_EQ(ogawa_archive_state(&opened.archive), kDescribed);
    }
}

// Any allocation of the decoding that fails leaves the archive undescribed
// and open, and one of the host's tree leaves it unloaded, with nothing
// leaked. The first is the buffer a small file is read into: without it the
// file is mapped instead and still described.
TEST(OgawaDescription, AllocationFailuresLeaveTheArchiveUndescribed) {
    const std::string path = zel_test::data_file("scene_mixed.abc");
    bool fired = true;
    std::uint64_t nth = 1;
    for (; fired; ++nth) {
        ogawa_archive_t archive;
        int state, loaded = -1;
        {
            zel_test::FailNthAllocation fail(nth);
            ASSERT_EQ(ogawa_open(path.c_str(), &archive), 0);
            state = ogawa_archive_state(&archive);
            if (state == kDescribed) loaded = ogawa_load_objects(&archive);
            fired = fail.fired();
        }
        if (state != kDescribed) {
            EXPECT_TRUE(fired && nth > 1) << nth;
            EXPECT_TRUE(is_not_described(archive, kUndescribed)) << nth;
        } else if (loaded != 0) {
            EXPECT_EQ(loaded, -2) << nth;
            EXPECT_EQ(archive.objects, nullptr) << nth;
        } else {
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
    ogawa_object_count(&opened.archive);  // decodes the whole tree, which may find it does not decode
    return ogawa_archive_state(&opened.archive) == kDescribed ? tree_of(opened.archive).size() : 0;
}

// Whether the archive is described and its first object's mesh reads.
bool first_object_reads(const Bytes& bytes) {
    OpenedArchive opened(bytes);
    ogawa_object_info_t info;
    if (ogawa_get_object(&opened.archive, 0, &info) != 0) return false;
    ogawa_object_t o{};
    std::strcpy(o.path, info.path);
    ogawa_polymesh_t m;
    if (ogawa_read_polymesh(&opened.archive, &o, 0, &m) != 0) return false;
    ogawa_free_polymesh(&m);
    return true;
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

// A compound chain /o/a/a/... beside a mesh's .geom in which every level's
// second compound b is made to be its first, a: the walk meets 2^levels
// compounds in a file that holds levels of them. A few levels stay within
// the budget; forty are far past it and end the decoding of /o's properties
// quickly: /o does not read, the archive stays described.
TEST(OgawaDescription, SharedSubtreesAreWalkedWithinTheBudgetOnly) {
    for (int levels : {3, 40}) {
        SCOPED_TRACE(levels);
        alembic_test::Property chain = alembic_test::compound("a", {});
        for (int i = 1; i < levels; ++i) {
            chain = alembic_test::compound("a", {std::move(chain), alembic_test::compound("b", {})});
        }
        alembic_test::Object o = alembic_test::polymesh("o", {{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, {0, 1, 2}}});
        o.properties.push_back(std::move(chain));
        alembic_test::Scene scene;
        scene.objects.push_back(std::move(o));
        alembic_test::Written w = alembic_test::write_archive(scene);
        EXPECT_TRUE(first_object_reads(w.bytes));  // distinct, it is read
        std::string path = "/o/a";
        for (int i = 1; i < levels; ++i, path += "/a") {
            const std::uint64_t group = w.property_group.at(path);
            ogawa_test::set_u64(w.bytes, group + 16, ogawa_test::get_u64(w.bytes, group + 8));
        }
        EXPECT_EQ(described_objects(w.bytes), 1u);
        EXPECT_EQ(first_object_reads(w.bytes), levels == 3);
    }
}

// A header field that names what is not there: a metadata index past the
// table, an element type past the last, a size hint of 3 (in a property
// header: the mesh does not read), a time count past its block (the archive
// is not described).
TEST(OgawaDescription, HeaderFieldsOutsideTheirRangeLeaveTheArchiveUndescribed) {
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("m", {{{0, 0, 0, 1, 0, 0, 0, 1, 0}, {3}, {0, 1, 2}}}));
    const alembic_test::Written w = alembic_test::write_archive(scene);
    const std::uint64_t geom_headers = w.headers.at("/m/.geom") + 8;  // the first property's info word
    const std::uint64_t child_headers = w.headers.at("") + 8;         // the top object's: /m
    // The root's child 4, a data reference.
    const std::uint64_t samplings = ogawa_test::get_u64(w.bytes, w.root + 8 + 8 * 4) & ~ogawa_test::kData;
    struct Edit {
        const char* what;
        std::uint64_t at;
        unsigned char value;
        bool described;
    } edits[] = {
        {"metadata index 0xFE", geom_headers + 3, 0x0F, true},  // bits 20-27 of the info word
        {"element type 14", geom_headers, static_cast<unsigned char>((w.bytes[geom_headers] & 0x0F) | 0xE0), true},
        {"size hint 3", geom_headers, static_cast<unsigned char>(w.bytes[geom_headers] | 0x0C), true},
        {"child metadata index past the table", child_headers + 4 + 1, 0xFE, false},
        {"a sampling of 2^24 times", samplings + 8 + 12 + 3, 0x01, false},
    };
    EXPECT_TRUE(first_object_reads(w.bytes));
    for (const Edit& e : edits) {
        Bytes b = w.bytes;
        b[e.at] = e.value;
        EXPECT_EQ(described_objects(b), e.described ? 1u : 0u) << e.what;
        EXPECT_FALSE(first_object_reads(b)) << e.what;
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
    ASSERT_EQ(ogawa_object_count(&opened.archive), 100000u);
    const std::int32_t last = ogawa_find_object(&opened.archive, "/xf999/mesh98");
    ASSERT_EQ(last, 99999);
    ogawa_object_info_t mesh, xform;
    ASSERT_EQ(ogawa_get_object(&opened.archive, 99999, &mesh), 0);
    ASSERT_EQ(ogawa_get_object(&opened.archive, mesh.parent, &xform), 0);
    EXPECT_STREQ(xform.path, "/xf999");
    EXPECT_EQ(mesh.parent, 99900u);
    EXPECT_EQ(xform.next_sibling, 100000u);
    EXPECT_EQ(ogawa_object_samples(&opened.archive, 99999), 1u);
    EXPECT_EQ(ogawa_find_object(&opened.archive, "/xf999/mesh99"), -1);
    std::string report = report_of(opened.archive);
    EXPECT_NE(report.find("Objects: 100000\nPolyMeshes: 99000\n"), std::string::npos) << report;
}

}  // namespace

namespace {

// The index gives each object's schema and its text as written: curves as
// writers name them, and schemas the enumeration leaves unknown.
TEST(OgawaDescription, TheIndexGivesSchemasAndTheirTexts) {
    const std::pair<const char*, ogawa_schema_t> schemas[] = {
        {"AbcGeom_Curve_v2", OGAWA_SCHEMA_CURVES},  {"AbcGeom_FaceSet_v1", OGAWA_SCHEMA_UNKNOWN},
        {"AbcGeom_Points_v1", OGAWA_SCHEMA_POINTS}, {"AbcGeom_NuPatch_v2", OGAWA_SCHEMA_UNKNOWN},
        {"", OGAWA_SCHEMA_UNKNOWN},
    };
    alembic_test::Scene scene;
    const char* names[] = {"o0", "o1", "o2", "o3", "o4"};
    for (const auto& [text, schema] : schemas) {
        std::string metadata = "schema=";
        metadata += text;
        scene.objects.push_back(alembic_test::plain(names[scene.objects.size()], *text ? metadata : ""));
    }
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    ASSERT_EQ(ogawa_object_count(&opened.archive), std::size(schemas));
    for (std::uint32_t i = 0; i < std::size(schemas); ++i) {
        ogawa_object_info_t o;
        ASSERT_EQ(ogawa_get_object(&opened.archive, i, &o), 0);
        EXPECT_STREQ(o.schema_text, schemas[i].first);
        EXPECT_EQ(o.schema, schemas[i].second);
        EXPECT_EQ(ogawa_object_samples(&opened.archive, i), 0u);
    }
    ogawa_object_info_t o;
    EXPECT_EQ(ogawa_get_object(&opened.archive, std::size(schemas), &o), -1);
    EXPECT_EQ(ogawa_get_object(&opened.archive, 0, nullptr), -1);
    EXPECT_EQ(ogawa_get_object(nullptr, 0, &o), -1);
    EXPECT_EQ(ogawa_find_object(&opened.archive, nullptr), -1);
    EXPECT_EQ(ogawa_find_object(nullptr, "/o0"), -1);
    EXPECT_EQ(ogawa_object_count(nullptr), 0u);
    EXPECT_EQ(ogawa_load_objects(nullptr), -1);
}

}  // namespace
