// Meshes read from described archives: every mesh and sample of the real
// archives against what their writer recorded, bit for bit, and meshes made
// with the test writer for the cases the real archives lack.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "ogawa_test_files.h"
#include "support/alembic_writer.h"
#include "support/alloc_failure.h"
#include "support/test_support.h"

namespace {

using nlohmann::json;
using ogawa_test::Bytes;
using ogawa_test::OpenedArchive;

json load_json(const std::string& file) {
    std::ifstream in(zel_test::data_file(file));
    EXPECT_TRUE(in.good()) << file;  // a missing file fails the test
    return in.good() ? json::parse(in) : json::array();
}

// Bit patterns, so that -0.0 and 0.0 differ.
std::vector<std::uint32_t> bits(const float* data, std::size_t n) {
    std::vector<std::uint32_t> out(data ? n : 0);
    if (data) std::memcpy(out.data(), data, 4 * n);
    return out;
}
std::vector<std::uint32_t> words(const std::uint32_t* data, std::size_t n) {
    return data ? std::vector<std::uint32_t>(data, data + n) : std::vector<std::uint32_t>{};
}

std::vector<std::uint32_t> truth_float_bits(const json& items) {
    std::vector<float> f;
    for (const json& item : items) {
        for (const json& v : item) f.push_back(v.get<float>());
    }
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

ogawa_object_t named(const std::string& path) {
    ogawa_object_t o{};
    std::strncpy(o.path, path.c_str(), sizeof o.path - 1);
    return o;
}

const char* kFixtures[] = {"acyclic_times", "animated", "blender_cube", "cube",      "deform_ngons",
                           "dup_instances", "grid_tri", "pentagons",    "scene_mixed", "tiny"};

void expect_sample(const ogawa_polymesh_t& m, const json& object, const json& sample) {
    EXPECT_EQ(bits(m.positions, 3 * std::size_t{m.position_count}), truth_float_bits(sample["positions"]));
    EXPECT_EQ(words(m.face_counts, m.face_count), truth_words(sample["face_counts"]));
    EXPECT_EQ(words(m.face_indices, m.face_index_count), truth_words(sample["face_indices"]));
    EXPECT_EQ(bits(m.normals, 3 * std::size_t{m.normal_count}), truth_normals(sample));
    const json& scope = sample.contains("normals_scope") ? sample["normals_scope"] : object["normals_scope"];
    EXPECT_EQ(m.normal_scope, sample.contains("normals") ? scope_of(scope.get<std::string>()) : 0u);
    EXPECT_EQ(m.normal_indices, nullptr);
    EXPECT_EQ(m.uv_sets, nullptr);
    // The box of the positions read, and the identity transform.
    for (int k = 0; k < 3; ++k) EXPECT_LE(m.bounds.min[k], m.bounds.max[k]);
    EXPECT_EQ(std::memcmp(&m.bounds, &m.initial_bounds, sizeof m.bounds), 0);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.transform[i], i % 5 == 0 ? 1.0 : 0.0);
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
            json times;
            for (const json& t : transforms) {
                if (t["path"] == path) times = t["times"];
            }
            ASSERT_EQ(times.size(), object["num_samples"].get<std::size_t>());
            for (const json& sample : object["samples"]) {
                const std::uint32_t index = sample["index"];
                SCOPED_TRACE(index);
                ogawa_polymesh_t m;
                ASSERT_EQ(ogawa_read_polymesh(&archive, &record, index, &m), 0);
                expect_sample(m, object, sample);
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
            if (object["path"] == first_mesh) expect_sample(*first, object, object["samples"][0]);
        }
        ogawa_close(&archive);
    }
}

}  // namespace
