// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>

// How much of a top-level window the user can see: the part inside the screen that no window
// stacked above it covers. Reads the X stacking order on Qt's own connection (main thread).
struct WindowVisibility {
    bool known = false; // false where there is no X display (offscreen): nothing can be said
    bool viewable = false;
    qint64 onScreenArea = 0;  // pixels of the judged area inside the root window
    qint64 uncoveredArea = 0; // of those, the pixels no viewable window above the window covers

    // Mapped, on screen, and at least half of what is on screen not covered.
    bool mostlyUncovered() const { return viewable && onScreenArea > 0 && 2 * uncoveredArea >= onScreenArea; }
};

namespace X11WindowStacking {
// area: the part of the screen to judge, in root coordinates (a window sliding in is judged where it
// comes to rest); empty means the window's own frame.
WindowVisibility visibility(quintptr window, const QRect& area = QRect());
} // namespace X11WindowStacking
