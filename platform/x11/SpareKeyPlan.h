#pragma once

// Which spare keycode holds which character while a text is typed.
//
// A plain Xlib client refetches the keymap at its first key lookup after a
// keymap change, in a round trip; a change it reads during that round trip is
// noted and then forgotten, and that keycode keeps its old character for good.
// So changes must never be interleaved with keys a client may still be looking
// up. The text is cut into runs that need no more characters than there are
// spares; every spare a run needs is mapped before the run's first key, and
// the keyboard waits for the previous run's keys to be read before it does.
// Pure: no connection needed.

#include <cstddef>
#include <vector>

namespace tamsel {

class SpareKeyPlan {
public:
    struct Remap {
        std::size_t spare = 0; // index into the spares given
        unsigned long keysym = 0;
    };
    struct Run {
        std::size_t end = 0; // one past the run's last character
        // Mapped before the run's first key; empty when the spares already
        // hold what the run needs.
        std::vector<Remap> remaps;
    };

    // `keysyms`: one per character, 0 for a character that needs no spare
    // (the layout types it). `spares`: what each spare holds now, 0 for
    // nothing. Runs cover the text in order. Without spares, one run with no
    // remaps: no character that needs one can be typed.
    static std::vector<Run> make(const std::vector<unsigned long>& keysyms,
                                 std::vector<unsigned long> spares);
};

} // namespace tamsel
