// Figures measured each in a process of its own, whose allocator is as a
// fresh process has it: the benchmark program runs itself again with
// --figure for every figure and reads back what that process prints.
#pragma once

#include <map>
#include <string>

namespace bench_figures {

// What one figure process reads and how (bench/figure_process.cpp lists the
// modes).
struct Request {
    std::string mode;
    std::string archive;
    std::string mesh_path;  // the mesh of "path" and "samples"
    bool evicted = false;   // the archive evicted from the page cache before every timed read
    bool foreign = false;   // the foreign allocation pattern before every timed read
    unsigned threads = 1;   // "threads": archive handles, one a thread
};

// name -> value: "ms" (median wall time of a read), "faults" (minor page
// faults a read), "array_pages", "faults_beyond_arrays", "items", ...
using Figures = std::map<std::string, double>;

struct Outcome {
    Figures figures;
    std::string error;  // empty when the process measured its figure
};

Outcome measure_in_fresh_process(const Request& request);

// Called first in main: when the arguments ask for a figure, measures it in
// this process, prints it for the parent and returns true with the exit
// status in *status.
bool run_figure_if_asked(int argc, char** argv, int* status);

}  // namespace bench_figures
