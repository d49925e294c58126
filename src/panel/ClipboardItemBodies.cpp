// SPDX-License-Identifier: MIT
// The link, colour, image and file bodies of a card, and its reaction to a stored link preview.
#include "history/ClipboardDataManager.h"
#include "history/ColorPattern.h"
#include "history/store/Entities.h"
#include "panel/Appearance.h"
#include "panel/CardTextLabel.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/ClipboardPreviewImageLoader.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/FileIcons.h"
#include "platform/ImageUtils.h"
#include "platform/NotificationCenter.h"
#include "platform/TextLimits.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>

namespace {

constexpr int kFallbackBodyWidth = 208;
constexpr int kFallbackBodyHeight = 184;
constexpr int kURLPictureHeight = 120;
constexpr int kURLMinPictureHeight = 92; // a 2:1 picture across the card's width
constexpr int kURLBottomMargin = 4;

// The body's outline: square at the top (the header is above), the card's rounded corners below.
QPainterPath bodyOutline(const QRect& body) {
    constexpr int r = ClipboardItemContentView::CORNER_RADIUS;
    QPainterPath rounded;
    rounded.addRoundedRect(QRectF(body).adjusted(0, -r, 0, 0), r, r);
    QPainterPath box;
    box.addRect(QRectF(body));
    return rounded.intersected(box);
}

// A plain area of one colour over the whole body; the colour's alpha is kept, as with a layer's
// background.
class FilledView : public QWidget {
public:
    FilledView(const QColor& color, QWidget* parent) : QWidget(parent), m_color(color) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillPath(bodyOutline(rect()), m_color);
    }

private:
    QColor m_color;
};

// The thumbnail, scaled to its frame and cut by the body's outline (it may reach past the body).
class BodyImageView : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        if (pixmap().isNull() || !parentWidget())
            return;
        if (m_scaled.size() != size() || m_source != pixmap().cacheKey()) {
            m_scaled = pixmap().scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            m_source = pixmap().cacheKey();
        }
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QBrush(m_scaled));
        p.drawPath(bodyOutline(parentWidget()->rect()).translated(-pos()).intersected([this] {
            QPainterPath own;
            own.addRect(QRectF(rect()));
            return own;
        }()));
    }

private:
    QPixmap m_scaled;
    qint64 m_source = 0;
};

QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void setTextColor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    label->setPalette(p);
}

QString elided(const QString& text, qsizetype keep, Qt::TextElideMode mode) {
    const QString ellipsis(QChar(0x2026));
    if (mode == Qt::ElideMiddle)
        return text.left(keep - keep / 2) + ellipsis + text.right(keep / 2);
    return text.left(keep) + ellipsis;
}

// More than a card's lines can show: what is beyond it is never laid out.
constexpr qsizetype kMaxFittedLength = 1024;

// The text cut (at the tail or in the middle) so that it takes at most `lines` lines at `width`.
// Costs the same for a title of a megabyte as for one of a kilobyte.
QString fitLines(CardTextLabel* label, const QString& whole, int width, int lines, Qt::TextElideMode mode) {
    label->setTextFormat(Qt::PlainText);
    label->setMaximumLines(lines);
    QString text = whole;
    const bool cut = whole.size() > kMaxFittedLength;
    if (cut && mode == Qt::ElideMiddle) {
        QString tail = whole.right(kMaxFittedLength / 2);
        if (tail.front().isLowSurrogate())
            tail.remove(0, 1);
        text = TextLimits::prefixAtGraphemeBoundary(whole, kMaxFittedLength / 2) + tail;
    } else if (cut) {
        text = TextLimits::prefixAtGraphemeBoundary(whole, kMaxFittedLength);
    }
    label->setText(text);
    if (!cut && label->lineCount(width) <= lines)
        return text;
    qsizetype low = 0, high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high + 1) / 2;
        label->setText(elided(text, mid, mode));
        if (label->lineCount(width) <= lines)
            low = mid;
        else
            high = mid - 1;
    }
    return elided(text, low, mode);
}

} // namespace

std::optional<QColor> ClipboardItemContentView::parseHexColor(const QString& text) {
    static const QRegularExpression re(QRegularExpression::anchoredPattern(ColorPattern::wholeText),
                                       QRegularExpression::UseUnicodePropertiesOption);
    const QRegularExpressionMatch match = re.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QString digits = match.captured(1);
    const quint32 v = digits.toUInt(nullptr, 16);
    auto n4 = [v](int shift) { return ((v >> shift) & 0xF) / 15.0; };
    auto n8 = [v](int shift) { return ((v >> shift) & 0xFF) / 255.0; };
    switch (digits.size()) {
    case 3:
        return QColor::fromRgbF(n4(8), n4(4), n4(0), 1);
    case 4:
        return QColor::fromRgbF(n4(12), n4(8), n4(4), n4(0));
    case 6:
        return QColor::fromRgbF(n8(16), n8(8), n8(0), 1);
    default:
        return QColor::fromRgbF(n8(24), n8(16), n8(8), n8(0));
    }
}

bool ClipboardItemContentView::isLightColor(const QColor& color) {
    const QColor rgb = color.toRgb();
    if (!rgb.isValid())
        return true;
    return (299 * rgb.redF() + 587 * rgb.greenF() + 114 * rgb.blueF()) / 1000 > 0.5;
}

bool ClipboardItemContentView::isWebURL(const QString& text) {
    static const QStringList web = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                    QStringLiteral("ftps")};
    return ClipboardDataManager::isWebURL(text, web);
}

void ClipboardItemContentView::renderColorSwatch(const QColor& color, const QString& text) {
    auto* swatch = new FilledView(color, m_contentContainerView);
    swatch->setObjectName(QStringLiteral("colorSwatch"));
    swatch->setGeometry(m_contentContainerView->rect());
    auto* label = new QLabel(m_contentContainerView);
    label->setTextFormat(Qt::PlainText);
    label->setText(text.toUpper());
    label->setObjectName(QStringLiteral("colorSwatchLabel"));
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPixelSize(14);
    mono.setWeight(QFont::Medium);
    label->setFont(mono);
    label->setAlignment(Qt::AlignCenter);
    setTextColor(label, isLightColor(color) ? QColor(Qt::black) : QColor(Qt::white));
    label->setGeometry(m_contentContainerView->rect());
    swatch->show();
    label->show();
}

void ClipboardItemContentView::renderURL(const QString& text) {
    // Parsed trimmed: the link test trims, and a link with a line break after it is still a link.
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    if (!url.isValid())
        return;
    const OptString title = m_item ? m_item->urlPreviewTitle() : std::nullopt;
    const OptData imageData = m_item ? m_item->urlPreviewImageData() : std::nullopt;
    // A title stored before titles were bounded can be huge: the line shows its beginning.
    consoleLine(QStringLiteral("[ContentView] Rendering URL: ") + text + QStringLiteral(", Has Image: ") +
                (imageData ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(", Title: ") +
                (title ? TextLimits::prefixAtGraphemeBoundary(*title, kMaxFittedLength) : QStringLiteral("nil")));
    QImage picture;
    if (imageData)
        picture = ImageUtils::decode(*imageData, 4096LL * 4096);
    if (!picture.isNull()) {
        consoleLine(QStringLiteral("[ContentView] Rendering URL WITH image"));
    } else {
        consoleLine(QStringLiteral("[ContentView] Rendering URL with mock image"));
        picture = makeURLPlaceholderImage(url);
    }
    const QString titleLine = title ? *title : (!url.host().isEmpty() ? url.host() : text);
    buildURLCard(picture, titleLine, text);
}

void ClipboardItemContentView::buildURLCard(const QImage& image, const QString& title, const QString& subtitle) {
    const QRect body = m_contentContainerView->rect();
    const int width = body.width() - 24;
    const QPalette pal = QApplication::palette();
    auto* titleLabel = new CardTextLabel(m_contentContainerView);
    titleLabel->setObjectName(QStringLiteral("urlTitle"));
    titleLabel->setFont(systemFont(13, QFont::Bold));
    setTextColor(titleLabel, Appearance::labelColor(pal));
    m_previewLabel->setFont(systemFont(10));
    const QFontMetrics metrics(m_previewLabel->font());

    // The URL line stays whole inside the body. A two-line title takes its room from the picture
    // first (the picture keeps its aspect ratio, so a wide one loses little), else it gets one line.
    int titleHeight = 0;
    int pictureHeight = kURLPictureHeight;
    for (int lines = 2; lines >= 1; --lines) {
        titleLabel->setText(fitLines(titleLabel, title, width, lines, Qt::ElideRight));
        titleHeight = std::max(titleLabel->heightForWidth(width), QFontMetrics(titleLabel->font()).height());
        const int spare =
            body.height() - kURLBottomMargin - (12 + kURLPictureHeight + 8 + titleHeight + 4 + metrics.height());
        pictureHeight = std::clamp(kURLPictureHeight + spare, kURLMinPictureHeight, kURLPictureHeight);
        if (kURLPictureHeight + spare >= kURLMinPictureHeight)
            break;
    }
    const QRect pictureRect(12, 12, width, pictureHeight);

    // Fitted into the view, view corners rounded by 8.
    QPixmap picture(pictureRect.size());
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(picture.rect()), 8, 8);
        p.setClipPath(clip);
        const QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(picture.size()), Qt::KeepAspectRatio);
        const QPointF origin((picture.width() - fitted.width()) / 2, (picture.height() - fitted.height()) / 2);
        p.drawImage(QRectF(origin, fitted), image);
    }
    m_imageView->setScaledContents(false);
    m_imageView->setPixmap(picture);
    m_imageView->setGeometry(pictureRect);
    m_imageView->show();

    const int titleTop = pictureRect.bottom() + 1 + 8;
    titleLabel->setGeometry(12, titleTop, width, titleHeight);
    titleLabel->show();

    m_previewLabel->setTextFormat(Qt::PlainText);
    m_previewLabel->setMaximumLines(1);
    setTextColor(m_previewLabel, Appearance::secondaryLabelColor(pal));
    m_previewLabel->setText(metrics.elidedText(subtitle, Qt::ElideMiddle, width));
    m_previewLabel->setGeometry(12, titleTop + titleHeight + 4, width, metrics.height());
    m_previewLabel->show();
}

QImage ClipboardItemContentView::makeURLPlaceholderImage(const QUrl& url) {
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    const QString host = url.host();
    // Unsigned, so no value overflows; stable within one run like the platform's seeded hash.
    const double hue = double(qHash(host) % 360) / 360.0;
    const QColor a = QColor::fromHsvF(hue, 0.55, 0.75, 1);
    double second = hue + 0.12;
    second -= std::floor(second);
    const QColor b = QColor::fromHsvF(second, 0.45, 0.55, 1);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // At 135 degrees: from the lower right corner to the upper left one.
    QLinearGradient gradient(QPointF(400, 200), QPointF(0, 0));
    gradient.setColorAt(0, a);
    gradient.setColorAt(1, b);
    p.fillRect(image.rect(), gradient);
    QString label = host;
    label.remove(QStringLiteral("www."));
    p.setFont(systemFont(28, QFont::Bold));
    p.setPen(QColor::fromRgbF(1, 1, 1, 0.9));
    p.drawText(image.rect(), Qt::AlignCenter, label);
    return image;
}

QRectF ClipboardItemContentView::aspectFillRect(QSizeF imageSize, QSizeF containerSize) {
    if (imageSize.width() <= 0 || imageSize.height() <= 0)
        return {};
    const double imageAspect = imageSize.width() / imageSize.height();
    const double containerAspect = containerSize.width() / containerSize.height();
    if (imageAspect > containerAspect) {
        const double width = containerSize.height() * imageAspect;
        return {(containerSize.width() - width) / 2, 0, width, containerSize.height()};
    }
    const double height = containerSize.width() / imageAspect;
    return {0, (containerSize.height() - height) / 2, containerSize.width(), height};
}

void ClipboardItemContentView::renderImage() {
    const OptData data = m_item ? m_item->imageData() : std::nullopt;
    if (!data)
        return;
    auto* frame = new FilledView(Appearance::withAlpha(Appearance::labelColor(QApplication::palette()), 0.04),
                                 m_contentContainerView);
    frame->setObjectName(QStringLiteral("imageFrame"));
    frame->setGeometry(m_contentContainerView->rect());
    auto* imageView = new BodyImageView(frame);
    frame->show();
    const QString key = !m_imageLoadIdentifier.isEmpty() ? m_imageLoadIdentifier : m_item->objectID();
    auto& loader = ClipboardPreviewImageLoader::shared();
    if (const QImage hit = loader.cachedImage(key); !hit.isNull()) {
        if (m_imageLoadIdentifier == key)
            setImage(hit, imageView, frame);
        return;
    }
    QPointer<ClipboardItemContentView> self(this);
    QPointer<QWidget> frameView(frame);
    QPointer<QLabel> view(imageView);
    loader.load(*data, key, this, [self, frameView, view, key](const QImage& image) {
        if (self && frameView && view && !image.isNull() && !self->m_imageLoadIdentifier.isEmpty() &&
            self->m_imageLoadIdentifier == key)
            self->setImage(image, view, frameView);
    });
}

void ClipboardItemContentView::setImage(const QImage& image, QLabel* imageView, QWidget* frameView) {
    imageView->setPixmap(QPixmap::fromImage(image));
    if (image.width() <= 0 || image.height() <= 0)
        return;
    const QSize bounds = m_contentContainerView->size();
    const QSizeF container(bounds.width() > 0 ? bounds.width() : kFallbackBodyWidth,
                           bounds.height() > 0 ? bounds.height() : kFallbackBodyHeight);
    imageView->setGeometry(aspectFillRect(image.size(), container).toAlignedRect());
    imageView->show();
    frameView->update();
}

void ClipboardItemContentView::renderFile() {
    const OptString path = m_item ? m_item->filePath() : std::nullopt;
    if (!path)
        return;
    const QString name = QFileInfo(QDir::cleanPath(*path)).fileName();
    const QRect body = m_contentContainerView->rect();
    m_imageView->setScaledContents(false);
    m_imageView->setAlignment(Qt::AlignCenter);
    m_imageView->setPixmap(FileIcons::iconForFile(*path).pixmap(QSize(64, 64)));
    m_imageView->setGeometry((body.width() - 64) / 2, 40, 64, 64);
    m_imageView->show();

    const int width = body.width() - 24;
    m_previewLabel->setFont(systemFont(12));
    setTextColor(m_previewLabel, Appearance::secondaryLabelColor(QApplication::palette()));
    m_previewLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    QString label = fitLines(m_previewLabel, name, width, 2, Qt::ElideMiddle);
    // A copy of several files shows the first and how many came with it.
    if (const qsizetype more = m_item->additionalFileCount(); more > 0)
        label += QLatin1Char('\n') + tr("+ %n more", nullptr, int(more));
    m_previewLabel->setText(label);
    m_previewLabel->setGeometry(12, 40 + 64 + 12, width, m_previewLabel->heightForWidth(width));
    m_previewLabel->show();
}

void ClipboardItemContentView::handleURLPreviewUpdate(const Notification& notification) {
    consoleLine(QStringLiteral("[ContentView] Received URLPreviewUpdated notification"));
    const auto* entry = static_cast<const ClipboardItem*>(notification.object);
    if (!entry || !m_item) {
        consoleLine(QStringLiteral("[ContentView] ID mismatch, ignoring"));
        return;
    }
    if (entry->id() != m_item->id()) {
        consoleLine(QStringLiteral("[ContentView] ID mismatch, ignoring"));
        return;
    }
    consoleLine(QStringLiteral("[ContentView] ID matched! Refreshing content"));
    QPointer<ClipboardItemContentView> self(this);
    Dispatch::onMain(this, [self] {
        if (self)
            self->refreshContent();
    });
}

void ClipboardItemContentView::refreshContent() {
    clearContent();
    renderContent();
    consoleLine(QStringLiteral("[ContentView] Content refreshed"));
}
