// How the command fails: a failed call on a file (one line, exit 1), a usage
// error (the usage, exit 2), or a refusal stated in words (one line, exit 1).
#pragma once

#include <stdexcept>
#include <string>

namespace zelset_cli {

enum ExitCode : int { kExitOk = 0, kExitFailure = 1, kExitUsage = 2 };

// One line on standard error: "zelset: FILE: MESSAGE".
class Failure : public std::runtime_error {
public:
    Failure(const std::string& file, const std::string& message)
        : std::runtime_error(file + ": " + message) {}
};

// A library call on file returned status.
inline Failure call_failed(const std::string& file, const char* call, long long status) {
    return Failure(file, std::string(call) + " failed (status " + std::to_string(status) + ")");
}

// The command line does not fit the subcommand; message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace zelset_cli
