// Lookups in units of 1,000,000 and 10,000,000 tokens of distinct random keys
// and ids: 2,000,000 questions in random order, a tenth of them absent, by key
// and by id, one call per lookup and one bulk call for all of them, against
// absl::flat_hash_map (where the build found Abseil) and std::unordered_map
// holding the same words with the same positions. All answers are checked
// against each other, and every token of the unit is looked up once by key
// and once by id. Ratios are the map's time over ours (above 1: we are
// faster). Each timed part starts with the caches emptied. Memory: the bytes a token of the index a lookup walks (its entries
// and bucket heads), and the bytes a word of each map (their allocations,
// counted).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

#if ZEL_BENCH_HAVE_ABSL
#include <absl/container/flat_hash_map.h>
#endif

#include "bench_unit.h"
#include "zelset.h"

namespace {

constexpr uint32_t kQuestions = 2'000'000;

const BenchUnit& unit_of(uint32_t tokens) {
    static std::unique_ptr<BenchUnit> million, ten_million;
    std::unique_ptr<BenchUnit>& slot = tokens == 1'000'000 ? million : ten_million;
    if (!slot) slot = std::make_unique<BenchUnit>(distinct_random_keys(tokens, tokens), 2);
    return *slot;
}

// Bytes allocated through it, for the memory of the maps.
std::atomic<size_t> g_map_bytes{0};
template <class T>
struct CountingAllocator {
    using value_type = T;
    CountingAllocator() = default;
    template <class U>
    CountingAllocator(const CountingAllocator<U>&) {}
    T* allocate(size_t n) {
        g_map_bytes += n * sizeof(T);
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) {
        g_map_bytes -= n * sizeof(T);
        std::allocator<T>().deallocate(p, n);
    }
    template <class U>
    bool operator==(const CountingAllocator<U>&) const { return true; }
};

using Entry = std::pair<const uint64_t, uint32_t>;
using UnorderedMap =
    std::unordered_map<uint64_t, uint32_t, std::hash<uint64_t>, std::equal_to<uint64_t>, CountingAllocator<Entry>>;
#if ZEL_BENCH_HAVE_ABSL
using AbslMap = absl::flat_hash_map<uint64_t, uint32_t, absl::Hash<uint64_t>, std::equal_to<uint64_t>,
                                    CountingAllocator<Entry>>;
#endif

// The words of the unit with their positions, and the bytes a word it took.
template <class Map>
Map map_of(const std::vector<uint64_t>& words, double* bytes_per_word) {
    const size_t before = g_map_bytes;
    Map map;
    map.reserve(words.size());
    for (uint32_t i = 0; i < words.size(); ++i) map.emplace(words[i], i);
    *bytes_per_word = double(g_map_bytes - before) / double(words.size());
    return map;
}

// kQuestions words: held ones at random positions and a tenth that the unit
// does not hold (absent keys at random, absent ids made as the held ones are,
// from numbers no token took), shuffled.
std::vector<uint64_t> questions_for(const BenchUnit& bench, const UnorderedMap& held, bool by_id) {
    const std::vector<uint64_t>& words = by_id ? bench.ids : bench.mortons;
    std::mt19937_64 rng(3);
    std::vector<uint64_t> questions;
    for (uint32_t i = 0; i < kQuestions / 10 * 9; ++i) questions.push_back(words[rng() % words.size()]);
    for (uint32_t i = 0; questions.size() < kQuestions; ++i) {
        const uint64_t word = by_id ? bench_id(static_cast<uint32_t>(words.size()) + i, bench.seed) : rng();
        if (!held.count(word)) questions.push_back(word);
    }
    std::shuffle(questions.begin(), questions.end(), rng);
    return questions;
}

// Reads a block larger than the last-level cache, so that every timed part
// starts with the others' data, and its own, out of the cache.
void evict_caches() {
    static std::vector<unsigned char> block(384u << 20, 1);
    unsigned sum = 0;
    for (size_t i = 0; i < block.size(); i += 64) sum += block[i];
    benchmark::DoNotOptimize(sum);
}

template <class Map>
void map_lookups(const Map& map, const std::vector<uint64_t>& questions, std::vector<int32_t>& out) {
    for (size_t i = 0; i < questions.size(); ++i) {
        auto it = map.find(questions[i]);
        out[i] = it == map.end() ? -1 : static_cast<int32_t>(it->second);
    }
}

// How many of the unit's tokens a bulk lookup of all their words finds at
// their own positions.
uint32_t found_at_own_positions(const BenchUnit& bench, bool by_id) {
    const std::vector<uint64_t>& words = by_id ? bench.ids : bench.mortons;
    const auto n = static_cast<uint32_t>(words.size());
    std::vector<int32_t> positions(n);
    if (by_id) {
        zelset_lookup_hex_many(&bench.unit, words.data(), n, positions.data());
    } else {
        zelset_lookup_morton_many(&bench.unit, words.data(), n, positions.data());
    }
    uint32_t found = 0;
    for (uint32_t i = 0; i < n; ++i) found += positions[i] == static_cast<int32_t>(i);
    return found;
}

void lookups_against_maps(benchmark::State& state, bool by_id) {
    const BenchUnit& bench = unit_of(static_cast<uint32_t>(state.range(0)));
    if (!bench.ok) return state.SkipWithError("zelset_create failed");
    const std::vector<uint64_t>& words = by_id ? bench.ids : bench.mortons;
    double unordered_bytes = 0;
    const UnorderedMap unordered = map_of<UnorderedMap>(words, &unordered_bytes);
    const std::vector<uint64_t> questions = questions_for(bench, unordered, by_id);
    const auto n = static_cast<uint32_t>(questions.size());
#if ZEL_BENCH_HAVE_ABSL
    double absl_bytes = 0;
    const AbslMap absl_map = map_of<AbslMap>(words, &absl_bytes);
#endif

    std::vector<int32_t> single(n), bulk(n), from_unordered(n), from_absl(n);
    double single_s = 0, bulk_s = 0, unordered_s = 0, absl_s = 0;
    for (auto _ : state) {
        evict_caches();
        double t0 = cpu_now();
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t& q = questions[i];
            single[i] = by_id ? zelset_lookup_hex(&bench.unit, reinterpret_cast<const char*>(&q))
                              : zelset_lookup_morton(&bench.unit, q);
        }
        single_s += seconds_since(t0);
        evict_caches();
        t0 = cpu_now();
        if (by_id) {
            zelset_lookup_hex_many(&bench.unit, questions.data(), n, bulk.data());
        } else {
            zelset_lookup_morton_many(&bench.unit, questions.data(), n, bulk.data());
        }
        bulk_s += seconds_since(t0);
        evict_caches();
        t0 = cpu_now();
        map_lookups(unordered, questions, from_unordered);
        unordered_s += seconds_since(t0);
#if ZEL_BENCH_HAVE_ABSL
        evict_caches();
        t0 = cpu_now();
        map_lookups(absl_map, questions, from_absl);
        absl_s += seconds_since(t0);
#endif
        benchmark::ClobberMemory();
    }
    if (single != bulk) return state.SkipWithError("bulk lookups differ from single ones");
    if (single != from_unordered) return state.SkipWithError("lookups disagree with std::unordered_map");
#if ZEL_BENCH_HAVE_ABSL
    if (single != from_absl) return state.SkipWithError("lookups disagree with absl::flat_hash_map");
#endif
    const uint32_t found = found_at_own_positions(bench, by_id);
    if (found != words.size()) return state.SkipWithError("tokens of the unit not found at their positions");

    const double lookups = double(n) * double(state.iterations());
    state.counters["single_Mlookups/s"] = lookups / single_s / 1e6;
    state.counters["bulk_Mlookups/s"] = lookups / bulk_s / 1e6;
    state.counters["umap_Mlookups/s"] = lookups / unordered_s / 1e6;
    state.counters["umap/single"] = unordered_s / single_s;
    state.counters["umap/bulk"] = unordered_s / bulk_s;
    state.counters["umap_B/word"] = unordered_bytes;
#if ZEL_BENCH_HAVE_ABSL
    state.counters["absl_Mlookups/s"] = lookups / absl_s / 1e6;
    state.counters["absl/single"] = absl_s / single_s;
    state.counters["absl/bulk"] = absl_s / bulk_s;
    state.counters["absl_B/word"] = absl_bytes;
#endif
    state.counters["tokens_found"] = found;
    const double index_bytes = double(sizeof(zel_hash_entry_t)) * bench.unit.count + 4.0 * ZEL_HASH_BUCKETS;
    state.counters["index_B/token"] = index_bytes / bench.unit.count;
}

void BM_LookupByKey(benchmark::State& state) { lookups_against_maps(state, false); }
void BM_LookupById(benchmark::State& state) { lookups_against_maps(state, true); }
BENCHMARK(BM_LookupByKey)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_LookupById)->Arg(1'000'000)->Arg(10'000'000)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
