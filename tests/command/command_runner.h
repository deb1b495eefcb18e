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

CommandRun run_zelset(const std::vector<std::string>& args, const TempDir& scratch);

}  // namespace zel_test
