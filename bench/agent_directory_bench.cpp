// The agent directory at its full size of 65,536 agents: spawn and lookup by
// id (operations per second, against std::unordered_map on the same ids), and
// save and load of the whole file (MB/s, against plain fwrite / fread of the
// same bytes). Saving is measured without the flush to the disk and, apart,
// with it. A new directory (creation and release, and its resident memory)
// with its id index mapped from the shared block of empty heads, against its
// table allocated and filled, as every creation did before (now in large
// pages where the system has them).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/file_io.h"
#include "platform/platform.h"
#include "resident_memory.h"
#include "zelset.h"
#include "zelset/agent_internal.h"
#include "zelset/bucket_table.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kAgents = ZEL_AGENT_SLOTS;
constexpr double kFileBytes = 24.0 + 40.0 * kAgents;

double seconds_since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

uint64_t id_key(const char* id) {
    uint64_t key = 0;
    std::memcpy(&key, id, 8);
    return key;
}

// A scratch folder on the same disk as the system's temporary files.
struct Scratch {
    fs::path dir = fs::temp_directory_path() / ("zel_agent_bench_" + std::to_string(Clock::now().time_since_epoch().count()));
    Scratch() { fs::create_directories(dir); }
    ~Scratch() { fs::remove_all(dir); }
    std::string file(const char* name) const { return (dir / name).string(); }
};

// A fresh directory of kAgents agents spawned with `tier`; their ids in order.
std::vector<std::string> fill_directory(uint8_t tier) {
    zel_agent_dir_free();
    zel_agent_dir_init(nullptr);
    std::vector<std::string> ids;
    ids.reserve(kAgents);
    char id[9];
    for (uint32_t i = 0; i < kAgents; ++i) {
        zel_agent_spawn(nullptr, static_cast<uint8_t>(i & 3), tier, 0, id);
        ids.emplace_back(id, 8);
    }
    return ids;
}

void report(benchmark::State& state, const char* unit, double work, double ours, double base) {
    double n = double(state.iterations());
    state.counters[std::string("ours_") + unit] = work * n / ours;
    state.counters[std::string("base_") + unit] = work * n / base;
    state.counters["ratio"] = base / ours;  // >1: ours faster
}

double cpu_now() { return double(std::clock()) / CLOCKS_PER_SEC; }

// Processor time of zel_agent_dir_init, a spawn and zel_agent_dir_free, and
// the memory resident while the directory exists.
void new_directory(double* seconds, double* resident_mib) {
    zel_agent_dir_free();
    const double before = resident_bytes();
    const double t0 = cpu_now();
    zel_agent_dir_init(nullptr);
    char id[9];
    zel_agent_spawn(nullptr, 0, 3, 0, id);
    *resident_mib = (resident_bytes() - before) / (1024.0 * 1024.0);
    zel_agent_dir_free();
    *seconds = cpu_now() - t0;
}

// Median of many new directories, mapped and allocated. The first of the process
// makes the shared block of empty heads and is reported apart; it runs first
// in the program.
void BM_NewDirectory(benchmark::State& state) {
    double first = 0, first_mib = 0;
    new_directory(&first, &first_mib);
    std::vector<double> mapped, allocated, mapped_mib, allocated_mib;
    for (auto _ : state) {
        for (int i = 0; i < 21; ++i) {
            double s = 0, mib = 0;
            new_directory(&s, &mib);
            mapped.push_back(s);
            mapped_mib.push_back(mib);
            zel::bucket_tables_force_plain(true);
            new_directory(&s, &mib);
            zel::bucket_tables_force_plain(false);
            allocated.push_back(s);
            allocated_mib.push_back(mib);
        }
    }
    state.counters["first_ms"] = 1e3 * first;
    state.counters["median_ms"] = 1e3 * median(mapped);
    state.counters["resident_MiB"] = median(mapped_mib);
    state.counters["allocated_median_ms"] = 1e3 * median(allocated);
    state.counters["allocated_resident_MiB"] = median(allocated_mib);
    state.counters["allocated/mapped"] = median(allocated) / median(mapped);
}
BENCHMARK(BM_NewDirectory)->Unit(benchmark::kMillisecond)->Iterations(1);

// Spawns into a created directory against inserting the same ids into an
// unordered_map. The directory's creation is timed apart: the first write to
// each page of its index's heads (a view of the shared empty block) takes a
// fault among the spawns, which a creation that filled the table took itself.
void spawn_bench(benchmark::State& state, uint8_t tier) {
    double ours = 0, base = 0, create = 0;
    std::vector<std::string> ids = fill_directory(tier);
    char id[9];
    for (auto _ : state) {
        zel_agent_dir_free();
        auto t0 = Clock::now();
        zel_agent_dir_init(nullptr);
        create += seconds_since(t0);
        t0 = Clock::now();
        for (uint32_t i = 0; i < kAgents; ++i) zel_agent_spawn(nullptr, 0, tier, 0, id);
        ours += seconds_since(t0);
        benchmark::DoNotOptimize(id);

        t0 = Clock::now();
        std::unordered_map<uint64_t, uint32_t> map;
        for (uint32_t i = 0; i < kAgents; ++i) map.emplace(id_key(ids[i].c_str()), i);
        base += seconds_since(t0);
        benchmark::DoNotOptimize(map.size());
    }
    zel_agent_dir_free();
    report(state, "ops/s", kAgents, ours, base);
    state.counters["create_ms"] = 1e3 * create / double(state.iterations());
}

// Serial ids: one probe-free id each.
void BM_SpawnSerial(benchmark::State& state) { spawn_bench(state, 3); }
BENCHMARK(BM_SpawnSerial)->Unit(benchmark::kMillisecond)->Iterations(5);

// Tier 0: once its 28 slots are taken every spawn probes all of them first.
void BM_SpawnTierZero(benchmark::State& state) { spawn_bench(state, 0); }
BENCHMARK(BM_SpawnTierZero)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_LookupEach(benchmark::State& state) {
    std::vector<std::string> ids = fill_directory(3);
    std::unordered_map<uint64_t, uint32_t> map;
    for (uint32_t i = 0; i < kAgents; ++i) map.emplace(id_key(ids[i].c_str()), i);
    double ours = 0, base = 0;
    uint64_t found = 0;
    for (auto _ : state) {
        zel_agent_t a;
        auto t0 = Clock::now();
        for (const std::string& id : ids) found += zel_agent_query(id.c_str(), &a) == 0;
        ours += seconds_since(t0);
        t0 = Clock::now();
        for (const std::string& id : ids) found += map.find(id_key(id.c_str()))->second;
        base += seconds_since(t0);
    }
    benchmark::DoNotOptimize(found);
    zel_agent_dir_free();
    report(state, "ops/s", kAgents, ours, base);
}
BENCHMARK(BM_LookupEach)->Unit(benchmark::kMillisecond)->Iterations(20);

// The bytes of a full directory file, as the baseline writes them.
std::vector<unsigned char> file_image(const Scratch& scratch) {
    std::string path = scratch.file("image.zlag");
    zel_agent_dir_save(path.c_str());
    std::vector<unsigned char> bytes(static_cast<size_t>(kFileBytes));
    zel::File in(path.c_str(), "rb");
    zel::read_exact(in.get(), bytes.data(), bytes.size());
    return bytes;
}

double plain_write(const std::string& path, const std::vector<unsigned char>& bytes, bool durable) {
    auto t0 = Clock::now();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    if (durable) zel::flush_to_disk(f);
    std::fclose(f);
    return seconds_since(t0);
}

// The save without its flush to the disk: encoding, temporary file, close
// and replace.
void BM_SaveWithoutFlush(benchmark::State& state) {
    Scratch scratch;
    fill_directory(3);
    std::vector<unsigned char> bytes = file_image(scratch);
    std::string target = scratch.file("dir.zlag"), tmp = target + ".tmp", plain = scratch.file("plain.bin");
    double ours = 0, base = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        unsigned char* image = zel::encode_agent_file(*zel::g_agent_dir, zel::time_now());
        std::FILE* f = std::fopen(tmp.c_str(), "wb");
        bool ok = zel::write_exact(f, image, zel::agent_file_size(*zel::g_agent_dir));
        ok = std::fclose(f) == 0 && ok && zel::replace_file(tmp.c_str(), target.c_str()) == 0;
        std::free(image);
        ours += seconds_since(t0);
        if (!ok) state.SkipWithError("save failed");
        base += plain_write(plain, bytes, false);
    }
    zel_agent_dir_free();
    report(state, "MB/s", kFileBytes / 1e6, ours, base);
}
BENCHMARK(BM_SaveWithoutFlush)->Unit(benchmark::kMillisecond)->Iterations(20);

// zel_agent_dir_save as it is, flush included, against fwrite + flush.
void BM_SaveWithFlush(benchmark::State& state) {
    Scratch scratch;
    fill_directory(3);
    std::vector<unsigned char> bytes = file_image(scratch);
    std::string target = scratch.file("dir.zlag"), plain = scratch.file("plain.bin");
    double ours = 0, base = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (zel_agent_dir_save(target.c_str()) != 0) state.SkipWithError("save failed");
        ours += seconds_since(t0);
        base += plain_write(plain, bytes, true);
    }
    zel_agent_dir_free();
    report(state, "MB/s", kFileBytes / 1e6, ours, base);
}
BENCHMARK(BM_SaveWithFlush)->Unit(benchmark::kMillisecond)->Iterations(10);

// zel_agent_dir_load into the existing directory (records, counts, index
// rebuild) against fread of the same file into a buffer. The index rebuild
// (clearing the previous entries and indexing every loaded slot) is timed on
// its own as well, to show what the file part of the load costs.
void BM_Load(benchmark::State& state) {
    Scratch scratch;
    fill_directory(3);
    std::string path = scratch.file("dir.zlag");
    zel_agent_dir_save(path.c_str());
    std::vector<unsigned char> buffer(static_cast<size_t>(kFileBytes));
    double ours = 0, base = 0, rebuild = 0;
    for (auto _ : state) {
        auto t0 = Clock::now();
        if (zel_agent_dir_load(path.c_str()) != 0 || zel::g_agent_dir->agent_count != kAgents) {
            state.SkipWithError("load failed");
        }
        ours += seconds_since(t0);
        t0 = Clock::now();
        zel::agent_dir_clear_index(*zel::g_agent_dir);
        zel::agent_dir_index_slots(*zel::g_agent_dir, kAgents);
        rebuild += seconds_since(t0);
        t0 = Clock::now();
        std::FILE* f = std::fopen(path.c_str(), "rb");
        size_t got = std::fread(buffer.data(), 1, buffer.size(), f);
        std::fclose(f);
        base += seconds_since(t0);
        if (got != buffer.size()) state.SkipWithError("read failed");
    }
    zel_agent_dir_free();
    report(state, "MB/s", kFileBytes / 1e6, ours, base);
    state.counters["rebuild_ms"] = 1e3 * rebuild / double(state.iterations());
    state.counters["ratio_without_rebuild"] = base / (ours - rebuild);
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
