#include "timed_rounds.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace bench_rounds {

namespace {

struct Faults {
    long minor = 0, major = 0;
};

Faults faults_now() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return {u.ru_minflt, u.ru_majflt};
}

bool same_read(const bench_reads::ReadResult& a, const bench_reads::ReadResult& b) {
    return a.ok && b.ok && a.items == b.items && a.array_bytes == b.array_bytes;
}

double process_cpu_seconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

}  // namespace


Rounds time_rounds(const Plan& plan, const std::function<bench_reads::ReadResult()>& read) {
    Rounds r;
    for (const std::string& f : plan.evict) evict_from_page_cache(f);
    const Faults before = faults_now();
    const auto start = std::chrono::steady_clock::now();
    const bench_reads::ReadResult first = read();
    r.first_seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.first_minor_faults = double(faults_now().minor - before.minor);
    if (!first.ok) return r;
    long minor = 0, major = 0;
    double total = 0;
    bool alike = true;
    while (static_cast<int>(r.seconds.size()) < plan.max_rounds &&
           (static_cast<int>(r.seconds.size()) < plan.min_rounds || total < plan.min_seconds)) {
        for (const std::string& f : plan.evict) evict_from_page_cache(f);
        if (r.seconds.empty()) {
            for (const std::string& f : plan.evict) r.evicted_resident += resident_share(f) / double(plan.evict.size());
        }
        if (plan.foreign) foreign_allocations();
        const Faults f0 = faults_now();
        const double c0 = process_cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        r.result = read();
        const auto t1 = std::chrono::steady_clock::now();
        r.cpu_seconds.push_back(process_cpu_seconds() - c0);
        const Faults f1 = faults_now();
        minor += f1.minor - f0.minor;
        major += f1.major - f0.major;
        r.seconds.push_back(std::chrono::duration<double>(t1 - t0).count());
        total += r.seconds.back();
        alike = alike && same_read(first, r.result);
    }
    r.result.ok = alike;
    r.minor_faults = double(minor) / double(r.seconds.size());
    r.major_faults = double(major) / double(r.seconds.size());
    return r;
}

bool evict_from_page_cache(const std::string& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    fdatasync(fd);
    const bool ok = posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(fd);
    return ok;
}

double resident_share(const std::string& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const auto size = static_cast<std::size_t>(std::max<off_t>(lseek(fd, 0, SEEK_END), 0));
    void* map = size > 0 ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (map == MAP_FAILED) return 0;
    // In pieces through a buffer on the stack: a figure process allocates
    // nothing large before its reads.
    constexpr std::size_t kPage = 4096, kPiece = 4096;
    unsigned char in_core[kPiece];
    std::size_t resident = 0, total = 0;
    for (std::size_t at = 0; at < size; at += kPiece * kPage) {
        const std::size_t bytes = std::min(size - at, kPiece * kPage);
        const std::size_t n = (bytes + kPage - 1) / kPage;
        if (mincore(static_cast<unsigned char*>(map) + at, bytes, in_core) != 0) break;
        for (std::size_t i = 0; i < n; ++i) resident += in_core[i] & 1;
        total += n;
    }
    munmap(map, size);
    return total ? double(resident) / double(total) : 0;
}

void foreign_allocations() {
    constexpr std::size_t kSizes[] = {64 << 10, 1 << 20, 8 << 20};
    volatile unsigned char* blocks[3];
    for (int i = 0; i < 3; ++i) {
        blocks[i] = static_cast<volatile unsigned char*>(std::malloc(kSizes[i]));
        if (!blocks[i]) std::abort();
        for (std::size_t at = 0; at < kSizes[i]; at += 4096) blocks[i][at] = 1;
    }
    for (volatile unsigned char* b : blocks) std::free(const_cast<unsigned char*>(b));
}

double load_average() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

}  // namespace bench_rounds
