// zelset info's object tree and zelset verify on every fixture, run through
// the shell: the tree against the truth files, the JSON read back, and a
// byte flipped in a sample's values caught by its digest.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "command/command_runner.h"
#include "support/alembic_writer.h"

namespace {

using nlohmann::json;
using zel_test::CommandRun;
using zel_test::TempDir;
using Bytes = std::vector<unsigned char>;

const char* const kFixtures[] = {"acyclic_times", "animated", "blender_cube", "cube", "deform_ngons",
                                 "dup_instances", "grid_tri", "pentagons", "scene_mixed", "tiny"};

json truth_of(const std::string& name) {
    std::ifstream in(zel_test::data_file(name + ".truth.json"));
    return json::parse(in);
}

// Every object of a reported tree by its path, with its level (1 on top).
void collect(const json& objects, int level, std::map<std::string, std::pair<json, int>>& out) {
    for (const json& o : objects) {
        out[o["path"]] = {o, level};
        collect(o["children"], level + 1, out);
    }
}

void collect_property_paths(const json& properties, std::vector<std::string>& out) {
    for (const json& p : properties) {
        out.push_back(p["path"]);
        if (p.contains("properties")) collect_property_paths(p["properties"], out);
    }
}

// The frame rate of each animated fixture, as its truth's sample times step.
const std::map<std::string, int> kFramesPerSecond = {{"animated", 24}, {"deform_ngons", 30}};

// A truth sample gives an array either whole or as its count.
std::size_t count_in(const json& sample, const char* key) {
    if (!sample.contains(key)) return 0;
    const json& v = sample[key];
    return v.is_array() ? v.size() : v.get<std::size_t>();
}

TEST(ZelsetInfoTree, EveryFixtureAgreesWithItsTruthAsTextAndJsonAndVerifies) {
    TempDir logs;
    for (const char* name : kFixtures) {
        SCOPED_TRACE(name);
        const std::string path = zel_test::data_file(std::string(name) + ".abc");
        CommandRun run = zel_test::run_zelset({"info", path, "--properties", "--json"}, logs);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const json doc = json::parse(run.out);
        EXPECT_TRUE(doc["metadata"].is_object());
        EXPECT_FALSE(doc["time_samplings"].empty());
        const json truth = truth_of(name);
        const auto fps = kFramesPerSecond.find(name);
        if (fps != kFramesPerSecond.end()) {
            EXPECT_EQ(doc["fps"], fps->second);
        }
        bool animated = false;
        for (const json& t : truth["objects"]) animated |= t.value("num_samples", 1) > 1;
        EXPECT_EQ(doc.contains("time_range"), !animated);
        std::map<std::string, std::pair<json, int>> reported;
        collect(doc["objects"], 1, reported);
        CommandRun text = zel_test::run_zelset({"info", path, "--properties"}, logs);
        ASSERT_EQ(text.exit_code, 0) << text.err;
        if (fps != kFramesPerSecond.end()) {  // a whole number, as it is written
            EXPECT_NE(text.out.find("\nfps: " + std::to_string(fps->second) + "\n"), std::string::npos) << text.out;
        }
        EXPECT_EQ(reported.size(), truth["objects"].size());
        EXPECT_EQ(doc["object_count"], truth["objects"].size());
        for (const json& t : truth["objects"]) {
            const std::string object_path = t["path"];
            SCOPED_TRACE(object_path);
            ASSERT_TRUE(reported.count(object_path));
            const auto& [o, level] = reported[object_path];
            EXPECT_EQ(o["type"], t["type"]);
            EXPECT_EQ(object_path.substr(object_path.rfind('/') + 1), o["name"]);
            // Its line: two spaces a level, then its name and schema.
            const std::string indent(2 * static_cast<std::size_t>(level - 1), ' ');
            const std::string line = "\n" + indent + o["name"].get<std::string>() + " " + o["schema"].get<std::string>();
            EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
            if (t.contains("num_samples")) {
                EXPECT_EQ(o["samples"], t["num_samples"]);
            }
            if (!t.contains("samples")) continue;
            const json& s0 = t["samples"][0];
            EXPECT_EQ(o["vertices"], count_in(s0, "positions"));
            EXPECT_EQ(o["faces"], count_in(s0, "face_counts"));
            EXPECT_EQ(o["normals"] != "none", count_in(s0, "normals") > 0);
            EXPECT_EQ(!o["uv_sets"].empty(), count_in(s0, "uvs") > 0);
            std::vector<std::string> properties;
            collect_property_paths(o["properties"], properties);
            EXPECT_NE(std::find(properties.begin(), properties.end(), ".geom/P"), properties.end());
            // P under .geom, one level in from the object's properties.
            EXPECT_NE(text.out.find("\n" + indent + "    P array float32[3]"), std::string::npos) << text.out;
        }
        CommandRun verify = zel_test::run_zelset({"verify", path}, logs);
        EXPECT_EQ(verify.exit_code, 0) << verify.out << verify.err;
        EXPECT_NE(verify.out.find("every sample matches"), std::string::npos) << verify.out;
    }
}

TEST(ZelsetInfoTree, DepthAndObjectLimitTheTree) {
    TempDir logs;
    const std::string scene = zel_test::data_file("scene_mixed.abc");
    struct Case {
        std::vector<std::string> options;
        std::vector<std::string> top;  // the paths at the top of the tree
        std::size_t objects;           // how many objects the tree shows
    };
    const Case cases[] = {
        {{"--depth", "1"}, {"/cam", "/ground", "/pCube1", "/pSphere1", "/points"}, 5},
        {{"--object", "/pCube1"}, {"/pCube1"}, 2},
        {{"--object", "/pCube1", "--depth", "1"}, {"/pCube1"}, 1},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"info", scene, "--json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        CommandRun run = zel_test::run_zelset(args, logs);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        const json doc = json::parse(run.out);
        std::vector<std::string> top;
        for (const json& o : doc["objects"]) top.push_back(o["path"]);
        std::map<std::string, std::pair<json, int>> shown;
        collect(doc["objects"], 1, shown);
        EXPECT_EQ(top, c.top) << run.out;
        EXPECT_EQ(shown.size(), c.objects);
    }
    CommandRun missing = zel_test::run_zelset({"info", scene, "--object", "/nothing"}, logs);
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_TRUE(missing.one_error_line()) << missing.err;
}

// An instance stands on its own line, marked with its source, and the source's
// children appear again under it.
TEST(ZelsetInfoTree, AnInstanceIsMarkedWithItsSource) {
    TempDir work;
    alembic_test::Scene scene;
    const std::string xform = "schema=AbcGeom_Xform_v3";
    scene.objects = {{"src", xform, {}, {alembic_test::plain("leaf", xform)}},
                     {"group", xform, {}, {alembic_test::instance("copy", "/src")}}};
    const std::string path = work.file("instances.abc");
    zel_test::write_file(path, alembic_test::write_archive(scene).bytes);
    CommandRun r = zel_test::run_zelset({"info", path}, work);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("\n  copy AbcGeom_Xform_v3 -> /src, "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\n    leaf AbcGeom_Xform_v3, "), std::string::npos) << r.out;
}

// verify names what it finds and exits 1: in a copy of cube.abc, one bit
// flipped in the values of P's first stored sample (its group is at 1024, and
// its first child, a data node, holds an 8-byte size, the 16-byte digest, then
// the values); in an archive of two meshes, a property group of the first
// holding fewer samples than its header promises; in a copy of cube.abc,
// the /cube object's group (at 1290) claiming more children than the file
// holds, which opening does not reach and decoding the tree finds (verify,
// and info, then refuse the damaged archive). Of the second archive, info
// --properties says so in place of its properties, and the other object is
// read as ever.
TEST(ZelsetInfoTree, VerifyNamesTheSampleThatDoesNotMatchAndTheObjectThatDoesNotDecode) {
    TempDir work;
    Bytes flipped = zel_test::read_file(zel_test::data_file("cube.abc"));
    const std::uint64_t child = ogawa_test::get_u64(flipped, 1032);
    ASSERT_TRUE(child & ogawa_test::kData) << "P's first child is no data node";
    flipped.at((child & ~ogawa_test::kData) + 8 + 16) ^= 0x10;

    const alembic_test::MeshSample quad{{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {4}, {0, 1, 2, 3}};
    alembic_test::Scene scene;
    scene.objects = {alembic_test::polymesh("short", {quad}), alembic_test::polymesh("whole", {quad})};
    alembic_test::Written w = alembic_test::write_archive(scene);
    ogawa_test::set_u64(w.bytes, w.property_group.at("/short/.geom/P"), 1);  // P's one sample needs 2 children
    Bytes deep = zel_test::read_file(zel_test::data_file("cube.abc"));
    ogawa_test::set_u64(deep, 1290, deep.size());

    const struct {
        const char* name;
        const Bytes& bytes;
        const char* out;
        const char* err;  // what the message says, after the file's name
    } cases[] = {
        {"flipped.abc", flipped,
         "/cube .geom/P: stored sample 0 does not match its digest\n1 object, 6 properties: 1 sample failed\n", ""},
        {"short.abc", w.bytes,
         "/short: its properties cannot be read (damaged)\n"
         "2 objects, 4 properties: 1 object whose properties cannot be read\n",
         ""},
        {"deep.abc", deep, "", "a damaged archive (a group's children run past the end of the file); nothing is read from it"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        zel_test::write_file(work.file(c.name), c.bytes);
        CommandRun verify = zel_test::run_zelset({"verify", work.file(c.name)}, work);
        EXPECT_EQ(verify.exit_code, 1) << verify.err;
        EXPECT_EQ(verify.out, c.out);
        EXPECT_NE(verify.err.find(c.err), std::string::npos) << verify.err;
    }
    CommandRun info_deep = zel_test::run_zelset({"info", work.file("deep.abc")}, work);
    EXPECT_EQ(info_deep.exit_code, 1);
    EXPECT_NE(info_deep.err.find("a damaged archive"), std::string::npos) << info_deep.err;

    const std::string path = work.file("short.abc");
    CommandRun text = zel_test::run_zelset({"info", path, "--properties"}, work);
    ASSERT_EQ(text.exit_code, 0) << text.err;
    EXPECT_NE(text.out.find("\n  its properties cannot be read (damaged)\nwhole AbcGeom_PolyMesh_v1, 1 sample, static, "
                            "vertices 4"),
              std::string::npos)
        << text.out;
    CommandRun json_run = zel_test::run_zelset({"info", path, "--properties", "--json"}, work);
    ASSERT_EQ(json_run.exit_code, 0) << json_run.err;
    const json objects = json::parse(json_run.out)["objects"];
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["properties_error"], "its properties cannot be read (damaged)");
    EXPECT_FALSE(objects[0].contains("properties"));
    EXPECT_EQ(objects[1]["properties"].size(), 1u);  // .geom, holding the rest
}

}  // namespace
