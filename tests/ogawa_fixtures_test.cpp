// Every real archive of tests/data read as a bare container, by the shape of
// its blocks, through the public API and compared with what its writer
// recorded (NAME.truth.json), array by array. The archives are opened as
// copies that the reader cannot describe (ogawa_test::undescribed_copy).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ogawa_test_files.h"
#include "oracles/ogawa_scans_oracle.h"
#include "ogawa_reader.h"
#include "ogawa_reader/container/stream_read.h"
#include "ogawa_reader/heuristic/tree_path.h"
#include "support/test_support.h"

namespace {

using nlohmann::json;

json load_truth(const std::string& name) {
    std::ifstream in(zel_test::data_file(name + ".truth.json"));
    EXPECT_TRUE(in.good()) << name;  // a missing file fails the test
    return in.good() ? json::parse(in) : json::object();
}

// What the reader returns for one array of a fixture.
enum class Outcome { kCorrect, kNotFound, kWrong };

struct Expected {
    const char* fixture;
    Outcome positions, face_counts, face_indices, normals, positions_alone;
    std::uint32_t normal_scope;
};

// The table of the closing note. Meshes of fewer than 834 vertices have no
// block that the tree path takes for positions; the fallback's position scan
// then finds what it finds in the first 2 KiB.
const Expected kTable[] = {
    {"animated", Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect, Outcome::kNotFound, Outcome::kCorrect, 0},
    {"cube", Outcome::kWrong, Outcome::kWrong, Outcome::kWrong, Outcome::kNotFound, Outcome::kWrong, 0},
    {"dup_instances", Outcome::kNotFound, Outcome::kNotFound, Outcome::kNotFound, Outcome::kNotFound,
     Outcome::kNotFound, 0},
    {"grid_tri", Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect, Outcome::kWrong,
     OGAWA_SCOPE_VERTEX},
    {"pentagons", Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect, Outcome::kCorrect,
     OGAWA_SCOPE_FACE_VARYING},
    {"tiny", Outcome::kNotFound, Outcome::kNotFound, Outcome::kNotFound, Outcome::kNotFound, Outcome::kNotFound, 0},
};

std::vector<float> truth_floats(const json& sample, const char* key) {
    std::vector<float> out;
    if (!sample.contains(key)) return out;
    for (const json& item : sample[key]) {
        for (const json& v : item) out.push_back(v.get<float>());
    }
    return out;
}

std::vector<std::uint32_t> truth_words(const json& sample, const char* key) {
    std::vector<std::uint32_t> out;
    for (const json& v : sample[key]) out.push_back(v.get<std::uint32_t>());
    return out;
}

// Bit patterns, so that -0.0 and 0.0 differ and NaN equals itself.
std::vector<std::uint32_t> bits_of(const float* data, std::size_t n) {
    std::vector<std::uint32_t> out(data ? n : 0);
    if (data) std::memcpy(out.data(), data, 4 * n);
    return out;
}
std::vector<std::uint32_t> bits_of(const std::vector<float>& v) { return bits_of(v.data(), v.size()); }

void expect_outcome(Outcome expected, const std::vector<std::uint32_t>& read, const std::vector<std::uint32_t>& truth,
                    const char* array) {
    SCOPED_TRACE(array);
    switch (expected) {
        case Outcome::kCorrect:
            EXPECT_FALSE(truth.empty());
            EXPECT_EQ(read, truth);
            break;
        case Outcome::kNotFound: EXPECT_TRUE(read.empty()) << read.size(); break;
        case Outcome::kWrong:
            EXPECT_FALSE(read.empty());
            EXPECT_NE(read, truth);
            break;
    }
}

TEST(OgawaFixtures, EveryArchiveReadsAsTheTableSays) {
    for (const Expected& e : kTable) {
        SCOPED_TRACE(e.fixture);
        json truth = load_truth(e.fixture);
        ASSERT_TRUE(truth.contains("objects"));
        const json& sample = truth["objects"][0]["samples"][0];  // the first object, sample 0
        ogawa_archive_t archive;
        zel_test::TempDir dir;
        ASSERT_EQ(ogawa_open(ogawa_test::undescribed_copy(e.fixture, dir).c_str(), &archive), 0);
        EXPECT_EQ(ogawa_archive_state(&archive), 1);
        EXPECT_EQ(archive.version_major, truth["ogawa"]["version_bytes"][0].get<int>());
        EXPECT_EQ(archive.version_minor, truth["ogawa"]["version_bytes"][1].get<int>());

        const ogawa_polymesh_t* m = ogawa_get_first_polymesh(&archive);
        ogawa_polymesh_t none{};
        if (!m) m = &none;
        expect_outcome(e.positions, bits_of(m->positions, 3 * std::size_t{m->position_count}),
                       bits_of(truth_floats(sample, "positions")), "positions");
        expect_outcome(e.face_counts, std::vector<std::uint32_t>(m->face_counts, m->face_counts + m->face_count),
                       truth_words(sample, "face_counts"), "face_counts");
        expect_outcome(e.face_indices,
                       std::vector<std::uint32_t>(m->face_indices, m->face_indices + m->face_index_count),
                       truth_words(sample, "face_indices"), "face_indices");
        expect_outcome(e.normals, bits_of(m->normals, 3 * std::size_t{m->normal_count}),
                       bits_of(truth_floats(sample, "normals")), "normals");
        EXPECT_EQ(m->normal_scope, e.normal_scope);
        if (e.positions == Outcome::kCorrect) {
            // Alembic's own box of the same floats, stored in double.
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(m->bounds.min[k], sample["self_bounds"]["min"][k].get<float>());
                EXPECT_EQ(m->bounds.max[k], sample["self_bounds"]["max"][k].get<float>());
            }
        }

        float* alone = nullptr;
        std::uint32_t count = 0;
        int rc = ogawa_read_positions(&archive, nullptr, 0, &alone, &count);
        EXPECT_EQ(rc == 0, e.positions_alone != Outcome::kNotFound) << rc;
        expect_outcome(e.positions_alone, bits_of(alone, 3 * std::size_t{count}),
                       bits_of(truth_floats(sample, "positions")), "positions alone");
        std::free(alone);
        ogawa_close(&archive);
    }
}

// Where the fallback reads the small meshes, pinned so that any change in the
// scans shows. In cube.abc the face-index node's size field (112) sits at
// byte 160, after the last byte of the positions payload: read from byte 159
// the two make a size of 112 * 256 + that byte, 28,728 to 28,739, which the
// scan takes for 2,393 triples one word after the size field (byte 179).
TEST(OgawaFixtures, SmallMeshesGetWhatTheFallbackFinds) {
    ogawa_archive_t archive;
    zel_test::TempDir dir;
    ASSERT_EQ(ogawa_open(ogawa_test::undescribed_copy("cube", dir).c_str(), &archive), 0);
    const ogawa_polymesh_t* m = ogawa_get_first_polymesh(&archive);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->position_count, 57u);
    EXPECT_EQ(m->face_count, 8u);
    EXPECT_EQ(m->face_index_count, 26u);
    EXPECT_EQ(m->normals, nullptr);
    float first[3];
    std::vector<unsigned char> bytes = zel_test::read_file(zel_test::data_file("cube.abc"));
    std::memcpy(first, bytes.data() + 179, sizeof first);
    EXPECT_EQ(bits_of(m->positions, 3), bits_of(first, 3));
    ogawa_close(&archive);

    for (const char* name : {"tiny", "dup_instances"}) {
        ASSERT_EQ(ogawa_open(ogawa_test::undescribed_copy(name, dir).c_str(), &archive), 0);
        EXPECT_EQ(ogawa_get_first_polymesh(&archive), nullptr) << name;
        ogawa_polymesh_t mesh;
        EXPECT_EQ(ogawa_read_polymesh(&archive, nullptr, 0, &mesh), -1);
        EXPECT_STREQ(mesh.name, "mesh");
        EXPECT_EQ(mesh.positions, nullptr);
        ogawa_close(&archive);
    }
}

// The tree path takes each array from its data node, after the 16-byte key:
// the blocks it chooses are those the writer recorded.
TEST(OgawaFixtures, ChosenBlocksAreTheRecordedDataNodes) {
    for (const char* name : {"animated", "grid_tri", "pentagons"}) {
        SCOPED_TRACE(name);
        json truth = load_truth(name);
        ASSERT_TRUE(truth.contains("ogawa"));
        ogawa_archive_t archive;
        zel_test::TempDir dir;
        ASSERT_EQ(ogawa_open(ogawa_test::undescribed_copy(name, dir).c_str(), &archive), 0);
        zel::CachedReader reader(archive.file, zel::stream_length(archive.file));
        zel::ChosenBlocks chosen{};
        ASSERT_TRUE(zel::choose_tree_blocks(reader, &chosen));
        struct {
            const char* array;
            zel::ChosenBlock block;
        } slots[] = {{"positions", chosen.positions},
                     {"normals", chosen.normals},
                     {"face_counts", chosen.face_counts},
                     {"face_indices", chosen.face_indices}};
        for (const auto& slot : slots) {
            SCOPED_TRACE(slot.array);
            bool recorded = false;
            for (const json& loc : truth["ogawa"]["array_locations"]) {
                if (loc["sample"] != 0 || loc["array"] != slot.array) continue;
                recorded = true;
                EXPECT_EQ(slot.block.offset, loc["payload_offset"].get<std::uint64_t>() + 16);
                EXPECT_EQ(slot.block.size, loc["array_bytes"].get<std::uint64_t>());
            }
            if (!recorded) {
                EXPECT_EQ(slot.block.size, 0u);
            }
        }
        // Taking the key's look for a guess, animated.abc loses its face
        // indices and takes its texture coordinates for positions.
        if (std::string(name) == "animated") {
            std::vector<zel::ogawa_data_node_t> nodes(zel::kTreeNodeCapacity);
            zel::ogawa_node_collector_t c =
                zel::new_collector(reader, nodes.data(), zel::kTreeNodeCapacity, zel::kTreeMaxDepth);
            zel::TopGroup top;
            ASSERT_TRUE(zel::locate_top_group(reader, &top));
            EXPECT_EQ(top.prefix, zel::BlockPrefix::kKeyed);
            zel::ogawa_collect_data_nodes(&c, top.reference, 0);
            zel::ChosenBlocks guessed = zel::classify_blocks(reader, nodes.data(), c.count, zel::BlockPrefix::kGuessed);
            EXPECT_EQ(guessed.face_indices.size, 0u);
            EXPECT_EQ(guessed.positions.size, 30768u);  // the uvs block, key included
        }
        ogawa_close(&archive);
    }
}

// The attribute readers take a block right after its size field; in these
// archives every array starts with its 16-byte key, so what they find are
// group references read as sizes, blocks that run past the end of the file,
// and tangent candidates of different sizes: each reader gives -1. (The
// literal scans find those blocks; the differential test compares the
// reader's own scans with them on these files too.)
TEST(OgawaFixtures, AttributeReadersFindWhatTheirLiteralScansFind) {
    for (const Expected& e : kTable) {
        SCOPED_TRACE(e.fixture);
        zel_test::TempDir dir;
        const std::string path = ogawa_test::undescribed_copy(e.fixture, dir);
        std::FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        std::fseek(f, 0, SEEK_END);
        const auto file_size = static_cast<std::uint64_t>(std::ftell(f));
        ogawa_oracle::Block normals = ogawa_oracle::largest_normals(f);
        ogawa_oracle::Block finder_positions, finder_uvs;
        ogawa_oracle::mesh_data(f, &finder_positions, &finder_uvs);
        ogawa_oracle::Block uvs = finder_uvs.size ? finder_uvs : ogawa_oracle::largest_uvs(f);
        std::vector<ogawa_oracle::Block> tangents = ogawa_oracle::tangent_candidates(f);
        std::fclose(f);
        auto readable = [&](ogawa_oracle::Block b) { return b.size != 0 && b.offset + b.size <= file_size; };
        EXPECT_FALSE(readable(normals));
        EXPECT_FALSE(readable(uvs));
        for (std::size_t i = 0; i < tangents.size(); ++i) {
            for (std::size_t j = i + 1; j < tangents.size(); ++j) EXPECT_NE(tangents[i].size, tangents[j].size);
        }

        ogawa_archive_t archive;
        ASSERT_EQ(ogawa_open(path.c_str(), &archive), 0);
        float* n = nullptr;
        std::uint32_t* indices = nullptr;
        std::uint32_t count = 0, scope = 0;
        EXPECT_EQ(ogawa_read_normals(&archive, nullptr, 0, &n, &indices, &count, &scope), -1);
        EXPECT_EQ(n, nullptr);
        ogawa_uv_set_t set{};
        EXPECT_EQ(ogawa_read_uvs(&archive, nullptr, 0, 0, &set), -1);
        EXPECT_EQ(set.uvs, nullptr);
        ogawa_tangent_frame_t frame{};
        EXPECT_EQ(ogawa_read_tangent_frame(&archive, nullptr, 0, &frame), -1);
        ogawa_close(&archive);
    }
}

}  // namespace
