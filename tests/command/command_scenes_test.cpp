// zelset convert on whole scenes, one table: the first mesh of an archive whose
// only mesh is a SubD, every mesh into one token archive in object and world
// space, at one sample and at every sample (a mesh split where its topology
// changes), and hostile sample counts refused with both numbers. Each token
// archive is read back through the library and told as one line of literal
// text: its mesh blocks (name, vertices, triangles, first vertex) and its
// frames (the vertices of each entry).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "command/command_runner.h"
#include "ogawa_reader.h"
#include "support/alembic_writer.h"
#include "zel_alembic.h"
#include "zel_mesh.h"

namespace {

using zel_test::CommandRun;
using zel_test::TempDir;
namespace at = alembic_test;

constexpr double kStep = 1.0 / 24;

// A square in the plane z = height, and a triangle.
at::MeshSample square(float height) { return {{0, 0, height, 1, 0, height, 1, 1, height, 0, 1, height}, {4}, {0, 1, 2, 3}}; }
at::MeshSample triangle(float height) { return {{0, 0, height, 2, 0, height, 0, 2, height}, {3}, {0, 1, 2}}; }

// /xf (moved 10 along x) holding m, a square rising a unit a sample (3
// samples on sampling 1); s, a still SubD triangle; t, a square for 2
// samples, then a triangle (sampling 1); u, a square on sampling 2 (2
// samples between sampling 1's); e, a mesh without vertices.
at::Scene mixed_scene() {
    at::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}, {3, kStep, {kStep}}, {2, kStep, {kStep / 2}}};
    scene.objects = {
        at::xform("xf", {0x10}, {{10.0, 0.0, 0.0}}, {}, 0, {at::polymesh("m", {square(0), square(1), square(2)}, 1)}),
        at::subd("s", triangle(5)),
        at::polymesh("t", {square(0), square(1), triangle(7)}, 1),
        at::polymesh("u", {square(3), square(4)}, 2),
        at::polymesh("e", {at::MeshSample{}}),
    };
    return scene;
}

at::Scene subd_only() {
    at::Scene scene;
    scene.objects = {at::subd("only", triangle(1))};
    return scene;
}

// One mesh claiming `samples` samples of a P stored once.
at::Scene claiming(std::uint32_t samples) {
    at::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}, {samples, kStep, {kStep}}};
    at::Object mesh = at::polymesh("claims", {square(0)}, 1);
    for (at::Property& geom : mesh.properties) {
        for (at::Property& p : geom.children) {
            if (p.name == "P") p.sample_count = samples;
        }
    }
    scene.objects = {mesh};
    return scene;
}

std::string first_vertex(const float* p, std::uint32_t count) {
    if (count == 0) return "";
    char text[96];
    std::snprintf(text, sizeof text, "(%g,%g,%g)", static_cast<double>(p[0]), static_cast<double>(p[1]),
                  static_cast<double>(p[2]));
    return text;
}

// "NAME V T (x,y,z); ... | frame: V V ... | ..." with each entry's first
// vertex after its count.
std::string told(const std::string& path) {
    zel_alembic_t a{};
    if (zel_alembic_load(path.c_str(), &a) != 0) return "unreadable";
    std::string out;
    for (std::uint32_t m = 0; m < a.mesh_count; ++m) {
        const zel_alembic_mesh_t& mesh = a.meshes[m];
        // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on a chain of + here.
        out.append(m ? "; " : "").append(mesh.name).append(" ").append(std::to_string(mesh.vertex_count));
        out.append(" ").append(std::to_string(mesh.face_count)).append(" ");
        out.append(first_vertex(mesh.positions, mesh.vertex_count));
    }
    for (std::uint32_t f = 0; f < a.frame_count; ++f) {
        out.append(" | ").append(std::to_string(a.frames[f].frame_number)).append(":");
        for (std::uint32_t m = 0; m < a.frames[f].mesh_count; ++m) {
            const zel_alembic_mesh_t& entry = a.frames[f].meshes[m];
            out.append(" ").append(std::to_string(entry.vertex_count));
            out.append(first_vertex(entry.positions, entry.vertex_count));
        }
    }
    zel_alembic_free(&a);
    return out;
}

// The frame times of a token archive.
std::vector<float> frame_times(const std::string& path) {
    zel_alembic_t a{};
    std::vector<float> out;
    if (zel_alembic_load(path.c_str(), &a) == 0) {
        for (std::uint32_t f = 0; f < a.frame_count; ++f) out.push_back(a.frames[f].time);
    }
    zel_alembic_free(&a);
    return out;
}

TEST(ZelsetCommandScenes, WholeScenesFirstMeshesAndHostileSampleCounts) {
    TempDir work;
    const auto write = [&](const char* name, const at::Scene& scene) {
        zel_test::write_file(work.file(name), at::write_archive(scene).bytes);
        return work.file(name);
    };
    const std::string mixed = write("mixed.abc", mixed_scene()), only = write("subd.abc", subd_only());
    const std::string huge = write("huge.abc", claiming(1u << 22)), largest = write("largest.abc", claiming(0x7FFFFFFF));
    const auto words = [](const std::string& path) { return std::to_string(std::filesystem::file_size(path) / 8); };

    struct Case {
        const char* what;
        std::string input;
        std::vector<std::string> options;
        int exit_code;
        std::string err;   // the line on standard error, "" for -q
        std::string file;  // told(), for a token archive
    };
    const Case cases[] = {
        {"the first mesh of a SubD-only archive, a token archive", only, {"--format", "bzel"}, 0,
         "/only, sample 0, 3 vertices, 1 face", "only 3 1 (0,0,1)"},
        {"every mesh at sample 0", mixed, {"--all-objects"}, 0,
         "4 meshes at sample 0, 15 vertices, 4 faces; 1 mesh without vertices left out",
         "/xf/m 4 2 (0,0,0); /s 3 1 (0,0,5); /t 4 2 (0,0,0); /u 4 2 (0,0,3)"},
        {"every mesh in world space", mixed, {"--all-objects", "--world"}, 0,
         "4 meshes at sample 0, in world space, 15 vertices, 4 faces; 1 mesh without vertices left out",
         "/xf/m 4 2 (10,0,0); /s 3 1 (0,0,5); /t 4 2 (0,0,0); /u 4 2 (0,0,3)"},
        {"every mesh at sample 2, the shorter ones at their last", mixed, {"--all-objects", "--sample", "2"}, 0,
         "4 meshes at sample 2 (2 with fewer samples at their last), 14 vertices, 4 faces; 1 mesh without vertices "
         "left out",
         "/xf/m 4 2 (0,0,2); /s 3 1 (0,0,5); /t 3 1 (0,0,7); /u 4 2 (0,0,4)"},
        // Frames at the times of samplings 1 and 2 in order: u's first, m's and
        // t's first, u's second, then theirs; the still SubD has none, t's
        // triangle is a mesh block of its own.
        {"every mesh at every sample", mixed, {"--all-objects", "--all-samples", "--world"}, 0,
         "4 meshes, their samples as 5 frames (5 parts: split where their topology changes), in world space, "
         "18 vertices, 5 faces; 1 mesh without vertices left out",
         "/xf/m 4 2 (10,0,0); /s 3 1 (0,0,5); /t 4 2 (0,0,0); /t@2 3 1 (0,0,7); /u 4 2 (0,0,3)"
         " | 0: 0 0 0 0 4(0,0,3) | 1: 4(10,0,0) 0 4(0,0,0) 0 0 | 2: 0 0 0 0 4(0,0,4)"
         " | 3: 4(10,0,1) 0 4(0,0,1) 0 0 | 4: 4(10,0,2) 0 0 3(0,0,7) 0"},
        {"one mesh split where its topology changes", mixed, {"--object", "/t", "--all-samples"}, 0,
         "/t, samples 0 to 2 as 3 frames, 7 vertices, 2 faces; split where its topology changes, at sample 2",
         "t 4 2 (0,0,0); t@2 3 1 (0,0,7) | 0: 4(0,0,0) 0 | 1: 4(0,0,1) 0 | 2: 0 3(0,0,7)"},
        {"more samples than the file has words", huge, {"--all-samples"}, 1,
         huge + ": /claims claims 4194304 samples, more than the file's " + words(huge) + " 8-byte words can hold", ""},
        {"the most samples a count holds", largest, {"--all-objects", "--all-samples"}, 1,
         largest + ": /claims claims 2147483647 samples, more than the file's " + words(largest) +
             " 8-byte words can hold",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string out = work.file("out.bzel");
        std::vector<std::string> args = {"convert", c.input, c.options[0] == "--format" ? work.file("out") : out};
        args.insert(args.end(), c.options.begin(), c.options.end());
        CommandRun r = zel_test::run_zelset(args, work);
        EXPECT_EQ(r.exit_code, c.exit_code);
        const std::string written = args[2];
        EXPECT_EQ(r.err, c.exit_code == 0 ? "zelset: wrote " + written + ": " + c.err + "\n" : "zelset: " + c.err + "\n");
        if (c.exit_code == 0) {
            EXPECT_EQ(told(written), c.file);
        }
        std::remove(written.c_str());
        EXPECT_EQ(zel_test::files_in(work), 4u);
    }

    // The frames' times: the two samplings' in order.
    CommandRun r = zel_test::run_zelset({"convert", mixed, work.file("t.bzel"), "--all-objects", "--all-samples", "-q"},
                                        work);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<double> times = {kStep / 2, kStep, kStep / 2 + kStep, kStep + kStep, kStep + 2 * kStep};
    std::vector<float> expected;
    for (double t : times) expected.push_back(static_cast<float>(t));
    EXPECT_EQ(frame_times(work.file("t.bzel")), expected);

    // The first mesh is the SubD in each format, as preview draws it.
    for (const char* name : {"first.zelm", "first.zel"}) {
        r = zel_test::run_zelset({"convert", only, work.file(name)}, work);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "zelset: wrote " + work.file(name) + ": /only, sample 0, 3 vertices, 1 face\n");
    }
    zel_mesh_t cache{};
    ASSERT_EQ(zel_mesh_load(work.file("first.zelm").c_str(), &cache), 0);
    EXPECT_EQ(cache.header.vertex_count, 3u);
    zel_mesh_free(&cache);
}

}  // namespace
