// Runs the built zelset command through the shell, as a user does, with its
// standard output and error redirected to files; the same code runs the
// Windows build under Wine. ZEL_COMMAND names the built command.
#pragma once

#include <string>
#include <vector>

#include "support/test_support.h"

namespace zel_test {

struct CommandRun {
    int exit_code = -1;
    std::string out, err;
    // The error output is exactly one line.
    bool one_error_line() const;
};

// Runs zelset with args; its outputs are caught in files of scratch (each run
// its own, so runs may overlap). stdout_to, when given, receives standard
// output instead (out stays empty).
CommandRun run_zelset(const std::vector<std::string>& args, const TempDir& scratch,
                      const std::string& stdout_to = "");

// A conversion into a file of work, with its run.
struct Converted {
    std::string path;
    CommandRun run;
};
Converted convert(const TempDir& work, const std::string& input, const std::string& out_name,
                  std::vector<std::string> options = {});

// How many entries a directory holds.
std::size_t files_in(const TempDir& dir);

}  // namespace zel_test
