// SPDX-License-Identifier: MIT
#include "panel/FloatingPanel.h"

#include "panel/Appearance.h"
#include "panel/PanelContentView.h"
#include "platform/Compositing.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>

FloatingPanel::FloatingPanel(const QRect& frame)
    // Window managers stack a focused full-screen window above every "keep above" window and keep
    // managed windows to their desktop: a window they do not manage stays above both, on every desktop.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TranslucentBackground);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Tindralume"));
    setGeometry(frame);
}

void FloatingPanel::setupContent() {
    m_panelContentView = new PanelContentView(this);
    m_panelContentView->setGeometry(rect());
    m_panelContentView->show();
}

void FloatingPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_panelContentView)
        m_panelContentView->setGeometry(rect());
    updateShape();
}

void FloatingPanel::showEvent(QShowEvent* event) {
    updateShape(); // a compositor may have started or stopped since the last showing
    QWidget::showEvent(event);
}

void FloatingPanel::updateShape() {
    if (Compositing::isActive()) {
        clearMask();
        return;
    }
    // Without a compositor see-through pixels come out black: the corners are cut off the window.
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

void FloatingPanel::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange)
        update();
}

void FloatingPanel::paintEvent(QPaintEvent*) {
    // The menu-like backdrop: the window colour, slightly see-through where a compositor allows it.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette pal = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    QColor back = Appearance::windowBackgroundColor(pal);
    back = Appearance::isDark(pal) ? back.darker(115) : back.darker(104);
    if (mask().isEmpty()) {
        back.setAlphaF(0.97f);
        p.fillPath(path, back);
    } else {
        p.fillRect(rect(), back); // the shape is the edge: no half-covered pixels over black
    }
    p.strokePath(path, QPen(Appearance::withAlpha(Appearance::labelColor(pal), 0.12), 1));
}
