// SPDX-License-Identifier: MIT
#include "settings/ToggleStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QStyleOption>

namespace {

QColor mix(const QColor& a, const QColor& b, double amountOfB) {
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * amountOfB),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * amountOfB),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * amountOfB));
}

} // namespace

ToggleStyle* ToggleStyle::shared() {
    static ToggleStyle* style = [] {
        auto* s = new ToggleStyle;
        s->setParent(qApp);
        return s;
    }();
    return style;
}

void ToggleStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                                const QWidget* widget) const {
    if (element != PE_IndicatorCheckBox) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const QPalette& pal = option->palette;
    const bool on = option->state & (State_On | State_NoChange);
    const int side = std::min(option->rect.width(), option->rect.height()) - 1;
    const QRectF box(option->rect.x() + (option->rect.width() - side) / 2.0,
                     option->rect.y() + (option->rect.height() - side) / 2.0, side, side);
    const QColor base = pal.color(QPalette::Base);
    QColor fill = on ? pal.color(QPalette::Highlight) : base;
    if (option->state & State_Sunken)
        fill = mix(fill, pal.color(QPalette::Text), 0.15);
    // Half way between text and base contrasts with the base whichever of the two is dark.
    QColor border = on ? fill : mix(base, pal.color(QPalette::Text), 0.5);
    if ((option->state & State_HasFocus) && (option->state & State_KeyboardFocusChange))
        border = pal.color(on ? QPalette::Text : QPalette::Highlight);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(border, 1));
    painter->setBrush(fill);
    painter->drawRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    if (on) {
        QPen mark(pal.color(QPalette::HighlightedText), std::max(1.5, side / 7.0));
        mark.setCapStyle(Qt::RoundCap);
        mark.setJoinStyle(Qt::RoundJoin);
        painter->setPen(mark);
        painter->setBrush(Qt::NoBrush);
        QPainterPath path;
        if (option->state & State_NoChange) {
            path.moveTo(box.left() + side * 0.25, box.center().y());
            path.lineTo(box.right() - side * 0.25, box.center().y());
        } else {
            path.moveTo(box.left() + side * 0.24, box.top() + side * 0.52);
            path.lineTo(box.left() + side * 0.42, box.top() + side * 0.70);
            path.lineTo(box.left() + side * 0.76, box.top() + side * 0.30);
        }
        painter->drawPath(path);
    }
    painter->restore();
}
