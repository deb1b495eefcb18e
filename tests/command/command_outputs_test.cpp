// What the command writes is whole or not there: concurrent conversions to
// one target, targets that are links or read-only, and writes that fail
// (a full device, a full filesystem) with exit 1 and the system's reason.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>
#endif

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
        CommandRun runs[2];
        std::thread writers[2];
        for (int i = 0; i < 2; ++i) {
            writers[i] = std::thread([&, i] { runs[i] = zel_test::run_zelset({"convert", inputs[i], target, "-q"}, logs); });
        }
        for (std::thread& w : writers) w.join();
        EXPECT_EQ(runs[0].exit_code, 0) << runs[0].err;
        EXPECT_EQ(runs[1].exit_code, 0) << runs[1].err;
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

// Each format the commands write, of cube.abc: convert's three and preview's
// PNG, with the status a failed write gives.
struct Format {
    const char* name;
    const char* command;
    std::vector<std::string> options;  // after OUT
    const char* write_failure;
};

const Format kFormats[] = {
    {"zelm", "convert", {"--format", "zelm"}, " [status -13]"},
    {"zel", "convert", {"--format", "zel"}, " [status -2]"},
    {"bzel", "convert", {"--format", "bzel", "--all-objects", "--world"}, " [status -2]"},
    {"png", "preview", {"--size", "40x30"}, " [status -2]"},
};

std::vector<std::string> quiet_run(const Format& f, const std::string& out) {
    std::vector<std::string> a = {f.command, zel_test::data_file("cube.abc"), out};
    a.insert(a.end(), f.options.begin(), f.options.end());
    a.push_back("-q");
    return a;
}

// The bytes a format's conversion writes into a file.
Bytes reference_bytes(const Format& f, const TempDir& work) {
    const std::string reference = work.file(std::string("reference.") + f.name);
    EXPECT_EQ(zel_test::run_zelset(quiet_run(f, reference), work).exit_code, 0);
    Bytes whole = zel_test::read_file(reference);
    fs::remove(reference);
    return whole;
}

// "-" is standard output; an output whose name does not say what to write,
// or says another thing than --format, is a usage error.
TEST(ZelsetCommandOutputs, StandardOutputAndFormats) {
    TempDir work;
    const std::string cube = zel_test::data_file("cube.abc");
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        const Bytes whole = reference_bytes(f, work);
        const std::string through_stdout = work.file("stdout");
        CommandRun r = zel_test::run_zelset(quiet_run(f, "-"), work, through_stdout);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(zel_test::read_file(through_stdout), whole);
        fs::remove(through_stdout);
    }
    const std::vector<std::string> unsaid[] = {
        {"convert", cube, "-"}, {"convert", cube, work.file("out.dat")},
        {"convert", cube, work.file("out.zel"), "--format", "zelm"}, {"convert", cube, "-", "--format", "png"},
        {"convert", cube, work.file("out.zelm"), "--all-objects"}, {"convert", cube, work.file("out.zel"), "--all-objects"},
        {"convert", cube, work.file("out.bzel"), "--all-objects", "--object", "/cube"},
        {"convert", cube, work.file("out.zel"), "--all-samples"}, {"preview", cube, "-", "--format", "zelm"}};
    for (const auto& a : unsaid) {
        SCOPED_TRACE(a[2] + " " + a.back());
        CommandRun r = zel_test::run_zelset(a, work);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find("usage: zelset " + a[0]), std::string::npos) << r.err;
    }
    // With --format, any name.
    CommandRun r = zel_test::run_zelset({"convert", cube, work.file("out.dat"), "--format", "zel", "-q"}, work);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(zel_test::read_file(work.file("out.dat")), reference_bytes(kFormats[1], work));
    fs::remove(work.file("out.dat"));
    EXPECT_EQ(zel_test::files_in(work), 0u);
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

// Nodes the test makes in its own folder; never the machine's own /dev/null
// or /dev/full, which a fault that replaced its output would destroy for every
// later process.
class Nodes {
public:
    explicit Nodes(const TempDir& dir) : dir_(dir) {}
    // A character device (1,3 a null device, 1,7 a full one), or a block
    // device; "" where the system refuses (EPERM: no privilege to make one).
    std::string device(const std::string& name, mode_t type, unsigned major, unsigned minor) const {
        const std::string path = dir_.file(name);
        return ::mknod(path.c_str(), type | 0666, makedev(major, minor)) == 0 ? path : std::string();
    }
    std::string fifo(const std::string& name) const {
        const std::string path = dir_.file(name);
        return ::mkfifo(path.c_str(), 0666) == 0 ? path : std::string();
    }
    std::string link(const std::string& name, const std::string& to) const {
        fs::create_symlink(to, dir_.file(name));
        return dir_.file(name);
    }
    // A Unix socket bound at the path (open until the Nodes go).
    std::string socket(const std::string& name) {
        const std::string path = dir_.file(name);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path) return "";
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return "";
        return path;
    }
    ~Nodes() {
        if (socket_ >= 0) ::close(socket_);
    }

private:
    const TempDir& dir_;
    int socket_ = -1;
};

// Everything a FIFO receives while fn runs.
template <class Fn>
Bytes read_fifo_while(const std::string& fifo, Fn fn) {
    // Opened without waiting for a writer; a read then finds nothing until one
    // comes, and the end only once fn is done.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << fifo;
    std::atomic<bool> done{false};
    Bytes received;
    std::thread reader([&] {
        unsigned char block[4096];
        for (bool last = false; fd >= 0;) {
            const ssize_t n = ::read(fd, block, sizeof block);
            if (n > 0) {
                received.insert(received.end(), block, block + n);
                continue;
            }
            if (last) break;
            last = done;  // once fn is done, one more pass drains what is left
            if (!last) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    fn();
    done = true;
    reader.join();
    if (fd >= 0) ::close(fd);
    return received;
}

// The variable set for the test's commands, as it was afterwards.
class ScopedVariable {
public:
    ScopedVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedVariable() {
        if (old_) {
            ::setenv(name_, old_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Each output is written by what it is: a FIFO (with a reader) and a null
// device get the file's bytes and stay what they are, also through a link;
// a full device is exit 1 with the reason and stays a device; a folder, a
// socket and a block device are refused. Every format. The links the command
// makes to reach devices live in TMPDIR, which ends empty.
TEST(ZelsetCommandOutputs, DevicesAndFifosAreWrittenWhereTheyAreOthersRefused) {
    TempDir work, temporary;
    Nodes nodes(work);
    const std::string null_device = nodes.device("null", S_IFCHR, 1, 3);
    const std::string full_device = nodes.device("full", S_IFCHR, 1, 7);
    if (null_device.empty() || full_device.empty()) {
        std::printf("devices cannot be made here (%s): only FIFOs, sockets, folders and standard output are tested\n",
                    std::strerror(errno));
    }
    const std::string fifo = nodes.fifo("fifo");
    ASSERT_FALSE(fifo.empty()) << std::strerror(errno);
    const std::string socket = nodes.socket("socket");
    ASSERT_FALSE(socket.empty()) << std::strerror(errno);
    // No driver answers major 240 (kept for local use): nothing could be written there in any case.
    const std::string block_device = nodes.device("block", S_IFBLK, 240, 0);
    fs::create_directory(work.file("folder"));
    const std::size_t made = zel_test::files_in(work);
    const ScopedVariable tmpdir("TMPDIR", temporary.path().string());

    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        const Bytes whole = reference_bytes(f, work);
        CommandRun r;
        EXPECT_EQ(read_fifo_while(fifo, [&] { r = zel_test::run_zelset(quiet_run(f, fifo), work); }), whole);
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(fs::is_fifo(fifo));

        for (const std::string& device : {null_device, full_device}) {
            if (device.empty()) continue;
            for (const std::string& out : {device, nodes.link(f.name + std::string("_link"), device)}) {
                SCOPED_TRACE(out);
                r = zel_test::run_zelset(quiet_run(f, out), work);
                if (device == null_device) {
                    EXPECT_EQ(r.exit_code, 0) << r.err;
                } else {
                    EXPECT_EQ(r.exit_code, 1);
                    EXPECT_EQ(r.err, "zelset: " + out + kNoSpace + f.write_failure + "\n");
                }
                EXPECT_TRUE(fs::is_character_file(device));
            }
            fs::remove(work.file(f.name + std::string("_link")));
        }

        const std::pair<std::string, std::string> refused[] = {
            {work.file("folder"), "is a folder, not a file"},
            {socket, "is a socket; zelset writes files, devices and FIFOs"},
            {block_device, "is a block device; zelset does not write over a disk"}};
        for (const auto& [out, why] : refused) {
            if (out.empty()) continue;
            r = zel_test::run_zelset(quiet_run(f, out), work);
            EXPECT_EQ(r.exit_code, 1);
            EXPECT_EQ(r.err, "zelset: " + out + ": " + why + "\n");
        }
        EXPECT_EQ(zel_test::files_in(work), made);
        EXPECT_EQ(zel_test::files_in(temporary), 0u);
    }
}

// Standard output and reports written into a full device fail with the reason.
TEST(ZelsetCommandOutputs, ReportsIntoAFullDeviceFail) {
    TempDir work;
    const std::string full = Nodes(work).device("full", S_IFCHR, 1, 7);
    if (full.empty()) GTEST_SKIP() << "no device can be made here: " << std::strerror(errno);
    const std::string cube = zel_test::data_file("cube.abc");
    ASSERT_EQ(zel_test::convert(work, zel_test::data_file("pentagons.abc"), "p.zel", {"-q"}).run.exit_code, 0);
    const std::vector<std::string> printing[] = {
        {"query", work.file("p.zel"), "--layer", "1"},
        {"info", cube, "--json"},
        {"info", cube},
        {"convert", "--help"},
        {"--version"},
        {"convert", cube, "-", "--format", "zel"},
    };
    for (const auto& args : printing) {
        SCOPED_TRACE(args.back());
        CommandRun r = zel_test::run_zelset(args, work, full);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, std::string("zelset: standard output") + kNoSpace + "\n");
    }
    EXPECT_TRUE(fs::is_character_file(full));
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
