#include "standard_output.h"

#include <cerrno>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "failure.h"

namespace zelset_cli {

namespace {

const char* const kStandardOutput = "standard output";

}  // namespace

void print(const std::string& text) { print_bytes(text.data(), text.size()); }

void print_bytes(const char* data, std::size_t size) {
    errno = 0;
    if (std::fwrite(data, 1, size, stdout) != size || std::fflush(stdout) != 0) {
        throw Failure(kStandardOutput, "cannot write" + os_reason());
    }
}

void use_binary_standard_output() {
#ifdef _WIN32
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
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
