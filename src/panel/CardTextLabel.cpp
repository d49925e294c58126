// SPDX-License-Identifier: MIT
#include "panel/CardTextLabel.h"

#include "platform/TextLimits.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextLayout>

#include <cmath>

namespace {

// Far more than maximumLines lines of a card hold; laying out more would only cost time, which
// grows with the whole text (minutes for a megabyte).
constexpr qsizetype kMaxLaidOutLength = 4096;

// Markup on a card names no picture we would fetch: every resource is absent.
class OfflineDocument : public QTextDocument {
public:
    using QTextDocument::QTextDocument;

protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

} // namespace

CardTextLabel::CardTextLabel(QWidget* parent) : QLabel(parent) {}

void CardTextLabel::setDocument(std::shared_ptr<const QTextDocument> document) {
    m_document = std::move(document);
    // Plain, so QLabel itself never reads the text as markup.
    QLabel::setTextFormat(Qt::PlainText);
    QLabel::setText(m_document ? m_document->toPlainText() : QString());
}

void CardTextLabel::setText(const QString& text) {
    m_document.reset();
    QLabel::setText(text);
}

void CardTextLabel::clear() {
    m_document.reset();
    QLabel::clear();
}

void CardTextLabel::setMaximumLines(int lines) {
    m_maximumLines = std::max(1, lines);
    update();
}

void CardTextLabel::setTabStopDistance(qreal distance) {
    m_tabStopDistance = std::max<qreal>(0, distance);
    update();
}

void CardTextLabel::layoutFor(int width, QTextDocument* document) const {
    document->setDocumentMargin(0);
    document->setDefaultFont(font());
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setAlignment(alignment() & Qt::AlignHorizontal_Mask);
    if (m_tabStopDistance > 0)
        option.setTabStopDistance(m_tabStopDistance);
    document->setDefaultTextOption(option);
    if (m_document)
        QTextCursor(document).insertFragment(QTextDocumentFragment(m_document.get()));
    else if (textFormat() == Qt::RichText)
        document->setHtml(text());
    else
        document->setPlainText(TextLimits::prefixAtGraphemeBoundary(text(), kMaxLaidOutLength));
    document->setTextWidth(width);
}

// The bottom of the last shown line.
int CardTextLabel::shownHeight(QTextDocument* document, int* lines) const {
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    int count = 0;
    qreal bottom = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        const QRectF frame = layout->blockBoundingRect(block);
        const QTextLayout* text = block.layout();
        for (int i = 0; text && i < text->lineCount(); ++i) {
            if (count < m_maximumLines) {
                const QTextLine line = text->lineAt(i);
                bottom = frame.top() + line.y() + line.height();
            }
            ++count;
        }
    }
    if (lines)
        *lines = count;
    return static_cast<int>(std::ceil(bottom));
}

int CardTextLabel::heightForWidth(int width) const {
    OfflineDocument document;
    layoutFor(width, &document);
    return shownHeight(&document, nullptr);
}

int CardTextLabel::lineCount(int width) const {
    OfflineDocument document;
    layoutFor(width, &document);
    int lines = 0;
    shownHeight(&document, &lines);
    return lines;
}

void CardTextLabel::paintEvent(QPaintEvent*) {
    OfflineDocument document;
    layoutFor(width(), &document);
    const int height = std::min(shownHeight(&document, nullptr), this->height());
    QPainter p(this);
    p.setClipRect(QRect(0, 0, width(), height));
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.palette.setColor(QPalette::Text, palette().color(foregroundRole()));
    context.clip = QRectF(0, 0, width(), height);
    document.documentLayout()->draw(&p, context);
}
