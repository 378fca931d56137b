#pragma once

// A broken property must stop the fuzzer with a finding, in every build type.

#include <cstdio>
#include <cstdlib>

namespace tamsel::fuzz {

inline void check(bool holds, const char* property) {
    if (!holds) {
        std::fprintf(stderr, "property broken: %s\n", property);
        std::abort();
    }
}

} // namespace tamsel::fuzz
