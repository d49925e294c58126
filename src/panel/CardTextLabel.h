// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

// The body label of a card. Unlike QLabel's own wrapping it breaks a word that is wider than the
// line (a long hash or path), and it shows at most maximumLines lines. Rich text is drawn from a
// document that loads no resources (no file, no network), whatever the markup names.
class CardTextLabel : public QLabel {
public:
    explicit CardTextLabel(QWidget* parent = nullptr);

    void setMaximumLines(int lines);
    int maximumLines() const { return m_maximumLines; }
    // The height of the lines shown at this width (at most maximumLines of them).
    int heightForWidth(int width) const override;
    // How many lines the text takes at this width, before the cap.
    int lineCount(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutFor(int width, class QTextDocument* document) const;
    int shownHeight(class QTextDocument* document, int* lines) const;

    int m_maximumLines = 8;
};
