#include "figure_process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <sstream>
#include <vector>

#include "archive_reads.h"
#include "ogawa_payloads.h"
#include "self_process.h"
#include "timed_rounds.h"

namespace bench_figures {

namespace {

constexpr const char* kFlag = "--figure";

using Read = std::function<bench_reads::ReadResult()>;

// The read of each mode; false for an unknown mode, or payloads not found.
// The pread modes read the payloads that every_sample and by_frame hand out,
// located (and checked against the reader) before anything is timed.
bool read_of(const Request& q, Read* read, std::vector<bench_ogawa::MeshPayloads>* payloads) {
    using namespace bench_reads;
    const char* file = q.archive.c_str();
    const char* path = q.mesh_path.c_str();
    const std::string& m = q.mode;
    if (m == "first") {
        *read = [=] { return first_mesh(file); };
    } else if (m == "path") {
        *read = [=] { return mesh_by_path(file, path); };
    } else if (m == "samples") {
        *read = [=] { return samples_of_mesh(file, path); };
    } else if (m == "tree") {
        *read = [=] { return tree(file); };
    } else if (m == "every_mesh") {
        *read = [=] { return sample0_of_every_mesh(file); };
    } else if (m == "every_sample" || m == "by_frame") {
        const Order order = m == "every_sample" ? Order::kMeshByMesh : Order::kFrameByFrame;
        *read = [=] { return every_sample(file, order); };
    } else if (m == "threads") {
        const unsigned threads = q.threads;
        *read = [=] { return every_sample_threads(file, threads); };
    } else if (m == "pread_every_sample" || m == "pread_by_frame") {
        *payloads = bench_ogawa::mesh_payloads(q.archive);
        if (payloads->empty()) return false;
        // The bytes located are those the reader hands out.
        const bench_ogawa::MeshPayloads& last = payloads->back();
        if (!bench_ogawa::matches_reader(q.archive, last, last.sample_count - 1)) return false;
        std::uint64_t samples = 0;
        for (const auto& mesh : *payloads) samples += mesh.sample_count;
        const auto order = m == "pread_every_sample" ? bench_ogawa::SampleOrder::kMeshByMesh
                                                     : bench_ogawa::SampleOrder::kFrameByFrame;
        *read = [=, &q] {
            const std::uint64_t bytes = bench_ogawa::pread_every_sample(q.archive, *payloads, order);
            return ReadResult{bytes > 0, samples, bytes};
        };
    } else {
        return false;
    }
    return true;
}

int measure_here(const Request& q) {
    Read read;
    std::vector<bench_ogawa::MeshPayloads> payloads;
    if (!read_of(q, &read, &payloads)) {
        std::printf("error unknown mode %s, or no payloads located that the reader hands out\n", q.mode.c_str());
        return 2;
    }
    bench_rounds::Plan plan;
    if (q.evicted) plan.evict = {q.archive};
    plan.foreign = q.foreign;
    const bench_rounds::Rounds r = bench_rounds::time_rounds(plan, read);
    if (!r.result.ok || r.seconds.empty()) {
        std::printf("error the %s read of %s failed or read differently\n", q.mode.c_str(), q.archive.c_str());
        return 1;
    }
    const double s = r.median_seconds();
    const double items = double(r.result.items);
    const double array_pages = double(bench_rounds::pages(r.result.array_bytes));
    double mean = 0;
    for (double t : r.seconds) mean += t / double(r.seconds.size());
    const Figures f = {
        {"ms", 1e3 * s},
        {"mean_ms", 1e3 * mean},
        {"cpu_ms", 1e3 * r.median_cpu_seconds()},
        {"us_per_item", 1e6 * s / items},
        {"items", items},
        {"array_MB_per_s", double(r.result.array_bytes) / s / 1e6},
        {"faults", r.minor_faults},
        {"major_faults", r.major_faults},
        {"array_pages", array_pages},
        {"rounds", double(r.seconds.size())},
        {"first_read_ms", 1e3 * r.first_seconds},
        {"first_read_faults", r.first_minor_faults},
        {"load", bench_rounds::load_average()},
    };
    for (const auto& [name, value] : f) std::printf("%s %.17g\n", name.c_str(), value);
    // Of a read of one mesh sample: the faults beyond those its arrays need.
    if (r.result.items == 1) std::printf("faults_beyond_arrays %.17g\n", r.minor_faults - array_pages);
    if (q.evicted) std::printf("evicted_resident %.17g\n", r.evicted_resident);
    return 0;
}

std::vector<std::string> arguments(const Request& q) {
    return {kFlag,           q.mode, q.archive, q.mesh_path.empty() ? "-" : q.mesh_path, q.evicted ? "1" : "0",
            q.foreign ? "1" : "0", std::to_string(q.threads)};
}

Outcome parse(const std::string& text) {
    Outcome out;
    std::istringstream lines(text);
    std::string name;
    while (lines >> name) {
        if (name == "error") {
            std::getline(lines, out.error);
            continue;
        }
        double value = 0;
        if (!(lines >> value)) {
            out.error = "unreadable figure " + name;
            break;
        }
        out.figures[name] = value;
    }
    if (out.figures.empty() && out.error.empty()) out.error = "the figure process printed nothing";
    return out;
}

}  // namespace

Outcome measure_in_fresh_process(const Request& request) {
    const bench_process::Finished run = bench_process::run_self(arguments(request));
    Outcome o = parse(run.output);
    if (o.error.empty() && !run.ok) o.error = "the figure process " + run.error;
    return o;
}

bool run_figure_if_asked(int argc, char** argv, int* status) {
    if (argc < 2 || std::strcmp(argv[1], kFlag) != 0) return false;
    if (argc != 8) {
        std::printf("error usage: %s MODE ARCHIVE MESH_PATH|- EVICTED FOREIGN THREADS\n", kFlag);
        *status = 2;
        return true;
    }
    Request q;
    q.mode = argv[2];
    q.archive = argv[3];
    q.mesh_path = std::strcmp(argv[4], "-") == 0 ? "" : argv[4];
    q.evicted = std::strcmp(argv[5], "1") == 0;
    q.foreign = std::strcmp(argv[6], "1") == 0;
    q.threads = static_cast<unsigned>(std::strtoul(argv[7], nullptr, 10));
    *status = measure_here(q);
    std::fflush(stdout);
    return true;
}

}  // namespace bench_figures
