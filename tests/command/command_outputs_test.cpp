// What the command writes is whole or not there: concurrent conversions to
// one target, targets that are links or read-only, and writes that fail
// (a full device, a full filesystem) with exit 1 and the system's reason.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include "command/command_runner.h"

namespace {

namespace fs = std::filesystem;
using zel_test::CommandRun;
using zel_test::TempDir;
using Bytes = std::vector<unsigned char>;

TEST(ZelsetCommandOutputs, ConcurrentConversionsToOneTargetEachLeaveAWholeFile) {
    TempDir work, logs;
    const std::string inputs[2] = {zel_test::data_file("grid_tri.abc"), zel_test::data_file("tiny.abc")};
    Bytes whole[2];
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(zel_test::convert(logs, inputs[i], "alone.zelm", {"-q"}).run.exit_code, 0);
        whole[i] = zel_test::read_file(logs.file("alone.zelm"));
    }
    ASSERT_NE(whole[0].size(), whole[1].size());
    const std::string target = work.file("shared.zelm");
    for (int pair = 0; pair < 16; ++pair) {
        SCOPED_TRACE(pair);
        int exit_codes[2] = {-1, -1};
        std::thread writers[2];
        for (int i = 0; i < 2; ++i) {
            writers[i] = std::thread([&, i] {
                exit_codes[i] = zel_test::run_zelset({"convert", inputs[i], target, "-q"}, logs).exit_code;
            });
        }
        for (std::thread& w : writers) w.join();
        EXPECT_EQ(exit_codes[0], 0);
        EXPECT_EQ(exit_codes[1], 0);
        const Bytes written = zel_test::read_file(target);
        EXPECT_TRUE(written == whole[0] || written == whole[1]) << written.size() << " bytes";
        EXPECT_EQ(zel_test::files_in(work), 1u);  // no temporary file stays
    }
}

// A link has the file it names replaced; a read-only target is refused (by
// its permission bits, so also for root; on Windows its read-only attribute).
TEST(ZelsetCommandOutputs, LinkedAndReadOnlyTargets) {
    TempDir work;
    const std::string cube = zel_test::data_file("cube.abc"), grid = zel_test::data_file("grid_tri.abc");
    const std::string real = work.file("real.zelm"), link = work.file("link.zelm");
    ASSERT_EQ(zel_test::convert(work, cube, "real.zelm", {"-q"}).run.exit_code, 0);
    const Bytes small = zel_test::read_file(real);

    std::error_code no_links;
    fs::create_symlink("real.zelm", link, no_links);
    if (!no_links) {
        ASSERT_EQ(zel_test::convert(work, grid, "link.zelm", {"-q"}).run.exit_code, 0);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_GT(zel_test::read_file(real).size(), small.size());
        // A link to a file not yet there makes the file.
        fs::create_symlink("made.zelm", work.file("ahead.zelm"));
        ASSERT_EQ(zel_test::convert(work, cube, "ahead.zelm", {"-q"}).run.exit_code, 0);
        EXPECT_EQ(zel_test::read_file(work.file("made.zelm")), small);
        EXPECT_EQ(zel_test::files_in(work), 4u);
        fs::remove(work.file("ahead.zelm"));
        fs::remove(work.file("made.zelm"));
    } else {
        std::printf("symbolic links cannot be made here (%s): only the read-only target is tested\n",
                    no_links.message().c_str());
    }

#ifndef _WIN32
    // Private stays private: a replaced file keeps its permissions.
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(zel_test::convert(work, cube, "real.zelm", {"-q"}).run.exit_code, 0);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
#endif

    fs::permissions(real, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const Bytes before = zel_test::read_file(real);
    for (const std::string& target : {real, link}) {
        if (target == link && no_links) continue;
        CommandRun r = zel_test::run_zelset({"convert", grid, target}, work);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "zelset: " + target + ": is read-only (no write permission); it is not replaced\n");
        EXPECT_EQ(zel_test::read_file(real), before);
    }
    fs::permissions(real, fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(zel_test::files_in(work), no_links ? 1u : 2u);
}

#ifndef _WIN32
// A small filesystem mounted for the test, unmounted when it ends.
class SmallFilesystem {
public:
    explicit SmallFilesystem(const TempDir& dir) : path_(dir.file("small")) {
        fs::create_directory(path_);
        std::string mount = "mount -t tmpfs -o size=64k zelset-test '" + path_ + "' 2>/dev/null";
        mounted_ = std::system(mount.c_str()) == 0;
    }
    ~SmallFilesystem() {
        if (mounted_) std::system(("umount '" + path_ + "'").c_str());
    }
    bool mounted() const { return mounted_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
    bool mounted_ = false;
};

// Fills the filesystem of path until a write fails.
void fill(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const Bytes block(4096, 0xEE);
    while (std::fwrite(block.data(), 1, block.size(), f) == block.size() && std::fflush(f) == 0) {
    }
    std::fclose(f);
}

const char* const kNoSpace = ": cannot write: No space left on device";

TEST(ZelsetCommandOutputs, WritesToAFullDeviceFail) {
    TempDir work;
    const std::string cube = zel_test::data_file("cube.abc");
    ASSERT_EQ(zel_test::convert(work, zel_test::data_file("pentagons.abc"), "p.zel", {"-q"}).run.exit_code, 0);
    const std::vector<std::string> printing[] = {
        {"query", work.file("p.zel"), "--layer", "1"},
        {"info", cube, "--json"},
        {"info", cube},
        {"convert", "--help"},
        {"--version"},
    };
    for (const auto& args : printing) {
        SCOPED_TRACE(args.back());
        CommandRun r = zel_test::run_zelset(args, work, "/dev/full");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, std::string("zelset: standard output") + kNoSpace + "\n");
    }
}

TEST(ZelsetCommandOutputs, WritesToAFullFilesystemFail) {
    TempDir work;
    SmallFilesystem small(work);
    if (!small.mounted()) GTEST_SKIP() << "no small filesystem can be mounted here (it needs root and mount)";
    const std::string grid = zel_test::data_file("grid_tri.abc"), cube = zel_test::data_file("cube.abc");
    // Every output of the grid is larger than the whole filesystem.
    const std::string kept = small.file("kept.zelm");
    ASSERT_EQ(zel_test::run_zelset({"convert", cube, kept, "-q"}, work).exit_code, 0);
    const Bytes before = zel_test::read_file(kept);
    const struct {
        const char* name;
        const char* status;
    } outputs[] = {{"kept.zelm", " [status -13]"}, {"new.zelm", " [status -13]"}, {"new.zel", " [status -2]"},
                   {"new.bzel", " [status -2]"}};
    for (const auto& o : outputs) {
        SCOPED_TRACE(o.name);
        CommandRun r = zel_test::run_zelset({"convert", grid, small.file(o.name)}, work);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "zelset: " + small.file(o.name) + kNoSpace + o.status + "\n");
        EXPECT_EQ(zel_test::read_file(kept), before);
        EXPECT_EQ(std::distance(fs::directory_iterator(small.file("")), fs::directory_iterator()), 1);
    }
    // A report redirected into a full filesystem.
    fill(small.file("filler"));
    CommandRun r = zel_test::run_zelset({"info", grid, "--json"}, work, small.file("report.json"));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, std::string("zelset: standard output") + kNoSpace + "\n");
}
#endif

}  // namespace
