// SPDX-License-Identifier: MIT
#pragma once

// Whether a compositing manager draws the desktop, so that see-through window pixels show what
// lies behind. Without one, a window's transparent pixels come out black.
namespace Compositing {

// Main thread. False without a compositor and where it cannot be told (no X display).
bool isActive();

} // namespace Compositing
