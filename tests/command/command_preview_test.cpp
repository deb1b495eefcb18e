// zelset preview through the built command: the PNG's header, a border of
// background, how much of the picture the meshes cover, the same bytes on a
// second run; the failures.
#include <gtest/gtest.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb/stb_image.h>

#include <filesystem>
#include <memory>

#include "command/command_runner.h"
#include "support/alembic_writer.h"

namespace {

using zel_test::CommandRun;
using zel_test::TempDir;
using Bytes = std::vector<unsigned char>;

std::uint32_t big_endian(const Bytes& b, std::size_t at) {
    return std::uint32_t(b[at]) << 24 | std::uint32_t(b[at + 1]) << 16 | std::uint32_t(b[at + 2]) << 8 | b[at + 3];
}

// The decoded picture: how many pixels differ from the top-left one, the
// background, and whether the outermost rows and columns are all background.
struct Picture {
    int width = 0, height = 0;
    std::size_t drawn = 0;
    bool border_is_background = true;
};

Picture decode(const Bytes& png) {
    Picture p;
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgb(
        stbi_load_from_memory(png.data(), static_cast<int>(png.size()), &p.width, &p.height, &channels, 3),
        stbi_image_free);
    if (!rgb) {
        ADD_FAILURE() << "no PNG: " << stbi_failure_reason();
        return p;
    }
    const stbi_uc* background = rgb.get();
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const stbi_uc* pixel = rgb.get() + 3 * (std::size_t(y) * std::size_t(p.width) + std::size_t(x));
            const bool is_background = std::equal(pixel, pixel + 3, background);
            if (!is_background) ++p.drawn;
            if (!is_background && (x == 0 || y == 0 || x == p.width - 1 || y == p.height - 1)) {
                p.border_is_background = false;
            }
        }
    }
    return p;
}

TEST(ZelsetCommandPreview, PicturesOfEachView) {
    struct Case {
        const char* archive;
        std::vector<std::string> options;
        std::uint32_t width, height;
    };
    // The wave is a sheet in the XY plane: from the side and from the top it
    // is a thin line, too little of the picture for the bounds below.
    const Case cases[] = {
        {"cube.abc", {}, 800, 600},
        {"cube.abc", {"--view", "front", "--size", "320x200"}, 320, 200},
        {"cube.abc", {"--view", "side", "--size", "200x320"}, 200, 320},
        {"cube.abc", {"--view", "top", "--size", "3x3"}, 3, 3},
        {"cube.abc", {"--view", "persp", "--size", "640x480"}, 640, 480},
        {"animated.abc", {"--size", "400x300"}, 400, 300},
        {"animated.abc", {"--sample", "23", "--view", "front", "--size", "400x300"}, 400, 300},
        {"animated.abc", {"--object", "/wave", "--sample", "12", "--size", "400x300"}, 400, 300},
        // Its still ground is drawn at its one sample beside the cube's sample 9.
        {"scene_mixed.abc", {"--sample", "9", "--size", "400x300"}, 400, 300},
    };
    TempDir work;
    for (const Case& c : cases) {
        std::string options;
        for (const std::string& o : c.options) options += " " + o;
        SCOPED_TRACE(std::string(c.archive) + options);
        std::vector<std::string> args = {"preview", zel_test::data_file(c.archive), work.file("p.png"), "-q"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CommandRun run = zel_test::run_zelset(args, work);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(run.err, "");
        const Bytes png = zel_test::read_file(work.file("p.png"));
        ASSERT_GT(png.size(), 33u);
        // IHDR: width, height, bit depth 8, colour type 2 (RGB), not interlaced.
        EXPECT_EQ(big_endian(png, 16), c.width);
        EXPECT_EQ(big_endian(png, 20), c.height);
        EXPECT_EQ(png[24], 8);
        EXPECT_EQ(png[25], 2);
        EXPECT_EQ(png[28], 0);
        const Picture p = decode(png);
        EXPECT_TRUE(p.border_is_background);
        const double covered = double(p.drawn) / (double(p.width) * double(p.height));
        if (c.width > 3) {
            EXPECT_GE(covered, 0.10);
            EXPECT_LE(covered, 0.80);
        } else {
            EXPECT_EQ(p.drawn, 1u);  // the one pixel inside the border
        }
        ASSERT_EQ(zel_test::run_zelset(args, work).exit_code, 0);
        EXPECT_EQ(zel_test::read_file(work.file("p.png")), png) << "a second run differs";
    }
}

// A square facing +Z fills the picture's height but for the margin of 8% of
// it on each side: 84 x 84 pixels of 200 x 100 from the front (its diagonal
// runs through pixel centres, which the two triangles must share, not both
// leave out); edge-on from the side and the top, nothing.
TEST(ZelsetCommandPreview, ASquareFromThreeSides) {
    TempDir work;
    alembic_test::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}};
    scene.objects.push_back(alembic_test::polymesh("square", {{{-1, -1, 0, 1, -1, 0, 1, 1, 0, -1, 1, 0}, {4}, {0, 1, 2, 3}}}));
    const std::string square = work.file("square.abc");
    zel_test::write_file(square, alembic_test::write_archive(scene).bytes);
    for (auto [view, drawn] : {std::pair{"front", 84u * 84u}, {"side", 0u}, {"top", 0u}}) {
        SCOPED_TRACE(view);
        const CommandRun run =
            zel_test::run_zelset({"preview", square, work.file("c.png"), "--view", view, "--size", "200x100"}, work);
        ASSERT_EQ(run.exit_code, 0) << run.err;
        EXPECT_EQ(decode(zel_test::read_file(work.file("c.png"))).drawn, drawn);
        EXPECT_EQ(run.err, "zelset: wrote " + work.file("c.png") + ": 200x100, " + view +
                               " view of 1 mesh, 2 triangles\n");
    }
}

// An archive over 1 MiB is read through windows of the file, where reading a
// mesh may move the object index's texts: every mesh must still be drawn.
TEST(ZelsetCommandPreview, EveryMeshOfALargeArchive) {
    TempDir work;
    alembic_test::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}};
    alembic_test::MeshSample big;
    constexpr int kSide = 300;  // 90,000 vertices: over 1 MiB of positions
    for (int y = 0; y < kSide; ++y) {
        for (int x = 0; x < kSide; ++x) big.positions.insert(big.positions.end(), {float(x), float(y), 0.0f});
    }
    big.face_counts = {3};
    big.face_indices = {0, 1, kSide};
    scene.objects.push_back(alembic_test::polymesh("big", {big}));
    for (int i = 0; i < 200; ++i) {
        const float x = float(i);
        scene.objects.push_back(alembic_test::polymesh(
            "quad_" + std::to_string(i), {{{x, 0, 1, x + 1, 0, 1, x + 1, 1, 1, x, 1, 1}, {4}, {0, 1, 2, 3}}}));
    }
    const std::string archive = work.file("large.abc");
    zel_test::write_file(archive, alembic_test::write_archive(scene).bytes);
    ASSERT_GT(zel_test::read_file(archive).size(), 1u << 20);
    const CommandRun run = zel_test::run_zelset({"preview", archive, work.file("p.png"), "--view", "top"}, work);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_NE(run.err.find("top view of 201 meshes, 401 triangles"), std::string::npos) << run.err;
}

TEST(ZelsetCommandPreview, FailuresWriteNothing) {
    TempDir inputs, work;
    alembic_test::Scene no_mesh;
    no_mesh.samplings = {{1, 1.0, {0.0}}};
    no_mesh.objects.push_back(alembic_test::xform("alone", {0x10}, {{1.0, 2.0, 3.0}}, {}, 0, {}));
    const std::string xform_only = inputs.file("xform_only.abc");
    zel_test::write_file(xform_only, alembic_test::write_archive(no_mesh).bytes);
    const std::string mixed = zel_test::data_file("scene_mixed.abc");
    struct Case {
        std::string archive;
        std::vector<std::string> options;
        int exit_code;
        const char* says;
    };
    const Case cases[] = {
        {xform_only, {}, 1, "holds no mesh to draw"},
        {mixed, {"--object", "/pCube1"}, 1, "/pCube1 is a Xform, not a mesh"},
        {mixed, {"--object", "/cam"}, 1, "/cam is a Camera, not a mesh"},
        {mixed, {"--object", "/nothing"}, 1, "no object /nothing in the archive"},
        {mixed, {"--object", "/pCube1/pCubeShape1", "--sample", "10"}, 1, "has samples 0 to 9"},
        {zel_test::data_file("cube.truth.json"), {}, 1, "cube.truth.json"},
        {mixed, {"--size", "2x600"}, 2, "needs WIDTHxHEIGHT"},
        {mixed, {"--size", "800"}, 2, "needs WIDTHxHEIGHT"},
        {mixed, {"--size", "800x-6"}, 2, "needs WIDTHxHEIGHT"},
        {mixed, {"--view", "iso"}, 2, "iso"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.says);
        std::vector<std::string> args = {"preview", c.archive, work.file("p.png")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CommandRun run = zel_test::run_zelset(args, inputs);
        EXPECT_EQ(run.exit_code, c.exit_code);
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        if (c.exit_code == 1) {
            EXPECT_TRUE(run.one_error_line()) << run.err;
        }
        EXPECT_EQ(zel_test::files_in(work), 0u);
    }
}

}  // namespace
