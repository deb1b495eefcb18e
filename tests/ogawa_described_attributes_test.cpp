// World transforms and the attribute readers on described archives: the
// real archives against their truth and transforms files, and archives made
// with the test writer for what the real ones lack.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "ogawa_truth.h"
#include "support/alembic_writer.h"
#include "support/test_support.h"

namespace {

using namespace ogawa_truth;
using ogawa_test::OpenedArchive;

std::uint32_t scope_of(const json& object, const json& sample, const char* key) {
    const json& s = sample.contains(key) ? sample[key] : object[key];
    return s == "vertex" ? OGAWA_SCOPE_VERTEX : s == "facevarying" ? OGAWA_SCOPE_FACE_VARYING : 0;
}

// Every mesh and sample: normals as ogawa_read_polymesh expands them, the
// texture coordinates and their indices as stored, no tangent frame, and -1
// wherever nothing was written.
TEST(OgawaDescribedAttributes, RealArchivesGiveWhatWasWritten) {
    for (const char* fixture : kFixtures) {
        SCOPED_TRACE(fixture);
        const json truth = load_json(std::string(fixture) + ".truth.json");
        ogawa_archive_t archive;
        ASSERT_EQ(ogawa_open(zel_test::data_file(std::string(fixture) + ".abc").c_str(), &archive), 0);
        for (const json& object : truth["objects"]) {
            if (!object.contains("samples")) continue;
            const ogawa_object_t record = named(object["path"]);
            for (const json& sample : object["samples"]) {
                const std::uint32_t index = sample["index"];
                SCOPED_TRACE(std::string(object["path"]) + " sample " + std::to_string(index));
                ogawa_polymesh_t mesh;
                ASSERT_EQ(ogawa_read_polymesh(&archive, &record, index, &mesh), 0);
                float* normals = nullptr;
                std::uint32_t marker = 0;
                std::uint32_t* normal_indices = &marker;  // must come back null
                std::uint32_t count = 0, scope = 0;
                const int rc = ogawa_read_normals(&archive, &record, index, &normals, &normal_indices, &count, &scope);
                EXPECT_EQ(rc, sample.contains("normals") ? 0 : -1);
                EXPECT_EQ(normal_indices, nullptr);
                EXPECT_EQ(floats(normals, 3 * std::size_t{count}),
                          floats(mesh.normals, 3 * std::size_t{mesh.normal_count}));
                EXPECT_EQ(scope, mesh.normal_scope);
                std::free(normals);
                ogawa_free_polymesh(&mesh);

                ogawa_uv_set_t set;
                ASSERT_EQ(ogawa_read_uvs(&archive, &record, index, 0, &set), sample.contains("uvs") ? 0 : -1);
                if (sample.contains("uvs")) {
                    EXPECT_STREQ(set.name, "uv");
                    EXPECT_EQ(floats(set.uvs, 2 * std::size_t{set.uv_count}), truth_floats(sample["uvs"]));
                    std::vector<std::uint32_t> indices;
                    if (sample.contains("uv_indices")) indices = sample["uv_indices"].get<std::vector<std::uint32_t>>();
                    EXPECT_EQ(words(set.indices, set.index_count), indices);
                    EXPECT_EQ(set.scope, scope_of(object, sample, "uvs_scope"));
                }
                ogawa_free_uv_set(&set);
                EXPECT_EQ(ogawa_read_uvs(&archive, &record, index, 1, &set), -1);
                ogawa_tangent_frame_t frame;
                EXPECT_EQ(ogawa_read_tangent_frame(&archive, &record, index, &frame), -1);
                EXPECT_EQ(frame.tangents, nullptr);
            }
        }
        ogawa_close(&archive);
    }
}

// The cube's `uv` is face-varying without indices: a tangent frame from it
// reads corner k's coordinate k, as the same coordinates given through
// indices 0, 1, 2, ... do.
TEST(OgawaDescribedAttributes, FaceVaryingCoordinatesWithoutIndicesArePerCorner) {
    ogawa_archive_t archive;
    ASSERT_EQ(ogawa_open(zel_test::data_file("cube.abc").c_str(), &archive), 0);
    ogawa_polymesh_t plain, indexed;
    ASSERT_EQ(ogawa_read_polymesh(&archive, nullptr, 0, &plain), 0);
    ASSERT_EQ(ogawa_read_polymesh(&archive, nullptr, 0, &indexed), 0);
    for (ogawa_polymesh_t* m : {&plain, &indexed}) {
        m->uv_sets = static_cast<ogawa_uv_set_t*>(std::calloc(1, sizeof(ogawa_uv_set_t)));
        m->uv_set_count = 1;
        ASSERT_EQ(ogawa_read_uvs(&archive, nullptr, 0, 0, m->uv_sets), 0);
        ASSERT_EQ(m->uv_sets[0].scope, OGAWA_SCOPE_FACE_VARYING);
        ASSERT_EQ(m->uv_sets[0].indices, nullptr);
    }
    ogawa_uv_set_t& set = indexed.uv_sets[0];
    set.index_count = set.uv_count;
    set.indices = static_cast<std::uint32_t*>(std::malloc(4 * std::size_t{set.index_count}));
    for (std::uint32_t k = 0; k < set.index_count; ++k) set.indices[k] = k;
    ASSERT_EQ(ogawa_compute_tangent_frame(&plain, "uv"), 0);
    ASSERT_EQ(ogawa_compute_tangent_frame(&indexed, "uv"), 0);
    ASSERT_EQ(plain.tangent_frame.count, 8u);
    const std::size_t n = 3 * std::size_t{plain.tangent_frame.count};
    EXPECT_EQ(floats(plain.tangent_frame.tangents, n), floats(indexed.tangent_frame.tangents, n));
    EXPECT_EQ(floats(plain.tangent_frame.bitangents, n), floats(indexed.tangent_frame.bitangents, n));
    // A real frame: every tangent has unit length.
    for (std::size_t v = 0; v < n; v += 3) {
        const float* t = plain.tangent_frame.tangents + v;
        EXPECT_NEAR(std::sqrt(t[0] * t[0] + t[1] * t[1] + t[2] * t[2]), 1.0, 1e-6);
    }
    ogawa_free_polymesh(&plain);
    ogawa_free_polymesh(&indexed);
    ogawa_close(&archive);
}

alembic_test::MeshSample quad() { return {{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {4}, {0, 1, 2, 3}}; }

void expect_matrix(const ogawa_polymesh_t& m, const std::vector<double>& expected) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.transform[i], expected[i], 1e-12) << i;
}

std::vector<double> translation(double x, double y, double z) {
    return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
}

// Rotations about a non-unit axis, an xform that does not inherit, and
// operations applied from the last listed to the first.
TEST(OgawaDescribedAttributes, WorldMatricesOfNestedTransforms) {
    using alembic_test::xform;
    constexpr std::uint8_t kScale = 0x00, kTranslate = 0x10, kRotate = 0x20, kRotateZ = 0x60;
    alembic_test::Scene scene;
    scene.objects.push_back(xform("spin", {kRotate}, {{1, 1, 0, 90}}, {}, 0, {alembic_test::polymesh("m", {quad()})}));
    scene.objects.push_back(xform(
        "a", {kTranslate}, {{1, 0, 0}}, {}, 0,
        {xform("b", {kTranslate}, {{0, 2, 0}}, {false}, 0, {alembic_test::polymesh("m", {quad()})}),
         xform("c", {kTranslate}, {{0, 0, 3}}, {true}, 0, {alembic_test::polymesh("m", {quad()})})}));
    // Translate, rotate, scale listed in that order: scale first.
    scene.objects.push_back(xform("trs", {kTranslate, kRotateZ, kScale}, {{5, 0, 0, 90, 2, 2, 2}}, {}, 0,
                                  {alembic_test::polymesh("m", {quad()})}));
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
    // M_SQRT1_2 is not standard C++ (mingw's strict mode lacks it).
    constexpr double kHalfRoot2 = std::numbers::sqrt2 / 2;
    struct Case {
        const char* path;
        std::vector<double> world;
    } cases[] = {
        // 90 degrees about (1, 1, 0) / sqrt 2: c = 0, s = 1, t = 1, x = y = sqrt(1/2).
        {"/spin/m", {0.5, 0.5, -kHalfRoot2, 0, 0.5, 0.5, kHalfRoot2, 0, kHalfRoot2, -kHalfRoot2, 0, 0, 0, 0, 0, 1}},
        {"/a/b/m", translation(0, 2, 0)},  // b does not inherit a's translation
        {"/a/c/m", translation(1, 0, 3)},
        // x -> (2, 0, 0) -> (0, 2, 0) -> (5, 2, 0): rows are the images of the axes.
        {"/trs/m", {0, 2, 0, 0, -2, 0, 0, 0, 0, 0, 2, 0, 5, 0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        ogawa_object_t record = named(c.path);
        ogawa_polymesh_t m;
        ASSERT_EQ(ogawa_read_polymesh(&opened.archive, &record, 0, &m), 0);
        expect_matrix(m, c.world);
        ogawa_free_polymesh(&m);
    }
}

// .vals animated on one sampling, .ops on another, the mesh on a third (acyclic):
// each is read at its own sample nearest to the mesh sample's time, the
// earlier on a tie.
TEST(OgawaDescribedAttributes, TransformSamplesNearestInTime) {
    const double kFrame = 1.0 / 24;
    const std::vector<double> mesh_times = {0, 0.02, 1.0 / 48, 0.05, 1.0};
    alembic_test::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}, {3, kFrame, {0.0}}, {5, alembic_test::kAcyclic, mesh_times}};
    std::vector<alembic_test::MeshSample> samples;
    for (int i = 0; i < 5; ++i) {
        alembic_test::MeshSample s = quad();
        s.positions[0] = float(i);  // every sample differs
        samples.push_back(s);
    }
    scene.objects.push_back(alembic_test::xform("x", {0x10}, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, {}, 1,
                                                {alembic_test::polymesh("m", samples, 2)}));
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
    ogawa_object_t record = named("/x/m");
    const double expected_x[] = {0, 0, 0, 1, 2};  // 1/48 is as near to 0 as to 1/24
    for (std::uint32_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        ogawa_polymesh_t m;
        ASSERT_EQ(ogawa_read_polymesh(&opened.archive, &record, i, &m), 0);
        EXPECT_EQ(m.positions[0], float(i));
        expect_matrix(m, translation(expected_x[i], 0, 0));
        ASSERT_EQ(m.sample_count, 5u);
        EXPECT_EQ(std::vector<double>(m.sample_times, m.sample_times + 5), mesh_times);
        ogawa_free_polymesh(&m);
    }
}

// Texture-coordinate sets numbered uv first, then the f32 pairs of
// .arbGeomParams; tangent frames from a named pair; indexed normals.
TEST(OgawaDescribedAttributes, CoordinateSetsTangentPairsAndIndexedNormals) {
    using alembic_test::GeomParam;
    const std::vector<float> st = {0, 0, 1, 0, 1, 1, 0, 1};
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("no_uv", {quad()}, 0, {}, {{"st", 2, "vtx", {st}, {}}}));
    scene.objects.push_back(alembic_test::polymesh(
        "several", {quad()}, 0, {{"uv", 2, "fvr", {st}, {}}},
        {{"Cd", 3, "vtx", {std::vector<float>(12, 0.5f)}, {}}, {"uv2", 2, "fvr", {{0, 0, 1, 1}}, {{0, 1, 1, 0}}},
         {"flat", 2, "con", {{0.5f, 0.5f}}, {}}}));
    const std::vector<float> x4 = {1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0};
    scene.objects.push_back(alembic_test::polymesh(
        "framed", {quad()}, 0, {{"N", 3, "fvr", {{0, 0, 1, 0, 0, -1}}, {{0, 0, 1, 1}}}},
        {{"Tangent", 3, "vtx", {x4}, {}}, {"binormal", 3, "vtx", {{0, 1, 0}}, {{0, 0, 0, 0}}}}));
    scene.objects.push_back(alembic_test::polymesh("half", {quad()}, 0, {}, {{"T", 3, "vtx", {x4}, {}}}));
    scene.objects.push_back(alembic_test::polymesh(
        "mismatched", {quad()}, 0, {}, {{"t", 3, "vtx", {x4}, {}}, {"b", 3, "fvr", {x4}, {}}}));
    OpenedArchive opened(alembic_test::write_archive(scene).bytes);
    ogawa_archive_t* a = &opened.archive;
    ASSERT_EQ(ogawa_archive_state(a), 0);

    struct Set {
        const char* mesh;
        std::uint32_t number;
        int rc;
        const char* name;
        std::vector<float> uvs;
        std::vector<std::uint32_t> indices;
        std::uint32_t scope;
    } sets[] = {
        {"/no_uv", 0, 0, "st", st, {}, OGAWA_SCOPE_VERTEX},
        {"/no_uv", 1, -1, "", {}, {}, 0},
        {"/several", 0, 0, "uv", st, {}, OGAWA_SCOPE_FACE_VARYING},
        {"/several", 1, 0, "uv2", {0, 0, 1, 1}, {0, 1, 1, 0}, OGAWA_SCOPE_FACE_VARYING},
        {"/several", 2, -1, "", {}, {}, 0},  // one value for all: no scope a set can have
        {"/several", 3, -1, "", {}, {}, 0},
    };
    for (const Set& s : sets) {
        SCOPED_TRACE(std::string(s.mesh) + " set " + std::to_string(s.number));
        ogawa_object_t record = named(s.mesh);
        ogawa_uv_set_t set;
        EXPECT_EQ(ogawa_read_uvs(a, &record, 0, s.number, &set), s.rc);
        EXPECT_STREQ(set.name, s.name);
        EXPECT_EQ(floats(set.uvs, 2 * std::size_t{set.uv_count}), s.uvs);
        EXPECT_EQ(words(set.indices, set.index_count), s.indices);
        EXPECT_EQ(set.scope, s.scope);
        ogawa_free_uv_set(&set);
    }

    ogawa_object_t framed = named("/framed");
    ogawa_tangent_frame_t frame;
    ASSERT_EQ(ogawa_read_tangent_frame(a, &framed, 0, &frame), 0);
    EXPECT_EQ(frame.count, 4u);
    EXPECT_EQ(frame.scope, OGAWA_SCOPE_VERTEX);
    EXPECT_EQ(floats(frame.tangents, 12), x4);
    EXPECT_EQ(floats(frame.bitangents, 12), (std::vector<float>{0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1, 0}));
    ogawa_free_tangent_frame(&frame);
    for (const char* path : {"/half", "/mismatched", "/no_uv"}) {
        ogawa_object_t record = named(path);
        EXPECT_EQ(ogawa_read_tangent_frame(a, &record, 0, &frame), -1) << path;
        EXPECT_EQ(frame.tangents, nullptr);
    }

    float* normals = nullptr;
    std::uint32_t* normal_indices = nullptr;
    std::uint32_t count = 0, scope = 0;
    ASSERT_EQ(ogawa_read_normals(a, &framed, 0, &normals, &normal_indices, &count, &scope), 0);
    EXPECT_EQ(floats(normals, 3 * std::size_t{count}), (std::vector<float>{0, 0, 1, 0, 0, 1, 0, 0, -1, 0, 0, -1}));
    EXPECT_EQ(scope, OGAWA_SCOPE_FACE_VARYING);
    EXPECT_EQ(normal_indices, nullptr);
    std::free(normals);
    ogawa_object_t no_uv = named("/no_uv");
    EXPECT_EQ(ogawa_read_normals(a, &no_uv, 0, &normals, &normal_indices, &count, &scope), -1);
    EXPECT_EQ(normals, nullptr);
    EXPECT_EQ(count, 0u);
}

}  // namespace
