// SPDX-License-Identifier: MIT
#pragma once

#include <QLabel>

#include <memory>

class QTextDocument;

// The body label of a card. Unlike QLabel's own wrapping it breaks a word that is wider than the
// line (a long hash or path), and it shows at most maximumLines lines. Rich text is drawn from a
// document that loads no resources (no file, no network), whatever the markup names. A document
// given as it is (setDocument) is drawn as it is, its tab stops included, in the label's font
// where it names none. Of a plain text only the beginning that can fill the lines is laid out, so
// a huge one costs no more than a short one.
class CardTextLabel : public QLabel {
public:
    explicit CardTextLabel(QWidget* parent = nullptr);

    // Each replaces what was shown, a document or a text.
    void setDocument(std::shared_ptr<const QTextDocument> document);
    void setText(const QString& text);
    void clear();
    const std::shared_ptr<const QTextDocument>& document() const { return m_document; }

    void setMaximumLines(int lines);
    // 0: Qt's default distance between tab stops.
    void setTabStopDistance(qreal distance);
    int maximumLines() const { return m_maximumLines; }
    // The height of the lines shown at this width (at most maximumLines of them).
    int heightForWidth(int width) const override;
    // How many lines the text takes at this width, before the cap (at most those of its beginning
    // that is laid out).
    int lineCount(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void layoutFor(int width, class QTextDocument* document) const;
    int shownHeight(class QTextDocument* document, int* lines) const;

    int m_maximumLines = 8;
    qreal m_tabStopDistance = 0;
    std::shared_ptr<const QTextDocument> m_document;
};
