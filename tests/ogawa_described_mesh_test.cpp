// Meshes read from described archives: every mesh and sample of the real
// archives against what their writer recorded, bit for bit, and meshes made
// with the test writer for the cases the real archives lack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "ogawa_truth.h"
#include "support/alembic_writer.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"

namespace {

using namespace ogawa_truth;
using ogawa_test::Bytes;
using ogawa_test::OpenedArchive;

std::vector<std::uint32_t> truth_float_bits(const json& rows) {
    const std::vector<float> f = truth_floats(rows);
    return bits(f.data(), f.size());
}
std::vector<std::uint32_t> truth_words(const json& items) {
    std::vector<std::uint32_t> out;
    for (const json& v : items) out.push_back(static_cast<std::uint32_t>(v.get<std::int64_t>()));
    return out;
}

// The normals as a reader hands them out: through their indices when the
// truth stores them indexed.
std::vector<std::uint32_t> truth_normals(const json& sample) {
    if (!sample.contains("normals")) return {};
    if (!sample.contains("normal_indices")) return truth_float_bits(sample["normals"]);
    json expanded = json::array();
    for (const json& i : sample["normal_indices"]) expanded.push_back(sample["normals"][i.get<std::size_t>()]);
    return truth_float_bits(expanded);
}

std::uint32_t scope_of(const std::string& name) {
    return name == "vertex" ? OGAWA_SCOPE_VERTEX : name == "facevarying" ? OGAWA_SCOPE_FACE_VARYING : 0;
}

void expect_sample(const ogawa_polymesh_t& m, const json& object, const json& sample, const json& world) {
    EXPECT_EQ(bits(m.positions, 3 * std::size_t{m.position_count}), truth_float_bits(sample["positions"]));
    EXPECT_EQ(words(m.face_counts, m.face_count), truth_words(sample["face_counts"]));
    EXPECT_EQ(words(m.face_indices, m.face_index_count), truth_words(sample["face_indices"]));
    EXPECT_EQ(bits(m.normals, 3 * std::size_t{m.normal_count}), truth_normals(sample));
    const json& scope = sample.contains("normals_scope") ? sample["normals_scope"] : object["normals_scope"];
    EXPECT_EQ(m.normal_scope, sample.contains("normals") ? scope_of(scope.get<std::string>()) : 0u);
    EXPECT_EQ(m.normal_indices, nullptr);
    EXPECT_EQ(m.uv_sets, nullptr);
    for (int k = 0; k < 3; ++k) EXPECT_LE(m.bounds.min[k], m.bounds.max[k]);
    EXPECT_EQ(std::memcmp(&m.bounds, &m.initial_bounds, sizeof m.bounds), 0);
    ASSERT_EQ(world.size(), 16u);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m.transform[i], world[i].get<double>(), 1e-12) << i;
}

TEST(OgawaDescribedMesh, EveryMeshAndSampleOfTheRealArchivesIsReadExactly) {
    for (const char* fixture : kFixtures) {
        SCOPED_TRACE(fixture);
        const json truth = load_json(std::string(fixture) + ".truth.json");
        const json transforms = load_json(std::string(fixture) + ".transforms.json");
        ogawa_archive_t archive;
        ASSERT_EQ(ogawa_open(zel_test::data_file(std::string(fixture) + ".abc").c_str(), &archive), 0);
        std::string first_mesh;
        for (const json& object : truth["objects"]) {
            if (!object.contains("samples")) continue;
            const std::string path = object["path"];
            SCOPED_TRACE(path);
            if (first_mesh.empty()) first_mesh = path;
            const ogawa_object_t record = named(path);
            json times, worlds;
            for (const json& t : transforms) {
                if (t["path"] != path) continue;
                times = t["times"];
                worlds = t["world_matrices"];
            }
            ASSERT_EQ(times.size(), object["num_samples"].get<std::size_t>());
            for (const json& sample : object["samples"]) {
                const std::uint32_t index = sample["index"];
                SCOPED_TRACE(index);
                ogawa_polymesh_t m;
                ASSERT_EQ(ogawa_read_polymesh(&archive, &record, index, &m), 0);
                expect_sample(m, object, sample, worlds[index]);
                EXPECT_STREQ(m.path, path.c_str());
                EXPECT_EQ(path.substr(path.rfind('/') + 1), m.name);
                ASSERT_EQ(m.sample_count, times.size());
                for (std::size_t k = 0; k < times.size(); ++k) EXPECT_EQ(m.sample_times[k], times[k].get<double>());
                ogawa_free_polymesh(&m);

                float* positions = nullptr;
                std::uint32_t count = 0;
                ASSERT_EQ(ogawa_read_positions(&archive, &record, index, &positions, &count), 0);
                EXPECT_EQ(bits(positions, 3 * std::size_t{count}), truth_float_bits(sample["positions"]));
                std::free(positions);
            }
            // Past the last sample there is nothing.
            ogawa_polymesh_t past;
            EXPECT_EQ(ogawa_read_polymesh(&archive, &record, static_cast<std::uint32_t>(times.size()), &past), -1);
            EXPECT_EQ(past.positions, nullptr);
        }
        // Without an object: the first mesh, sample 0, named after it.
        const ogawa_polymesh_t* first = ogawa_get_first_polymesh(&archive);
        ASSERT_NE(first, nullptr);
        EXPECT_STREQ(first->path, first_mesh.c_str());
        for (const json& object : truth["objects"]) {
            if (object["path"] != first_mesh) continue;
            for (const json& t : transforms) {
                if (t["path"] == first_mesh) expect_sample(*first, object, object["samples"][0], t["world_matrices"][0]);
            }
        }
        ogawa_close(&archive);
    }
}

// A quad of two triangles, with normals given as `param`.
alembic_test::MeshSample quad() { return {{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {3, 3}, {0, 1, 2, 0, 2, 3}}; }
alembic_test::Object quad_with_normals(const std::string& name, alembic_test::GeomParam param) {
    param.name = "N";
    param.extent = 3;
    return alembic_test::polymesh(name, {quad()}, 0, {param});
}

constexpr float kUp[] = {0, 0, 1}, kDown[] = {0, 0, -1};
std::vector<float> repeat(std::initializer_list<const float*> normals) {
    std::vector<float> out;
    for (const float* n : normals) out.insert(out.end(), n, n + 3);
    return out;
}

struct Opened {
    explicit Opened(const alembic_test::Scene& scene) : opened(alembic_test::write_archive(scene).bytes) {}
    OpenedArchive opened;
    ogawa_archive_t* operator->() { return &opened.archive; }
    ogawa_archive_t* get() { return &opened.archive; }
};

// Normals of every scope, indexed or not, and those that do not fit; two
// meshes of different attributes; the first mesh holds no positions; a
// camera and a SubD named by path.
TEST(OgawaDescribedMesh, NormalsFollowTheirScopeAndIndices) {
    using alembic_test::GeomParam;
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("empty", {{{}, {}, {}}}));
    const std::vector<float> up4 = repeat({kUp, kUp, kUp, kUp});
    const std::vector<float> updown = repeat({kUp, kDown});
    struct Case {
        const char* name;
        GeomParam param;
        std::vector<float> normals;
        std::uint32_t scope;
    } cases[] = {
        {"vtx", {"", 3, "vtx", {repeat({kUp, kDown, kUp, kDown})}, {}}, repeat({kUp, kDown, kUp, kDown}), 3},
        {"var", {"", 3, "var", {up4}, {}}, up4, 3},
        {"fvr_indexed", {"", 3, "fvr", {updown}, {{0, 0, 0, 1, 1, 1}}}, repeat({kUp, kUp, kUp, kDown, kDown, kDown}), 4},
        {"vtx_indexed", {"", 3, "vtx", {updown}, {{1, 0, 1, 0}}}, repeat({kDown, kUp, kDown, kUp}), 3},
        {"uni", {"", 3, "uni", {updown}, {}}, repeat({kUp, kUp, kUp, kDown, kDown, kDown}), 4},
        {"con", {"", 3, "con", {repeat({kDown})}, {}}, repeat({kDown, kDown, kDown, kDown}), 3},
        {"too_few", {"", 3, "vtx", {repeat({kUp, kUp, kUp})}, {}}, {}, 0},
        {"index_past_values", {"", 3, "fvr", {updown}, {{0, 0, 0, 1, 1, 2}}}, {}, 0},
        {"no_scope", {"", 3, "", {up4}, {}}, {}, 0},
        {"uni_per_vertex_count", {"", 3, "uni", {up4}, {}}, {}, 0},
    };
    for (const Case& c : cases) scene.objects.push_back(quad_with_normals(c.name, c.param));
    scene.objects.push_back(alembic_test::plain("cam", "schema=AbcGeom_Camera_v1"));
    scene.objects.push_back(alembic_test::subd("cage", quad()));
    Opened a(scene);
    ASSERT_EQ(ogawa_archive_state(a.get()), 0);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ogawa_object_t record = named(std::string("/") + c.name);
        ogawa_polymesh_t m;
        ASSERT_EQ(ogawa_read_polymesh(a.get(), &record, 0, &m), 0);
        EXPECT_EQ(bits(m.normals, 3 * std::size_t{m.normal_count}), bits(c.normals.data(), c.normals.size()));
        EXPECT_EQ(m.normal_scope, c.scope);
        EXPECT_EQ(words(m.face_indices, m.face_index_count), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3}));
        ogawa_free_polymesh(&m);
    }
    // The first mesh that holds positions, not the empty one before it.
    const ogawa_polymesh_t* first = ogawa_get_first_polymesh(a.get());
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->path, "/vtx");
    ogawa_polymesh_t m;
    float* positions = reinterpret_cast<float*>(&m);  // overwritten on every outcome
    std::uint32_t count = 7;
    // An empty mesh reads, with nothing but its name, times and place.
    ogawa_object_t empty = named("/empty");
    ASSERT_EQ(ogawa_read_polymesh(a.get(), &empty, 0, &m), 0);
    EXPECT_STREQ(m.name, "empty");
    EXPECT_TRUE(m.positions == nullptr && m.position_count == 0 && m.face_counts == nullptr && m.face_count == 0 &&
                m.face_indices == nullptr && m.normals == nullptr);
    EXPECT_EQ(m.sample_count, 1u);
    ASSERT_NE(m.sample_times, nullptr);
    EXPECT_EQ(m.transform[0], 1.0);
    ogawa_free_polymesh(&m);
    EXPECT_EQ(ogawa_read_positions(a.get(), &empty, 0, &positions, &count), 0);
    EXPECT_EQ(positions, nullptr);
    EXPECT_EQ(count, 0u);
    ogawa_uv_set_t uvs;
    EXPECT_EQ(ogawa_read_uvs(a.get(), &empty, 0, 0, &uvs), -1);
    positions = reinterpret_cast<float*>(&m);
    for (const char* path : {"/cam", "/missing", ""}) {
        ogawa_object_t record = named(path);
        EXPECT_EQ(ogawa_read_polymesh(a.get(), &record, 0, &m), -1) << path;
        EXPECT_EQ(m.positions, nullptr);
        EXPECT_EQ(ogawa_read_positions(a.get(), &record, 0, &positions, &count), -1) << path;
        EXPECT_EQ(positions, nullptr);
        EXPECT_EQ(count, 0u);
    }
    ogawa_object_t cage = named("/cage");
    ASSERT_EQ(ogawa_read_polymesh(a.get(), &cage, 0, &m), 0);
    EXPECT_EQ(bits(m.positions, 12), bits(quad().positions.data(), 12));
    EXPECT_EQ(words(m.face_counts, m.face_count), (std::vector<std::uint32_t>{3, 3}));
    ogawa_free_polymesh(&m);
}

// A damaged node is -1 for the mesh that needs it; the first-mesh search
// passes over a mesh whose positions are damaged.
TEST(OgawaDescribedMesh, DamagedSamplesAreRefused) {
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("a", {quad()}));
    scene.objects.push_back(alembic_test::polymesh("b", {quad()}));
    scene.share_identical_samples = false;
    const alembic_test::Written w = alembic_test::write_archive(scene);
    // The data node of a property's first sample.
    auto first_sample = [&](const std::string& property) {
        return ogawa_test::get_u64(w.bytes, w.property_group.at(property) + 8) & ~ogawa_test::kData;
    };
    struct Edit {
        const char* what;
        std::uint64_t at, value;
        int a;  // ogawa_read_polymesh of /a
        const char* first;
    } edits[] = {
        {"P cut short", first_sample("/a/.geom/P"), w.bytes.size(), -1, "/b"},
        {"P shorter than its digest", first_sample("/a/.geom/P"), 15, -1, "/b"},
        {"P holds a part of a point", first_sample("/a/.geom/P"), 16 + 44, -1, "/b"},
        {"P's sample is a group", w.property_group.at("/a/.geom/P") + 8, first_sample("/a/.geom/P"), -1, "/b"},
        {"face indices cut short", first_sample("/a/.geom/.faceIndices"), w.bytes.size(), -1, "/a"},
        {"face counts lie past the end", w.property_group.at("/a/.geom/.faceCounts") + 8,
         ogawa_test::kData | (w.bytes.size() + 8), -1, "/a"},
        {"nothing", 0, 0, 0, "/a"},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.what);
        Bytes b = w.bytes;
        if (e.at != 0) ogawa_test::set_u64(b, e.at, e.value);
        OpenedArchive opened(b);
        ASSERT_EQ(ogawa_archive_state(&opened.archive), 0);
        ogawa_object_t a = named("/a");
        ogawa_polymesh_t m;
        EXPECT_EQ(ogawa_read_polymesh(&opened.archive, &a, 0, &m), e.a);
        EXPECT_EQ(m.positions != nullptr, e.a == 0);
        ogawa_free_polymesh(&m);
        const ogawa_polymesh_t* first = ogawa_get_first_polymesh(&opened.archive);
        if (std::string(e.first) == "/b" || e.a == 0) {
            ASSERT_NE(first, nullptr);
            EXPECT_STREQ(first->path, e.first);
        } else {
            EXPECT_EQ(first, nullptr);  // the first mesh holds positions, and its faces are damaged
        }
    }
}

// Every allocation of a read that fails: the positions are -2 with the
// record cleared; any other array is left out and the read succeeds.
TEST(OgawaDescribedMesh, AllocationFailuresLeaveOutOnlyWhatFailed) {
    alembic_test::Scene scene;
    scene.objects.push_back(quad_with_normals("m", {"", 3, "fvr", {repeat({kUp, kDown})}, {{0, 0, 0, 1, 1, 1}}}));
    Opened a(scene);
    ogawa_object_t record = named("/m");
    // The first read decodes the mesh's properties and builds the path
    // table: wherever memory runs out in it, the next read succeeds.
    for (std::uint64_t nth = 1;; ++nth) {
        Opened fresh(scene);
        ogawa_polymesh_t m;
        bool first_fired;
        {
            zel_test::FailNthAllocation fail(nth);
            const int rc = ogawa_read_polymesh(fresh.get(), &record, 0, &m);
            first_fired = fail.fired();
            EXPECT_TRUE(rc == 0 || (first_fired && rc < 0)) << nth;
            ogawa_free_polymesh(&m);
        }
        EXPECT_EQ(ogawa_read_polymesh(fresh.get(), &record, 0, &m), 0) << nth;
        ogawa_free_polymesh(&m);
        if (!first_fired) break;
    }
    ogawa_polymesh_t decoded;  // the loop below fails only the read's own arrays
    ASSERT_EQ(ogawa_read_polymesh(a.get(), &record, 0, &decoded), 0);
    ogawa_free_polymesh(&decoded);
    bool fired = true;
    std::uint64_t nth = 1;
    for (; fired; ++nth) {
        ogawa_polymesh_t m;
        zel_test::FailNthAllocation fail(nth);
        const int rc = ogawa_read_polymesh(a.get(), &record, 0, &m);
        fired = fail.fired();
        SCOPED_TRACE(nth);
        if (nth == 1) {
            EXPECT_EQ(rc, -2);
            EXPECT_EQ(m.positions, nullptr);
            EXPECT_STREQ(m.path, "");
        } else {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(m.position_count, 4u);
            // Normals per corner go with the face indices that count the corners.
            const int missing = (m.face_counts == nullptr) + (m.face_indices == nullptr) +
                                (m.face_indices && m.normals == nullptr) + (m.sample_times == nullptr);
            EXPECT_EQ(m.normals == nullptr, m.normal_count == 0 && m.normal_scope == 0);
            EXPECT_EQ(missing, fired ? 1 : 0);
        }
        ogawa_free_polymesh(&m);
    }
    EXPECT_GE(nth, 7u);  // positions, two face arrays, normal values, indices, expansion, times
}

// A mesh of 1,000,000 vertices, whose arrays are beyond 10 MB, is read whole.
TEST(OgawaDescribedMesh, AMillionVerticesAreReadWhole) {
    constexpr int kSide = 1000;
    alembic_test::MeshSample grid;
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) grid.positions.insert(grid.positions.end(), {float(x), float(y), float(x ^ y)});
    }
    for (int y = 0; y + 1 < kSide; ++y) {
        for (int x = 0; x + 1 < kSide; ++x) {
            const int v = y * kSide + x;
            grid.face_counts.push_back(4);
            grid.face_indices.insert(grid.face_indices.end(), {v, v + 1, v + kSide + 1, v + kSide});
        }
    }
    alembic_test::Scene scene;
    scene.objects.push_back(alembic_test::polymesh("terrain", {grid}));
    Opened a(scene);
    const ogawa_polymesh_t* m = ogawa_get_first_polymesh(a.get());
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->position_count, 1'000'000u);
    EXPECT_EQ(bits(m->positions, 3'000'000), bits(grid.positions.data(), grid.positions.size()));
    ASSERT_EQ(m->face_index_count, grid.face_indices.size());
    EXPECT_EQ(std::memcmp(m->face_indices, grid.face_indices.data(), 4 * grid.face_indices.size()), 0);
    EXPECT_EQ(m->face_count, 999u * 999u);
    EXPECT_EQ(m->bounds.max[0], 999.0f);
    EXPECT_EQ(m->bounds.max[2], 1023.0f);  // the largest x ^ y below 1000, 512 ^ 511
}

// Full paths are cut at 1,023 bytes in the records; an object whose path is
// longer cannot be named by it.
TEST(OgawaDescribedMesh, ObjectsBeyondThePathLimitCannotBeNamed) {
    const std::string name(200, 'n');
    alembic_test::Object leaf = alembic_test::polymesh(name, {quad()});
    for (int level = 0; level < 5; ++level) {
        alembic_test::Object parent = alembic_test::plain(name, "schema=AbcGeom_Xform_v3");
        parent.children.push_back(std::move(leaf));
        leaf = std::move(parent);
    }
    alembic_test::Scene scene;
    scene.objects.push_back(std::move(leaf));
    Opened a(scene);
    ASSERT_EQ(ogawa_load_objects(a.get()), 0);
    const ogawa_object_t* o = a->objects[0];
    while (o->child_count) o = o->children[0];
    EXPECT_EQ(std::strlen(o->path), 1023u);  // six levels of 201 bytes, cut
    ogawa_polymesh_t m;
    EXPECT_EQ(ogawa_read_polymesh(a.get(), o, 0, &m), -1);
    const ogawa_polymesh_t* first = ogawa_get_first_polymesh(a.get());  // found without a path
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(std::strlen(first->path), 1023u);
}

}  // namespace
