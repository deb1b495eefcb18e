// Files that count their records in the header (unit files, agent
// directories): the library loads the whole records a file holds, and the
// command refuses a file cut short instead of reporting what is left of it.
#pragma once

#include <cstdint>
#include <string>

#include "failure.h"
#include "zelset.h"

namespace zelset_cli {

// "cut short: its header says 2009 tokens, the file holds 1004".
Failure cut_short(const std::string& path, std::uint32_t claimed, std::uint32_t held, const char* records);

// A unit file loaded through the library, released on every path. Throws
// Failure in words when the file cannot be read, is no unit file, or holds
// fewer tokens than its header says.
class Unit {
public:
    explicit Unit(const std::string& path);
    ~Unit() { zelset_free(&unit_); }
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;
    const zelset_t* get() const { return &unit_; }

private:
    // The constructor's way out: nothing stays loaded.
    [[noreturn]] void release_and_throw(const Failure& failure);

    zelset_t unit_{};
};

}  // namespace zelset_cli
