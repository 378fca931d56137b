#pragma once

// Whether the system lets this process watch and synthesise keyboard events.

namespace tamsel {

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Cheap enough to call on every permission check; any thread.
    virtual bool isProcessTrusted() = 0;
};

} // namespace tamsel
