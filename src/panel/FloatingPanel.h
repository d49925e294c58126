// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class PanelContentView;

// The panel's window: frameless, above other windows (full-screen ones included), never taking the
// focus from the application in front. Its rounded corners are see-through, by a window shape where
// no compositor runs. Its keys and pointer presses arrive through grabs while it is shown.
class FloatingPanel : public QWidget {
public:
    static constexpr int cornerRadius = 16;

    explicit FloatingPanel(const QRect& frame);

    PanelContentView* panelContentView() const { return m_panelContentView; }
    void setupContent();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateShape();

    PanelContentView* m_panelContentView = nullptr;
};
