// SPDX-License-Identifier: MIT
#include "panel/PanelScrollView.h"

#include "common/AppNames.h"
#include "platform/UserDefaults.h"

#include <QWheelEvent>

#include <cmath>

PanelScrollView::PanelScrollView(QWidget* parent) : CollectionView(parent) {
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    setFrameShape(QFrame::NoFrame);
}

double PanelScrollView::scrolledX(double originX, double deltaX, double deltaY, bool precise, bool reverse,
                                  double lineStep, double documentWidth, double clipWidth) {
    const double factor = reverse ? -1.0 : 1.0;
    const double dx = deltaX * factor;
    const double dy = deltaY * factor;
    const double multiplier = precise ? 2.5 : lineStep;
    const double change = std::abs(dy) < std::abs(dx) ? -(dx * multiplier) : dy * multiplier;
    double x = originX + change;
    if (std::isnan(x) || x < 0)
        x = 0;
    const double maxX = std::max(0.0, documentWidth - clipWidth);
    if (x > maxX)
        x = maxX;
    return x;
}

void PanelScrollView::handleScrollWheel(double deltaX, double deltaY, bool precise) {
    const bool reverse = UserDefaults::standard().boolean(DefaultsKeys::reverseScrollDirection);
    // One wheel notch moves the strip by one card.
    const double lineStep = flowLayout().itemSize.width() + flowLayout().spacing;
    const double x =
        scrolledX(contentOffset(), deltaX, deltaY, precise, reverse, lineStep, contentWidth(), viewportWidth());
    setContentOffset(static_cast<int>(std::lround(x)));
    if (onLoadMore)
        onLoadMore();
}

void PanelScrollView::wheelEvent(QWheelEvent* event) {
    // Qt reports wheel-down and wheel-right as negative deltas and moves its own lists forward on
    // both; the mapping above moves forward on a positive vertical delta, so the vertical sign flips.
    // A high-resolution wheel sends fractions of a notch (of 120).
    const QPoint pixels = event->pixelDelta();
    if (!pixels.isNull())
        handleScrollWheel(pixels.x(), -pixels.y(), true);
    else
        handleScrollWheel(event->angleDelta().x() / 120.0, -event->angleDelta().y() / 120.0, false);
    event->accept();
}
