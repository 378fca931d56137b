#pragma once

// Naming and prioritising the program's own long-lived threads.

#include <cstdint>

namespace tamsel {

enum class ThreadQuality : std::uint8_t { userInteractive, userInitiated };

// For the calling thread. The name should stay within 15 bytes (Linux's
// limit); the quality is a hint that only macOS acts upon.
void configureCurrentThread(const char* name, ThreadQuality quality);

} // namespace tamsel
