// Makes the nth allocation of the library fail while the guard lives (test
// builds of the library only).
#pragma once

#include <cstdint>

#include "common/alloc.h"

namespace zel_test {

class FailNthAllocation {
public:
    explicit FailNthAllocation(std::uint64_t nth) { zel::alloc_fail_nth(nth); }
    ~FailNthAllocation() { zel::alloc_fail_nth(0); }
    FailNthAllocation(const FailNthAllocation&) = delete;
    FailNthAllocation& operator=(const FailNthAllocation&) = delete;
    // True when the armed failure happened.
    bool fired() const { return !zel::alloc_failure_pending(); }
};

}  // namespace zel_test
