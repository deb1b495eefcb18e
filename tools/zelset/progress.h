// Progress on standard error, stage by stage and item by item, written only
// when standard error is a terminal (never into a redirected log), and only
// once the work has taken a second: quick commands say nothing of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zelset_cli {

class Progress {
public:
    explicit Progress(bool quiet = false);  // quiet: nothing at all
    // "zelset: what"; a stage begun within the first second is shown when
    // the second has passed and it is still the latest.
    void stage(const char* what) const;
    // "  what i/n", rewritten in place at most ten times a second; a newline
    // after the last one.
    void step(const char* what, std::uint32_t i, std::uint32_t n) const;

private:
    using Clock = std::chrono::steady_clock;
    bool showing(Clock::time_point now) const;
    void end_step_line() const;

    bool enabled_;
    Clock::time_point start_;
    mutable std::string pending_stage_;
    mutable Clock::time_point last_step_{};
    mutable bool step_line_open_ = false;
};

}  // namespace zelset_cli
