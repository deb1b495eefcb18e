// Every failure of the command is one line in plain words on standard error:
// the file, what is wrong, the system's reason where there is one; exit 1,
// nothing on standard output, no file left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "command/command_runner.h"
#include "ogawa_test_files.h"
#include "support/alembic_writer.h"
#include "zelset.h"

namespace {

using zel_test::CommandRun;
using zel_test::TempDir;
using Bytes = std::vector<unsigned char>;

// A mesh of three samples whose last sample's positions are cut short.
std::string damaged_last_sample(const TempDir& dir) {
    alembic_test::MeshSample quad{{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0}, {4}, {0, 1, 2, 3}};
    std::vector<alembic_test::MeshSample> samples = {quad, quad, quad};
    for (std::size_t s = 0; s < samples.size(); ++s) samples[s].positions[2] = static_cast<float>(s);
    alembic_test::Scene scene;
    scene.samplings = {{1, 1.0, {0.0}}, {3, 1.0 / 24, {1.0 / 24}}};
    scene.share_identical_samples = false;
    scene.objects.push_back(alembic_test::polymesh("m", samples, 1));
    alembic_test::Written w = alembic_test::write_archive(scene);
    // An array property's group holds a data node and a dimensions node per sample.
    const std::uint64_t last = ogawa_test::get_u64(w.bytes, w.property_group.at("/m/.geom/P") + 8 + 8 * (2 * 2));
    ogawa_test::set_u64(w.bytes, last & ~ogawa_test::kData, w.bytes.size());
    std::string path = dir.file("damaged.abc");
    zel_test::write_file(path, w.bytes);
    return path;
}

Bytes first_bytes(const std::string& path, std::size_t n) {
    Bytes whole = zel_test::read_file(path);
    whole.resize(n);
    return whole;
}

// An agent directory of three agents.
std::string three_agents(const TempDir& dir) {
    const std::string path = dir.file("agents.zlag");
    EXPECT_EQ(zel_agent_dir_init(path.c_str()), 0);
    char id[9];
    for (int i = 0; i < 3; ++i) EXPECT_EQ(zel_agent_spawn(nullptr, 0, 0, 0, id), 0);
    EXPECT_EQ(zel_agent_dir_save(nullptr), 0);
    zel_agent_dir_free();
    return path;
}

TEST(ZelsetCommandErrors, EveryFailureIsOneLineInWords) {
    TempDir inputs, work;
    auto write = [&](const std::string& name, const Bytes& bytes) {
        zel_test::write_file(inputs.file(name), bytes);
        return inputs.file(name);
    };
    const std::string cube = zel_test::data_file("cube.abc"), wave = zel_test::data_file("animated.abc");
    const std::string scene = zel_test::data_file("scene_mixed.abc");
    Bytes noise(4096);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    Bytes hdf5 = {0x89, 'H', 'D', 'F', '\r', '\n', 0x1a, '\n'};
    hdf5.resize(512);
    const std::string missing = inputs.file("missing.abc"), empty = write("empty.abc", {});
    const std::string noisy = write("noise.bin", noise), old = write("old.abc", hdf5);
    const std::string header_cut = write("header.abc", {'O', 'g', 'a', 'w', 'a', 0xFF, 0});
    const std::string half_cube = write("half.abc", first_bytes(cube, zel_test::read_file(cube).size() / 2));
    const std::string damaged = damaged_last_sample(inputs);
    const std::string undescribed = ogawa_test::undescribed_copy("cube", inputs);
    const std::string kCut = ": a damaged archive (a node reference points past the end of the file); nothing is read from it";
    const std::string kUndescribed = ": not an Alembic archive this reader can describe (--salvage reads it by the "
                                     "shape of its blocks, as guesses)";
    // A unit file of 2,009 tokens cut inside its 1,005th record, an agent
    // directory of three cut inside its third (24-byte headers, records of
    // 25 and 40 bytes).
    const std::string unit = inputs.file("whole.zel");
    ASSERT_EQ(zel_test::convert(inputs, zel_test::data_file("pentagons.abc"), "whole.zel").run.exit_code, 0);
    const std::string cut_unit = write("cut.zel", first_bytes(unit, 24 + 25 * 1004 + 12));
    const std::string cut_agents = write("cut.zlag", first_bytes(three_agents(inputs), 24 + 40 * 2 + 5));
    // A sparse unit file of 2^31 records, one more than a unit takes, whose
    // header claims 2^32 - 1.
    Bytes huge_header = first_bytes(unit, 24);
    std::fill(huge_header.begin() + 8, huge_header.begin() + 12, 0xFF);
    const std::string huge_unit = write("huge.zel", huge_header);
    std::filesystem::resize_file(huge_unit, 24 + 25 * (std::uintmax_t{ZEL_UNIT_MAX_TOKENS} + 1));
    const std::string out = work.file("o.zelm");
    const std::string folder_out = work.file("folder.zelm");

    const std::string kNoSuchFile = ": cannot open: No such file or directory";
    const std::string kHdf5 = ": an HDF5-based Alembic archive; only the Ogawa container is read";
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::string line;  // after "zelset: "
    } cases[] = {
        {"missing archive", {"convert", missing, out}, missing + kNoSuchFile},
        {"missing file", {"info", missing}, missing + kNoSuchFile},
        {"missing unit", {"query", missing, "--layer", "1"}, missing + kNoSuchFile},
        {"empty archive", {"convert", empty, out}, empty + ": an empty file, not an Alembic archive"},
        {"empty file", {"info", empty}, empty + ": an empty file"},
        {"noise", {"convert", noisy, out}, noisy + ": not an Alembic archive (no Ogawa header)"},
        {"noise described",
         {"info", noisy},
         noisy + ": not a file zelset reads (its first bytes match no format it knows)"},
        {"HDF5 archive", {"convert", old, out}, old + kHdf5},
        {"HDF5 archive described", {"info", old}, old + kHdf5},
        {"Ogawa header cut short",
         {"convert", header_cut, out},
         header_cut + ": not an Alembic archive (its Ogawa header is cut short or damaged) [status -4]"},
        {"cut archive", {"convert", half_cube, out}, half_cube + kCut},
        {"cut archive salvaged", {"convert", half_cube, out, "--salvage"}, half_cube + kCut},
        {"cut archive described", {"info", half_cube, "--salvage"}, half_cube + kCut},
        {"undescribed", {"convert", undescribed, out}, undescribed + kUndescribed},
        {"undescribed described", {"info", undescribed}, undescribed + kUndescribed},
        {"no such object", {"convert", cube, out, "--object", "/nope"}, cube + ": no object /nope in the archive"},
        {"not a mesh", {"convert", scene, out, "--object", "/cam"}, scene + ": /cam is a Camera, not a mesh"},
        {"sample of a static mesh", {"convert", cube, out, "--sample", "1"}, cube + ": /cube has only sample 0"},
        {"sample past the last", {"convert", wave, out, "--sample", "24"}, wave + ": /wave has samples 0 to 23"},
        {"damaged last sample",
         {"convert", damaged, work.file("o.bzel"), "--all-samples"},
         damaged + ": sample 2 of /m cannot be read [status -1]"},
        {"damaged sample asked",
         {"convert", damaged, work.file("o.zel"), "--sample", "2"},
         damaged + ": sample 2 of /m cannot be read [status -1]"},
        {"target is a folder", {"convert", cube, folder_out}, folder_out + ": is a folder, not a file"},
        {"unit cut short", {"info", cut_unit}, cut_unit + ": cut short: its header says 2009 tokens, the file holds 1004"},
        {"unit cut short queried",
         {"query", cut_unit, "--layer", "1"},
         cut_unit + ": cut short: its header says 2009 tokens, the file holds 1004"},
        {"agents cut short", {"info", cut_agents}, cut_agents + ": cut short: its header says 3 agents, the file holds 2"},
        {"unit too large",
         {"info", huge_unit},
         huge_unit + ": holds more tokens than a unit takes (2147483647) [status -7]"},
        {"not a unit", {"query", cube, "--key", "1"}, cube + ": not a unit file (no ZEL magic)"},
        {"no such key", {"query", unit, "--key", "0x7fffffffffffffff"}, unit + ": no token with key 0x7fffffffffffffff"},
    };
    std::filesystem::create_directory(folder_out);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CommandRun r = zel_test::run_zelset(c.args, work);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "zelset: " + c.line + "\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(zel_test::files_in(work), 1u);  // the folder alone
    }

    // A folder that cannot be written to: the system's reason.
    const std::string unreachable = work.file("missing_folder/o.zelm");
    CommandRun r = zel_test::run_zelset({"convert", cube, unreachable}, work);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err.rfind("zelset: " + unreachable + ": cannot create a file in ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("missing_folder: No such file or directory\n"), std::string::npos) << r.err;
    EXPECT_TRUE(r.one_error_line());

    // The earlier samples of the damaged mesh convert. A failure leaves an
    // existing target as it was; a success replaces it.
    EXPECT_EQ(zel_test::convert(work, damaged, "o.zelm", {"--sample", "1"}).run.exit_code, 0);
    const Bytes before = zel_test::read_file(out);
    EXPECT_EQ(zel_test::convert(work, cube, "o.zelm", {"--object", "/nope"}).run.exit_code, 1);
    EXPECT_EQ(zel_test::read_file(out), before);
    EXPECT_EQ(zel_test::convert(work, cube, "o.zelm").run.exit_code, 0);
    EXPECT_NE(zel_test::read_file(out), before);
    EXPECT_EQ(zel_test::files_in(work), 2u);
}

}  // namespace
