#pragma once

// The kernel's short name of a process, for processes that are not applications.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tamsel {

class ProcessNames {
public:
    virtual ~ProcessNames() = default;
    // What the kernel wrote into a zero-filled buffer of bufferSize bytes, cut to
    // the length it reported; empty when it reported none.
    static constexpr std::size_t bufferSize = 1024;
    virtual std::string processName(std::int32_t processIdentifier) = 0;
};

} // namespace tamsel
