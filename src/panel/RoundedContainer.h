// SPDX-License-Identifier: MIT
#pragma once

#include "panel/Appearance.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

#include <optional>

// A rounded toolbar container (search, favourites): 10 % label colour, corner radius 16, and an
// optional border drawn inside its edge.
class RoundedContainer : public QWidget {
public:
    using QWidget::QWidget;
    double borderWidth = 0;
    QColor borderColor;
    std::optional<QColor> background; // none: 10 % of the label colour

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette pal = QApplication::palette();
        QPainterPath path;
        const double half = borderWidth / 2;
        path.addRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 16, 16);
        p.fillPath(path, background ? *background : Appearance::withAlpha(Appearance::labelColor(pal), 0.1));
        if (borderWidth > 0)
            p.strokePath(path, QPen(borderColor, borderWidth));
    }
};

// The system font at a pixel size, as the toolbar's controls use it.
inline QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}
