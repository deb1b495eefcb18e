// Progress on standard error, stage by stage and item by item, written only
// when standard error is a terminal (never into a redirected log).
#pragma once

#include <cstdint>

namespace zelset_cli {

class Progress {
public:
    explicit Progress(bool quiet = false);  // quiet: nothing at all
    void stage(const char* what) const;
    // "  what i/n", rewritten in place; a newline after the last one.
    void step(const char* what, std::uint32_t i, std::uint32_t n) const;

private:
    bool enabled_;
};

}  // namespace zelset_cli
