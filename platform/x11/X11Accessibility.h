#pragma once

// Under X11 nothing asks the user for a permission: keys can be watched and
// typed whenever the display is reachable and has XTEST.

#include <string>

#include "platform/Accessibility.h"

namespace tamsel {

class X11Accessibility final : public Accessibility {
public:
    struct Probe {
        bool displayReachable = false;
        bool hasXTest = false;
        bool granted() const { return displayReachable && hasXTest; }
    };
    // Opens and closes a connection of its own.
    static Probe probe();

    explicit X11Accessibility(Probe probe) : probe_(probe) {}
    bool isProcessTrusted() override { return probe_.granted(); }
    void promptForTrust() override {} // there is no permission to ask for
    const Probe& lastProbe() const { return probe_; }

private:
    Probe probe_;
};

} // namespace tamsel
