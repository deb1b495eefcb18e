// Our code and its baseline run alternately in one process, each once a
// round: their mean wall-clock and process CPU times and our minor page
// faults per run. CPU time is what a busy shared machine disturbs less.
#pragma once

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>

#include <chrono>

using Clock = std::chrono::steady_clock;

inline double cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

inline long minor_faults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

// Means per run.
struct PairTimes {
    double ours_s = 0, baseline_s = 0;
    double ours_cpu_s = 0, baseline_cpu_s = 0;
    double ours_faults = 0;
};

template <class Ours, class Baseline>
PairTimes time_pair(benchmark::State& state, Ours&& ours, Baseline&& baseline) {
    PairTimes t;
    long faults = 0;
    for (auto _ : state) {
        const double c0 = cpu_seconds();
        const long f0 = minor_faults();
        const auto t0 = Clock::now();
        ours();
        const auto t1 = Clock::now();
        faults += minor_faults() - f0;
        const double c1 = cpu_seconds();
        baseline();
        const auto t2 = Clock::now();
        const double c2 = cpu_seconds();
        t.ours_s += std::chrono::duration<double>(t1 - t0).count();
        t.baseline_s += std::chrono::duration<double>(t2 - t1).count();
        t.ours_cpu_s += c1 - c0;
        t.baseline_cpu_s += c2 - c1;
    }
    const double n = double(state.iterations());
    t.ours_s /= n;
    t.baseline_s /= n;
    t.ours_cpu_s /= n;
    t.baseline_cpu_s /= n;
    t.ours_faults = double(faults) / n;
    return t;
}
