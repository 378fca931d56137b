#pragma once

// Whether the system lets this process watch and synthesise keyboard events.

namespace tamsel {

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Cheap enough to call on every permission check; any thread.
    virtual bool isProcessTrusted() = 0;
    // Asks the system to show its own request for the permission, where it has one.
    virtual void promptForTrust() = 0;
};

} // namespace tamsel
