// SPDX-License-Identifier: MIT
#pragma once

#include "panel/CollectionView.h"

#include <functional>

// The strip's scroll area: no scroll bars, and its own wheel mapping, where vertical wheel
// movement scrolls the strip sideways.
class PanelScrollView : public CollectionView {
public:
    explicit PanelScrollView(QWidget* parent = nullptr);

    bool isSearchExpanded = false;
    std::function<void()> onLoadMore; // called after every wheel event

    // The new left edge of the visible area for one wheel event. Deltas are notches for a wheel
    // (lineStep points each), or pixels when precise (touchpads); reverse flips the direction
    // ("reverseScrollDirection").
    static double scrolledX(double originX, double deltaX, double deltaY, bool precise, bool reverse, double lineStep,
                            double documentWidth, double clipWidth);

    void handleScrollWheel(double deltaX, double deltaY, bool precise);

protected:
    void wheelEvent(QWheelEvent* event) override;
};
