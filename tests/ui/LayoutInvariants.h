#pragma once

// What every window of ours must hold after any change, checked on the live
// widget tree: nothing sticks out of its parent, no text is cut without an
// ellipsis and a tooltip, and every control that takes keyboard focus shows
// that it has it. Each check returns one line per fault, naming the widget.

#include <string>
#include <vector>

class QWidget;

namespace tamsel::testing {

using Faults = std::vector<std::string>;

// A readable path to the widget: class and object names from the window down.
std::string describe(const QWidget* widget);

// Visible children inside their parents (scrolled content may be taller than
// its viewport, never wider when the area does not scroll sideways); labels
// whose text fits, wraps into the height it has, or is elided with the whole
// text in the tooltip; buttons at least as large as their text needs.
Faults geometryFaults(const QWidget* root);

// Gives keyboard focus to each focusable, visible, enabled control under
// `root` in turn and compares its picture with and without focus. The window
// is activated first; focus is left on the last control checked.
Faults focusFaults(QWidget* root);

// Both of the above.
Faults layoutFaults(QWidget* root);

} // namespace tamsel::testing
