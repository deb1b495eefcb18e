#include "progress.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#define ZEL_ISATTY _isatty
#define ZEL_FILENO _fileno
#else
#include <unistd.h>
#define ZEL_ISATTY isatty
#define ZEL_FILENO fileno
#endif

namespace zelset_cli {

Progress::Progress(bool quiet) : enabled_(!quiet && ZEL_ISATTY(ZEL_FILENO(stderr)) != 0) {}

void Progress::stage(const char* what) const {
    if (enabled_) std::fprintf(stderr, "zelset: %s\n", what);
}

void Progress::step(const char* what, std::uint32_t i, std::uint32_t n) const {
    if (!enabled_) return;
    std::fprintf(stderr, "\r  %s %u/%u", what, i + 1, n);
    if (i + 1 == n) std::fprintf(stderr, "\n");
    std::fflush(stderr);
}

}  // namespace zelset_cli
