// How the command fails: one line in plain words naming the file (exit 1), or
// a usage error (the usage, exit 2).
#pragma once

#include <initializer_list>
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

// The command line does not fit the subcommand; message says why.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ": REASON" with the system's words for errno, or "" when errno is 0. Call it
// right after the failed call, before anything else can change errno.
std::string os_reason();

// What a library status means, in words; with_os_reason appends os_reason().
struct StatusWords {
    int status;
    const char* words;
    bool with_os_reason = false;
};

// A failed library call on file as one line: the words the table gives for
// status (or otherwise), the system's reason where it applies, and the status
// in brackets. errno must still be the call's.
Failure status_failure(const std::string& file, int status, std::initializer_list<StatusWords> table,
                       const char* otherwise);

}  // namespace zelset_cli
