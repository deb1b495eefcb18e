// zelset verify's work against reading the archive whole, on the terrain of
// 1,000,000 vertices (bench/terrain.h, 44 MB) with a warm cache, in one
// process: ogawa_open, every stored sample of every property of every object
// checked against its digest, ogawa_close; against fopen + fread of the whole
// file + fclose.
//
// The read goes into a block allocated once and kept: malloc maps a block
// this large afresh each time, and a new block's page faults would make most
// of the read's time (read_new_block_ms, the same read into a new block each
// time, shows how much). verify/read = our time / the read's (target at most
// 3), in wall-clock time and in process CPU time (verify/read_cpu).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ogawa_reader.h"
#include "paired_timing.h"
#include "support/test_support.h"
#include "terrain.h"

namespace {

// The stored samples checked, as zelset verify checks them; -1 when a read
// fails, properties do not decode or a sample does not match.
std::int64_t verify_every_sample(const std::string& path) {
    ogawa_archive_t archive;
    if (ogawa_open(path.c_str(), &archive) != 0) return -1;
    std::int64_t checked = 0;
    for (std::uint32_t o = 0; o < ogawa_object_count(&archive) && checked >= 0; ++o) {
        if (ogawa_decode_properties(&archive, o) != 0) checked = -1;
        for (std::uint32_t i = 0; i < ogawa_property_count(&archive, o) && checked >= 0; ++i) {
            ogawa_property_info_t p;
            if (ogawa_get_property(&archive, o, i, &p) != 0) checked = -1;
            if (checked < 0 || p.kind == 0) continue;
            checked = ogawa_verify_samples(&archive, o, i, nullptr, 0) == 0 ? checked + p.stored_count : -1;
        }
    }
    ogawa_close(&archive);
    return checked;
}

// The file's bytes into `into` (at least the file's size); the number read.
std::size_t read_whole(const std::string& path, unsigned char* into, std::size_t capacity) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return 0;
    std::size_t got = 0;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size >= 0 && static_cast<std::size_t>(size) <= capacity && std::fseek(f, 0, SEEK_SET) == 0) {
            got = std::fread(into, 1, static_cast<std::size_t>(size), f);
        }
    }
    std::fclose(f);
    benchmark::DoNotOptimize(into);
    return got;
}

// Mean seconds of `rounds` reads, each into a new block.
double read_into_new_blocks(const std::string& path, std::size_t bytes, int rounds) {
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        auto* block = static_cast<unsigned char*>(std::malloc(bytes));
        if (block) read_whole(path, block, bytes);
        std::free(block);
    }
    return std::chrono::duration<double>(Clock::now() - t0).count() / rounds;
}

void BM_VerifyAgainstWholeRead(benchmark::State& state) {
    zel_test::TempDir dir;
    const std::string path = dir.file("terrain.abc");
    const alembic_test::Bytes bytes = alembic_test::write_archive(terrain_scene(1000)).bytes;
    zel_test::write_file(path, bytes);
    std::vector<unsigned char> kept(bytes.size());
    std::int64_t checked = 0;
    std::size_t read = 0;
    const PairTimes t = time_pair(
        state, [&] { checked = verify_every_sample(path); },
        [&] { read = read_whole(path, kept.data(), kept.size()); });
    if (checked <= 0 || read != bytes.size()) state.SkipWithError("a read failed or a sample does not match");
    state.counters["verify_ms"] = 1e3 * t.ours_s;
    state.counters["read_ms"] = 1e3 * t.baseline_s;
    state.counters["verify/read"] = t.ours_s / t.baseline_s;
    state.counters["verify/read_cpu"] = t.ours_cpu_s / t.baseline_cpu_s;
    state.counters["verify_faults"] = t.ours_faults;
    state.counters["read_new_block_ms"] = 1e3 * read_into_new_blocks(path, bytes.size(), 5);
    state.counters["file_MB"] = double(bytes.size()) / 1e6;
    state.counters["samples"] = double(checked);
}
BENCHMARK(BM_VerifyAgainstWholeRead)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
