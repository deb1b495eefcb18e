// Runs this program again as a child process with other arguments: what the
// benchmarks do to measure a figure, or to write a scene, in a process of its
// own.
#pragma once

#include <string>
#include <vector>

namespace bench_process {

struct Finished {
    bool ok = false;     // ran and exited with status 0
    std::string output;  // what it printed on its standard output
    std::string error;   // why it could not run, or how it ended
};

Finished run_self(const std::vector<std::string>& args);

}  // namespace bench_process
