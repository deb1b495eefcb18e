#include "standard_output.h"

#include <cerrno>
#include <cstdio>

#include "failure.h"

namespace zelset_cli {

namespace {

const char* const kStandardOutput = "standard output";

}  // namespace

void print(const std::string& text) {
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        throw Failure(kStandardOutput, "cannot write" + os_reason());
    }
}

int finish_standard_output(int exit_code) {
    errno = 0;
    bool lost = std::ferror(stdout) != 0;
    bool closed = std::fclose(stdout) == 0;
    // A command that failed has said so already, in one line.
    if ((lost || !closed) && exit_code == kExitOk) {
        std::fprintf(stderr, "zelset: %s: cannot write%s\n", kStandardOutput, os_reason().c_str());
        return kExitFailure;
    }
    return exit_code;
}

}  // namespace zelset_cli
