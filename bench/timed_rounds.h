// Rounds of one read in a figure process: one untimed read of the same files
// first, then timed reads, each after what the plan puts before it (the files
// evicted from the page cache, the foreign allocation pattern), neither of
// which is timed or counted.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive_reads.h"
#include "resident_memory.h"

namespace bench_rounds {

struct Plan {
    std::vector<std::string> evict;  // evicted before every timed read; empty: a warm cache
    bool foreign = false;            // foreign_allocations() before every timed read
    // Rounds until both minimums are reached, at most max_rounds.
    double min_seconds = 0.5;
    int min_rounds = 5;
    int max_rounds = 2000;
};

struct Rounds {
    std::vector<double> seconds;      // each timed read's wall time
    std::vector<double> cpu_seconds;  // and its process processor time, which a busy machine disturbs less
    double minor_faults = 0;      // per timed read
    double major_faults = 0;
    double first_seconds = 0;     // the untimed first read, as a host that reads once sees it
    double first_minor_faults = 0;
    double evicted_resident = 0;  // share of the evicted files' pages still cached before the first timed read
    bench_reads::ReadResult result;  // of the last read; ok only when every read succeeded alike

    double median_seconds() const { return median(seconds); }
    double median_cpu_seconds() const { return median(cpu_seconds); }
};

Rounds time_rounds(const Plan& plan, const std::function<bench_reads::ReadResult()>& read);

// Writes back the file's dirty pages, then drops its pages from the page
// cache (POSIX_FADV_DONTNEED). false when the file cannot be opened.
bool evict_from_page_cache(const std::string& file);

// The share of the file's pages in the page cache (mincore on a mapping).
double resident_share(const std::string& file);

// What another library of the host does between two reads: blocks of 64 KiB,
// 1 MiB and 8 MiB allocated, one byte written in each of their pages, freed
// in that order.
void foreign_allocations();

// The 1-minute load average.
double load_average();

inline std::uint64_t pages(std::uint64_t bytes) { return (bytes + 4095) / 4096; }

}  // namespace bench_rounds
