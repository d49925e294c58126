// SPDX-License-Identifier: MIT
#pragma once

#include <QProxyStyle>

// Draws check box indicators from the widget's own palette (a text-tinted border on the base colour
// when off, the highlight colour with a tick when on), so a toggle stays visible on a box filled with
// the base colour in a light and a dark palette alike. Everything else is the application style's.
class ToggleStyle : public QProxyStyle {
public:
    // One instance for the settings pages; lives as long as the application.
    static ToggleStyle* shared();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};
