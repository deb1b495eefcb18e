// The zelset command on the fixtures, run through the shell: info against the
// truth files, conversions read back through the library, queries against the
// library's own answers, usage errors and help.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "command/command_runner.h"
#include "ogawa_reader.h"
#include "support/alembic_writer.h"
#include "zel_alembic.h"
#include "zel_mesh.h"
#include "zelset.h"

namespace {

using nlohmann::json;
using zel_test::CommandRun;
using zel_test::Converted;
using zel_test::TempDir;
using zel_test::convert;
using zel_test::files_in;

const char* const kFixtures[] = {"acyclic_times", "animated", "blender_cube", "cube", "deform_ngons",
                                 "dup_instances", "grid_tri", "pentagons", "scene_mixed", "tiny"};

json truth_of(const std::string& name) {
    std::ifstream in(zel_test::data_file(name + ".truth.json"));
    return json::parse(in);
}

// The library's own read of a mesh sample; for an empty path, of the first
// mesh: the first PolyMesh or SubD in pre-order whose sample 0 has positions.
struct LibraryMesh {
    LibraryMesh(const std::string& archive_path, const std::string& object_path, std::uint32_t sample) {
        EXPECT_EQ(ogawa_open(archive_path.c_str(), &archive), 0);
        ogawa_object_t object{};
        std::strncpy(object.path, object_path.c_str(), sizeof object.path - 1);
        for (std::uint32_t i = 0; object_path.empty() && i < ogawa_object_count(&archive); ++i) {
            ogawa_object_info_t info;
            EXPECT_EQ(ogawa_get_object(&archive, i, &info), 0);
            if (info.schema != OGAWA_SCHEMA_POLYMESH && info.schema != OGAWA_SCHEMA_SUBD) continue;
            std::strncpy(object.path, info.path, sizeof object.path - 1);
            if (ogawa_read_polymesh(&archive, &object, 0, &mesh) == 0 && mesh.position_count > 0) break;
            ogawa_free_polymesh(&mesh);
        }
        ogawa_free_polymesh(&mesh);
        rc = ogawa_read_polymesh(&archive, &object, sample, &mesh);
    }
    ~LibraryMesh() {
        ogawa_free_polymesh(&mesh);
        ogawa_close(&archive);
    }
    std::vector<float> positions() const {
        return {mesh.positions, mesh.positions + 3 * static_cast<std::size_t>(mesh.position_count)};
    }
    std::uint32_t fan_triangles() const {
        std::uint32_t n = 0;
        for (std::uint32_t f = 0; f < mesh.face_count; ++f) n += mesh.face_counts[f] >= 3 ? mesh.face_counts[f] - 2 : 0;
        return n;
    }
    ogawa_archive_t archive{};
    ogawa_polymesh_t mesh{};
    int rc = -1;
};

std::vector<float> floats(const float* p, std::size_t n) { return {p, p + n}; }

// Each fixture's first mesh into each kind of file, read back through the library.
TEST(ZelsetCommand, ConvertsTheFirstMeshOfEveryFixture) {
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        TempDir work;
        const std::string input = zel_test::data_file(std::string(name) + ".abc");
        LibraryMesh expected(input, "", 0);
        ASSERT_EQ(expected.rc, 0);
        const std::vector<float> positions = expected.positions();
        const std::uint32_t vertices = expected.mesh.position_count;

        Converted cache = convert(work, input, "mesh.zelm");
        ASSERT_EQ(cache.run.exit_code, 0) << cache.run.err;
        // One line says what was written; face-varying normals are averaged.
        const bool averaged = expected.mesh.normal_count && expected.mesh.normal_scope == OGAWA_SCOPE_FACE_VARYING;
        const std::uint32_t faces = expected.mesh.face_count;
        EXPECT_EQ(cache.run.err, "zelset: wrote " + cache.path + ": " + expected.mesh.path + ", sample 0, " +
                                     std::to_string(vertices) + " vertices, " + std::to_string(faces) +
                                     (faces == 1 ? " face" : " faces") +
                                     (averaged ? "; face-varying normals averaged per vertex" : "") + "\n");
        EXPECT_EQ(convert(work, input, "quiet.zelm", {"-q"}).run.err, "");
        zel_mesh_t m{};
        ASSERT_EQ(zel_mesh_load(cache.path.c_str(), &m), 0);
        EXPECT_EQ(m.header.vertex_count, vertices);
        EXPECT_EQ(m.header.triangle_count, expected.fan_triangles());
        EXPECT_EQ(floats(m.positions, 3 * vertices), positions);
        EXPECT_EQ(m.normals != nullptr, expected.mesh.normal_count != 0);
        zel_mesh_free(&m);

        Converted unit_file = convert(work, input, "mesh.zel");
        ASSERT_EQ(unit_file.run.exit_code, 0) << unit_file.run.err;
        zelset_t unit{};
        ASSERT_EQ(zelset_load(unit_file.path.c_str(), &unit), 0);
        EXPECT_EQ(unit.count, vertices);
        std::uint32_t layer1 = 0;
        for (std::uint32_t i = 0; i < unit.count; ++i) layer1 += unit.tokens[i].layer == 1;
        EXPECT_EQ(layer1, vertices);
        zelset_free(&unit);

        Converted tokens = convert(work, input, "mesh.bzel");
        ASSERT_EQ(tokens.run.exit_code, 0) << tokens.run.err;
        zel_alembic_t archive{};
        ASSERT_EQ(zel_alembic_load(tokens.path.c_str(), &archive), 0);
        ASSERT_EQ(archive.mesh_count, 1u);
        EXPECT_EQ(archive.frame_count, 0u);
        EXPECT_EQ(archive.meshes[0].vertex_count, vertices);
        EXPECT_EQ(archive.meshes[0].face_count, expected.fan_triangles());
        EXPECT_EQ(floats(archive.meshes[0].positions, 3 * vertices), positions);
        zel_alembic_free(&archive);

        // info reads each converted file by its magic.
        const std::pair<const Converted*, const char*> kinds[] = {
            {&cache, "mesh cache"}, {&unit_file, "unit"}, {&tokens, "token archive"}};
        for (const auto& [file, kind] : kinds) {
            CommandRun info = zel_test::run_zelset({"info", file->path, "--json"}, work);
            ASSERT_EQ(info.exit_code, 0) << info.err;
            const json doc = json::parse(info.out);
            EXPECT_EQ(doc["kind"], kind);
            EXPECT_EQ(doc.contains("vertices") ? doc["vertices"] : doc["tokens"], vertices);
        }
        EXPECT_EQ(files_in(work), 4u);  // no temporary file stays behind
    }
}

// A named object at a later sample, in object space and in world space (the
// cube moves one unit along x a sample).
TEST(ZelsetCommand, ConvertsANamedObjectAtASampleInObjectOrWorldSpace) {
    TempDir work;
    const std::string input = zel_test::data_file("scene_mixed.abc");
    const std::string object = "/pCube1/pCubeShape1";
    LibraryMesh expected(input, object, 9);
    ASSERT_EQ(expected.rc, 0);
    json world = json::parse(std::ifstream(zel_test::data_file("scene_mixed.transforms.json")));
    std::vector<double> matrix;
    for (const json& entry : world) {
        if (entry["path"] == object) matrix = entry["world_matrices"][9].get<std::vector<double>>();
    }
    ASSERT_EQ(matrix.size(), 16u);
    for (bool in_world : {false, true}) {
        SCOPED_TRACE(in_world ? "world" : "object");
        std::vector<std::string> options = {"--object", object, "--sample", "9"};
        if (in_world) options.push_back("--world");
        Converted c = convert(work, input, in_world ? "world.zelm" : "object.zelm", options);
        ASSERT_EQ(c.run.exit_code, 0) << c.run.err;
        zel_mesh_t m{};
        ASSERT_EQ(zel_mesh_load(c.path.c_str(), &m), 0);
        ASSERT_EQ(m.header.vertex_count, expected.mesh.position_count);
        for (std::uint32_t v = 0; v < m.header.vertex_count; ++v) {
            const float* p = expected.mesh.positions + 3 * v;
            for (int axis = 0; axis < 3; ++axis) {
                double want = p[axis];
                if (in_world) want = p[0] * matrix[axis] + p[1] * matrix[4 + axis] + p[2] * matrix[8 + axis] + matrix[12 + axis];
                EXPECT_FLOAT_EQ(m.positions[3 * v + axis], static_cast<float>(want)) << v << " " << axis;
            }
        }
        zel_mesh_free(&m);
    }
}

TEST(ZelsetCommand, EverySampleOfAnAnimationBecomesAFrame) {
    TempDir work;
    const std::string input = zel_test::data_file("animated.abc");
    const json truth = truth_of("animated")["objects"][0];
    Converted c = convert(work, input, "wave.bzel", {"--all-samples"});
    ASSERT_EQ(c.run.exit_code, 0) << c.run.err;
    zel_alembic_t archive{};
    ASSERT_EQ(zel_alembic_load(c.path.c_str(), &archive), 0);
    ASSERT_EQ(archive.frame_count, truth["num_samples"].get<std::uint32_t>());
    // info reports each frame as fields.
    CommandRun info = zel_test::run_zelset({"info", c.path, "--json"}, work);
    ASSERT_EQ(info.exit_code, 0) << info.err;
    const json frames = json::parse(info.out)["frames"];
    ASSERT_EQ(frames.size(), archive.frame_count);
    for (std::uint32_t i = 0; i < archive.frame_count; ++i) {
        SCOPED_TRACE(i);
        const zel_alembic_frame_t& f = archive.frames[i];
        EXPECT_EQ(f.frame_number, i);
        EXPECT_EQ(f.time, static_cast<float>(truth["sample_times"][i].get<double>()));
        EXPECT_EQ(frames[i]["number"], f.frame_number);
        EXPECT_EQ(frames[i]["time"].get<float>(), f.time);
        LibraryMesh sample(input, "/wave", i);
        ASSERT_EQ(f.mesh_count, 1u);
        EXPECT_EQ(floats(f.meshes[0].positions, 3 * f.meshes[0].vertex_count), sample.positions());
    }
    zel_alembic_free(&archive);
}

TEST(ZelsetCommand, UsageErrorsAndHelp) {
    TempDir work;
    const std::string cube = zel_test::data_file("cube.abc");
    const std::vector<std::vector<std::string>> usage_errors = {
        {},
        {"explode"},
        {"info"},
        {"info", cube, "--verbose"},
        {"info", cube, "--depth", "0"},
        {"verify"},
        {"convert", cube},
        {"convert", cube, work.file("o.obj")},
        {"convert", cube, work.file("o.zelm"), "--all-samples"},
        {"convert", cube, work.file("o.bzel"), "--all-samples", "--sample", "0"},
        {"convert", cube, work.file("o.zelm"), "--sample", "x"},
        {"convert", cube, work.file("o.zelm"), "--sample", "-1"},
        {"convert", cube, work.file("o.zelm"), "--sample", "4294967296"},
        {"convert", cube, work.file("o.zelm"), "--object"},
        {"convert", cube, work.file("o.zelm"), "--sample", "0", "--sample", "0"},
        {"query", cube},
        {"query", cube, "--layer", "1", "-k", "3"},
        {"query", cube, "--nearest", "1", "-k", "0"},
        {"query", cube, "--key", "1", "--layer", "1"},
        {"query", cube, "--layer", "256"},
        {"query", cube, "--key", "-1"},
        {"query", cube, "--id", "123456789"},
    };
    for (const auto& args : usage_errors) {
        SCOPED_TRACE(args.empty() ? "no arguments" : args[0] + " " + std::to_string(args.size()));
        CommandRun r = zel_test::run_zelset(args, work);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("usage: zelset"), std::string::npos) << r.err;
    }
    EXPECT_EQ(files_in(work), 0u);
    // Help starts with the usage and says what the issue asks each to say.
    const std::pair<std::vector<std::string>, std::vector<const char*>> helps[] = {
        {{"--help"}, {"info", "convert", "query", "verify"}},
        {{"info", "--help"}, {"first bytes", "'-> PATH' for an instance", "shown as written", "float32, uint8"}},
        {{"verify", "--help"}, {"digest", "Exit 1"}},
        {{"convert", "-h"},
         {"-q", "standard error", "face-varying normals are averaged per vertex", "first PolyMesh or SubD",
          "--all-objects", "split where it changes", "8-byte", "a character device or a FIFO", "-: standard output",
          "a folder, a socket or a block device: refused", "longer than a second"}},
        {{"preview", "--help"}, {"- on standard output", "--format"}},
        {{"query", "--help"}, {"distance: the square root of |key - K|, rounded down"}},
    };
    for (const auto& [args, says] : helps) {
        CommandRun r = zel_test::run_zelset(args, work);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.rfind("usage: zelset " + (args.size() == 2 ? args[0] + " " : std::string()), 0), 0u)
            << r.out;
        for (const char* words : says) EXPECT_NE(r.out.find(words), std::string::npos) << words << "\n" << r.out;
    }
}

// Every kind of query against the library's own answers on the same unit.
TEST(ZelsetCommand, QueriesAUnitEachWay) {
    TempDir work;
    Converted c = convert(work, zel_test::data_file("pentagons.abc"), "p.zel");
    ASSERT_EQ(c.run.exit_code, 0) << c.run.err;
    zelset_t unit{};
    ASSERT_EQ(zelset_load(c.path.c_str(), &unit), 0);
    auto query = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"query", c.path});
        args.push_back("--json");
        CommandRun r = zel_test::run_zelset(args, work);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        return json::parse(r.out)["tokens"];
    };
    for (std::uint32_t i : {0u, unit.count / 2, unit.count - 1}) {
        const zel_token_t& t = unit.tokens[i];
        json by_key = query({"--key", std::to_string(t.morton)});
        ASSERT_EQ(by_key.size(), 1u);
        EXPECT_EQ(by_key[0]["index"], zelset_lookup_morton(&unit, t.morton));
        json by_id = query({"--id", std::string(t.hex_id, 8)});
        ASSERT_EQ(by_id.size(), 1u);
        EXPECT_EQ(by_id[0]["index"], i);
        const std::uint64_t signature = t.signature;  // a packed field binds to no reference
        EXPECT_EQ(by_id[0]["signature"], signature);
    }
    const std::uint64_t target = unit.tokens[unit.count / 3].morton + 5;
    std::vector<std::uint32_t> indices(7);
    std::vector<std::uint64_t> distances(7);
    const int n = zelset_query_nearest(&unit, target, 7, indices.data(), distances.data());
    json nearest = query({"--nearest", std::to_string(target), "-k", "7"});
    ASSERT_EQ(nearest.size(), static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) EXPECT_EQ(nearest[i]["distance"], distances[i]);
    EXPECT_EQ(query({"--layer", "1"}).size(), unit.count);
    EXPECT_EQ(query({"--layer", "2"}).size(), 0u);
    CommandRun text = zel_test::run_zelset({"query", c.path, "--nearest", std::to_string(target)}, work);
    EXPECT_NE(text.out.find("tokens: 5"), std::string::npos) << text.out;

    std::uint64_t absent = 0;
    while (zelset_lookup_morton(&unit, absent) >= 0) ++absent;
    for (const std::vector<std::string>& miss : std::vector<std::vector<std::string>>{
             {"--key", std::to_string(absent)}, {"--id", "NOSUCHID"}}) {
        CommandRun r = zel_test::run_zelset({"query", c.path, miss[0], miss[1]}, work);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_TRUE(r.one_error_line()) << r.err;
        EXPECT_EQ(r.out, "");
    }
    zelset_free(&unit);
}

// Files that are no scene: agent directories by their statistics, archives
// the reader cannot describe by what the shape-based reading finds.
TEST(ZelsetCommand, InfoOfAgentDirectoriesAndUndescribedArchives) {
    TempDir work;
    const std::string agents = work.file("agents.zlag");
    ASSERT_EQ(zel_agent_dir_init(agents.c_str()), 0);
    char id[9];
    for (std::uint8_t kind : {0, 1, 1}) ASSERT_EQ(zel_agent_spawn(nullptr, kind, 0, 0, id), 0);
    ASSERT_EQ(zel_agent_terminate(id), 0);
    ASSERT_EQ(zel_agent_dir_save(nullptr), 0);
    zel_agent_dir_free();
    CommandRun r = zel_test::run_zelset({"info", agents, "--json"}, work);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    json doc = json::parse(r.out);
    EXPECT_EQ(doc["kind"], "agent directory");
    EXPECT_EQ(doc["agents"], 3);
    EXPECT_EQ(doc["live"], 2);
    EXPECT_EQ(doc["by_kind"][1]["agents"], 2);

    const std::string undescribed = ogawa_test::undescribed_copy("pentagons", work);
    r = zel_test::run_zelset({"info", undescribed, "--json", "--salvage"}, work);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    doc = json::parse(r.out);
    EXPECT_EQ(doc["described"], false);
    EXPECT_NE(doc["note"].get<std::string>().find("guesses"), std::string::npos);
    EXPECT_GT(doc["shape_based_mesh"]["vertices"].get<int>(), 0);
    // Salvaged, a convert says that its mesh is a guess, and writes it.
    r = zel_test::run_zelset({"convert", undescribed, work.file("guess.zelm"), "--salvage"}, work);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.err.find("the mesh is a guess"), std::string::npos);
}

}  // namespace
