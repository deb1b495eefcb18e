// Resident memory of the process and processor-time medians, for the
// benchmarks of small builds.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// Bytes of the process resident now, from /proc/self/statm (Linux).
inline double resident_bytes() {
    long pages_total = 0, pages_resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages_total, &pages_resident) != 2) pages_resident = 0;
        std::fclose(f);
    }
    return double(pages_resident) * double(sysconf(_SC_PAGESIZE));
}

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}
