// zelset info --properties on "flat 40k" (bench/scenes.h: 40,000 objects,
// 20,000 meshes), the built command run as a user runs it, its output into a
// file; against the reads it asks of the library, in this process: open, then
// for every object its index entry, properties and sample count, and for a
// mesh its sample 0 and uv sets. Targets: at most 1 s and 64 MB peak resident
// memory of the command (its ru_maxrss), in text and in JSON.
//   info_s, info_cpu_s   the command's wall-clock and CPU time (user + system)
//   peak_MB              its peak resident memory
//   reads_s              the library's reads alone
//   info/reads           the command's wall-clock time over the reads'
// A process's peak memory carries over through fork and exec, so this process
// stays small: the archive is written, and the library's reads are timed, in
// forked children, and the command is started from a process that never
// held more than its own few megabytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "scenes.h"
#include "support/test_support.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0, cpu_seconds = 0, peak_bytes = 0;
    bool ok = false;
};

double seconds_of(const timeval& t) { return double(t.tv_sec) + 1e-6 * double(t.tv_usec); }

// The command with args, standard output into out; its times and peak memory.
Run run_command(const std::vector<std::string>& args, const std::string& out) {
    std::vector<char*> argv = {const_cast<char*>(ZEL_COMMAND)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Run run;
    const auto start = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, ZEL_COMMAND, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        if (wait4(pid, &status, 0, &usage) == pid) {
            run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            run.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
            run.peak_bytes = 1024.0 * double(usage.ru_maxrss);
            run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
    }
    posix_spawn_file_actions_destroy(&actions);
    return run;
}

// fn() run in a forked child, whose memory goes with it; what fn returned, or
// -1 when the child failed.
template <class Fn>
double in_child(Fn fn) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(channel[0]);
        const double result = fn();
        const bool sent = write(channel[1], &result, sizeof result) == sizeof result;
        _exit(sent ? 0 : 1);
    }
    close(channel[1]);
    double result = -1;
    if (pid < 0 || read(channel[0], &result, sizeof result) != sizeof result) result = -1;
    close(channel[0]);
    int status = 0;
    if (pid > 0) waitpid(pid, &status, 0);
    return result;
}

// What info asks of the library; the number of properties seen, 0 on failure.
std::uint64_t library_reads(const std::string& path) {
    ogawa_archive_t archive;
    if (ogawa_open(path.c_str(), &archive) != 0) return 0;
    std::uint64_t seen = 0;
    ogawa_object_t record{};
    for (std::uint32_t o = 0; o < ogawa_object_count(&archive); ++o) {
        ogawa_object_info_t info;
        ogawa_get_object(&archive, o, &info);
        benchmark::DoNotOptimize(ogawa_object_samples(&archive, o));
        if (ogawa_decode_properties(&archive, o) != 0) return 0;
        for (std::uint32_t i = 0; i < ogawa_property_count(&archive, o); ++i) {
            ogawa_property_info_t p;
            seen += ogawa_get_property(&archive, o, i, &p) == 0;
        }
        if (info.schema != OGAWA_SCHEMA_POLYMESH) continue;
        std::strncpy(record.path, info.path, sizeof record.path - 1);
        ogawa_polymesh_t mesh;
        if (ogawa_read_polymesh(&archive, &record, 0, &mesh) != 0) return 0;
        ogawa_free_polymesh(&mesh);
        ogawa_uv_set_t uv{};
        ogawa_read_uvs(&archive, &record, 0, 0, &uv);
        ogawa_free_uv_set(&uv);
    }
    ogawa_close(&archive);
    return seen;
}

void BM_InfoProperties(benchmark::State& state, bool json) {
    static zel_test::TempDir dir;
    const std::string path = dir.file("flat_40k.abc"), out = dir.file("info.out");
    static const double written = in_child([&] {
        zel_test::write_file(path, alembic_test::write_archive(bench_scenes::flat(20000)).bytes);
        return 1.0;
    });
    if (written != 1.0) {
        state.SkipWithError("the archive cannot be written");
        return;
    }
    std::vector<std::string> args = {"info", path, "--properties"};
    if (json) args.push_back("--json");
    double info_s = 0, cpu_s = 0, peak = 0, reads_s = 0;
    for (auto _ : state) {
        const Run run = run_command(args, out);
        const double reads = in_child([&] {
            const auto t0 = Clock::now();
            const std::uint64_t seen = library_reads(path);
            return seen ? std::chrono::duration<double>(Clock::now() - t0).count() : -1.0;
        });
        reads_s += reads;
        if (!run.ok || reads < 0) {
            state.SkipWithError("the command or a read failed");
            return;
        }
        info_s += run.seconds;
        cpu_s += run.cpu_seconds;
        peak = std::max(peak, run.peak_bytes);
    }
    const double n = double(state.iterations());
    state.counters["info_s"] = info_s / n;
    state.counters["info_cpu_s"] = cpu_s / n;
    state.counters["peak_MB"] = peak / 1e6;
    state.counters["reads_s"] = reads_s / n;
    state.counters["info/reads"] = info_s / reads_s;
}

BENCHMARK_CAPTURE(BM_InfoProperties, text, false)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK_CAPTURE(BM_InfoProperties, json, true)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
