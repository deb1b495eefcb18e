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

// A terminated copy of text, cut to fit the field.
template <std::size_t N>
void copy_cut(char (&to)[N], const char* from) {
    std::size_t n = std::strlen(from);
    if (n > N - 1) n = N - 1;
    std::memcpy(to, from, n);
    to[n] = '\0';
}

}  // namespace zel
