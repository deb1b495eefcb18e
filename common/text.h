// Fixed-size text fields of the public records.
#pragma once

#include <cstddef>
#include <cstring>

namespace zel {

// A terminated copy of a field that its writer may have filled to the last
// byte without a terminator.
template <std::size_t N>
void copy_terminated(char (&to)[N], const char (&from)[N]) {
    std::memcpy(to, from, N - 1);
    to[N - 1] = '\0';
}

}  // namespace zel
