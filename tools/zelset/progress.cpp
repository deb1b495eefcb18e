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

namespace {

constexpr std::chrono::seconds kQuietStart{1};
constexpr std::chrono::milliseconds kStepInterval{100};

}  // namespace

Progress::Progress(bool quiet)
    : enabled_(!quiet && ZEL_ISATTY(ZEL_FILENO(stderr)) != 0), start_(Clock::now()) {}

bool Progress::showing(Clock::time_point now) const {
    if (now - start_ < kQuietStart) return false;
    if (!pending_stage_.empty()) {
        end_step_line();
        std::fprintf(stderr, "zelset: %s\n", pending_stage_.c_str());
        pending_stage_.clear();
    }
    return true;
}

void Progress::end_step_line() const {
    if (step_line_open_) std::fprintf(stderr, "\n");
    step_line_open_ = false;
}

void Progress::stage(const char* what) const {
    if (!enabled_) return;
    pending_stage_ = what;
    showing(Clock::now());
}

void Progress::step(const char* what, std::uint32_t i, std::uint32_t n) const {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    const bool last = i + 1 == n;
    if (!showing(now) || (!last && now - last_step_ < kStepInterval)) return;
    last_step_ = now;
    std::fprintf(stderr, "\r  %s %u/%u", what, i + 1, n);
    step_line_open_ = true;
    if (last) end_step_line();
    std::fflush(stderr);
}

}  // namespace zelset_cli
