// SPDX-License-Identifier: MIT
#include "panel/ClipboardItemContentView.h"

#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/ColorArchive.h"
#include "panel/Appearance.h"
#include "panel/CardTextLabel.h"
#include "panel/RichTextPreview.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"
#include "platform/NotificationCenter.h"
#include "platform/RelativeTime.h"
#include "platform/Symbols.h"

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>

namespace {

constexpr int shadowRadius = 8;
constexpr double shadowOpacity = 0.25;
constexpr int shadowOffsetY = 2; // downwards on screen

// A soft shadow for a rounded rectangle of the given size, blurred once and reused by every card.
QImage makeShadow(QSize size) {
    const int margin = shadowRadius * 2;
    QImage image(size + QSize(2 * margin, 2 * margin), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, static_cast<int>(255 * shadowOpacity)));
        p.drawRoundedRect(QRectF(margin, margin, size.width(), size.height()), ClipboardItemContentView::CORNER_RADIUS,
                          ClipboardItemContentView::CORNER_RADIUS);
    }
    // Three box-blur passes approximate a Gaussian of the shadow radius; only alpha matters.
    const int w = image.width(), h = image.height(), r = shadowRadius / 2;
    std::vector<int> alpha(static_cast<size_t>(w * h)), tmp(alpha.size());
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            alpha[static_cast<size_t>(y * w + x)] = qAlpha(line[x]);
    }
    auto pass = [&](bool horizontal) {
        for (int a = 0; a < (horizontal ? h : w); ++a) {
            const int len = horizontal ? w : h;
            auto at = [&](int i) -> int& {
                return horizontal ? alpha[static_cast<size_t>(a * w + i)] : alpha[static_cast<size_t>(i * w + a)];
            };
            int sum = 0;
            for (int i = -r; i <= r; ++i)
                sum += (i >= 0 && i < len) ? at(i) : 0;
            for (int i = 0; i < len; ++i) {
                tmp[static_cast<size_t>(i)] = sum / (2 * r + 1);
                const int out = i - r, in = i + r + 1;
                sum += (in < len ? at(in) : 0) - (out >= 0 ? at(out) : 0);
            }
            for (int i = 0; i < len; ++i)
                at(i) = tmp[static_cast<size_t>(i)];
        }
    };
    for (int i = 0; i < 3; ++i) {
        pass(true);
        pass(false);
    }
    for (int y = 0; y < h; ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x)
            line[x] = qRgba(0, 0, 0, alpha[static_cast<size_t>(y * w + x)]);
    }
    return image;
}

const QImage& shadowFor(QSize size) {
    static QHash<quint64, QImage> cache;
    const quint64 key = (quint64(size.width()) << 32) | quint64(size.height());
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, makeShadow(size));
    return *it;
}

// Inside a scroll area the labels inherit its Base background role and so draw with Text: set both.
void setTextColor(QLabel* label, const QColor& color) {
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    p.setColor(QPalette::Text, color);
    label->setPalette(p);
}

QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

} // namespace

ClipboardItemContentView::ClipboardItemContentView(QWidget* parent)
    : QWidget(parent), m_headerBackgroundColor(Appearance::systemGrayColor()) {
    setupUI();
}

ClipboardItemContentView::~ClipboardItemContentView() = default;

QHash<QString, ClipboardItemContentView::IconAndColor>& ClipboardItemContentView::iconCache() {
    static QHash<QString, IconAndColor> cache;
    return cache;
}

QRect ClipboardItemContentView::containerRect() const {
    return rect().adjusted(containerInset, containerInset, -containerInset, -containerBottomInset);
}

void ClipboardItemContentView::setupUI() {
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedSize(CARD_WIDTH, CARD_HEIGHT);

    m_headerView = new QWidget(this);
    m_contentContainerView = new QWidget(this);

    m_headerIconImageView = new QLabel(m_headerView);
    m_headerIconImageView->setFixedSize(35, 35);
    m_headerIconImageView->setAlignment(Qt::AlignCenter);
    m_typeLabel = new QLabel(m_headerView);
    m_typeLabel->setTextFormat(Qt::PlainText); // an unknown type is shown as the store names it
    m_typeLabel->setFont(systemFont(13, QFont::Medium));
    m_timeLabel = new QLabel(m_headerView);
    m_timeLabel->setTextFormat(Qt::PlainText);
    m_timeLabel->setFont(systemFont(11));
    m_starView = new QLabel(m_headerView);
    m_starView->setFixedSize(16, 16);
    m_starView->hide();

    m_previewLabel = new CardTextLabel(m_contentContainerView);
    m_previewLabel->setWordWrap(true);
    m_previewLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_previewLabel->setTextInteractionFlags(Qt::NoTextInteraction);
    m_previewLabel->hide();
    m_imageView = new QLabel(m_contentContainerView);
    m_imageView->hide();

    m_singleClickTimer = new QTimer(this);
    m_singleClickTimer->setSingleShot(true);
    connect(m_singleClickTimer, &QTimer::timeout, this, [this] { handleSingleClick(); });

    const QRect container = containerRect();
    m_headerView->setGeometry(container.x(), container.y(), container.width(), HEADER_HEIGHT);
    m_contentContainerView->setGeometry(container.x(), container.y() + HEADER_HEIGHT, container.width(),
                                        container.height() - HEADER_HEIGHT);
    updateColors();
}

void ClipboardItemContentView::observePreviewOf(const ClipboardItem* entry) {
    // Each card hears of its own entry only: with every card listening to every entry, each
    // preview was handled once per card in the reuse pool.
    NotificationCenter& center = NotificationCenter::defaultCenter();
    center.removeObserver(this, Notifications::urlPreviewUpdated);
    if (entry)
        center.addObserver(this, Notifications::urlPreviewUpdated, entry,
                           [this](const Notification& n) { handleURLPreviewUpdate(n); });
}

void ClipboardItemContentView::updateColors() {
    const QPalette pal = QApplication::palette();
    setTextColor(m_typeLabel, Appearance::labelColor(pal));
    setTextColor(m_timeLabel, Appearance::secondaryLabelColor(pal));
    if (m_previewLabel->textFormat() != Qt::RichText && !m_previewLabel->document())
        setTextColor(m_previewLabel, Appearance::labelColor(pal));
    update();
}

void ClipboardItemContentView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        QPointer<ClipboardItemContentView> self(this);
        Dispatch::onMain(this, [self] {
            if (!self)
                return;
            // A header that never got a colour shows its base colour from now on.
            self->m_headerTint = self->m_headerBackgroundColor;
            self->updateColors();
            // Bodies take their colours from the appearance when built: rebuild for the new one.
            if (self->m_item)
                self->renderContent();
        });
    }
}

void ClipboardItemContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const QRect container = containerRect();
    m_headerView->setGeometry(container.x(), container.y(), container.width(), HEADER_HEIGHT);
    m_contentContainerView->setGeometry(container.x(), container.y() + HEADER_HEIGHT, container.width(),
                                        container.height() - HEADER_HEIGHT);
}

void ClipboardItemContentView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRect container = containerRect();
    const QImage& shadow = shadowFor(container.size());
    p.drawImage(container.topLeft() + QPoint(-shadowRadius * 2, -shadowRadius * 2 + shadowOffsetY), shadow);

    const QPalette pal = QApplication::palette();
    QPainterPath path;
    path.addRoundedRect(QRectF(container), CORNER_RADIUS, CORNER_RADIUS);
    p.fillPath(path, Appearance::withAlpha(Appearance::windowBackgroundColor(pal), 0.95));
    if (m_headerTint) {
        p.save();
        p.setClipPath(path);
        p.fillRect(QRect(container.x(), container.y(), container.width(), HEADER_HEIGHT),
                   Appearance::withAlpha(*m_headerTint, 0.15));
        p.restore();
    }
    if (m_borderWidth > 0.01) {
        // Inside the container's edge, like a layer border.
        const double half = m_borderWidth / 2;
        QPen pen(m_borderColor, m_borderWidth);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(container).adjusted(half, half, -half, -half), CORNER_RADIUS - half,
                          CORNER_RADIUS - half);
    }
}

void ClipboardItemContentView::setBorder(double width, const QColor& color) {
    m_borderWidth = width;
    m_borderColor = color;
    update();
}

void ClipboardItemContentView::configure(const ClipboardItemPtr& entry) {
    m_item = entry;
    observePreviewOf(entry.get());
    m_imageLoadIdentifier = entry ? entry->objectID() : QString();
    clearContent();
    // A reused card starts untinted: the tint of the entry it showed before is not this entry's.
    m_headerTint.reset();
    m_headerBackgroundColor = Appearance::systemGrayColor();
    buildHeader();
    renderContent();
    update();
}

void ClipboardItemContentView::reset() {
    m_imageLoadIdentifier.clear();
    m_item.reset();
    observePreviewOf(nullptr);
    clearContent();
    m_previewLabel->clear();
    m_imageView->clear();
    m_headerIconImageView->clear();
    m_singleClickTimer->stop();
    m_doubleClickPending = false;
}

void ClipboardItemContentView::cancelPendingClick() {
    m_singleClickTimer->stop();
    m_pressed = false;
}

void ClipboardItemContentView::clearContent() {
    // The preview label and image view are ours and reused; anything else belongs to one entry.
    const auto children = m_contentContainerView->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        if (child != m_previewLabel && child != m_imageView) {
            child->hide();
            child->setParent(nullptr); // gone from the body now, deleted once events are through
            child->deleteLater();
        }
    }
    m_previewLabel->hide();
    m_previewLabel->setTabStopDistance(0);
    m_imageView->hide();
}

QString ClipboardItemContentView::typeDisplayName(const QString& type) {
    if (type == QStringLiteral("text"))
        return tr("Text");
    if (type == QStringLiteral("richText"))
        return tr("Rich Text");
    if (type == QStringLiteral("image"))
        return tr("Image");
    if (type == QStringLiteral("file"))
        return tr("File");
    if (type == QStringLiteral("url"))
        return tr("URL"); // as the filter button spells it
    QString result = type.toLower();
    bool startOfWord = true;
    for (QChar& c : result) {
        if (c.isSpace()) {
            startOfWord = true;
        } else if (startOfWord) {
            c = c.toUpper();
            startOfWord = false;
        }
    }
    return result;
}

QString ClipboardItemContentView::relativeTimeString(const QDateTime& date) {
    return RelativeTime::shortString(date, QDateTime::currentDateTime());
}

void ClipboardItemContentView::buildHeader() {
    const QPalette pal = QApplication::palette();
    m_headerIconImageView->setPixmap(Symbols::icon(QStringLiteral("app.fill")).pixmap(QSize(35, 35)));

    const OptString type = m_item ? m_item->type() : std::nullopt;
    const QString typeText = typeDisplayName(type.value_or(QStringLiteral("Unknown")));
    const auto timestamp = m_item ? m_item->timestamp() : std::nullopt;
    const QString timeText = timestamp ? relativeTimeString(*timestamp) : QString();
    const bool favorite = m_item && m_item->isFavorite().value_or(false);

    const int headerWidth = m_headerView->width();
    m_headerIconImageView->move(8, (HEADER_HEIGHT - 35) / 2);
    const int stackX = 8 + 35 + 8;
    int stackRight = headerWidth - 8;
    if (favorite) {
        QPixmap star = Symbols::icon(QStringLiteral("star.fill")).pixmap(QSize(16, 16));
        // Tinted yellow whatever the symbol's own colour.
        QPainter sp(&star);
        sp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        sp.fillRect(star.rect(), Appearance::systemYellowColor(pal));
        sp.end();
        m_starView->setPixmap(star);
        m_starView->setToolTip(tr("Favorite"));
        m_starView->move(headerWidth - 8 - 16, (HEADER_HEIGHT - 16) / 2);
        m_starView->show();
        stackRight = headerWidth - 8 - 16 - 4;
    } else {
        m_starView->hide();
    }
    const int stackWidth = std::max(0, stackRight - stackX);
    const QFontMetrics typeMetrics(m_typeLabel->font());
    const QFontMetrics timeMetrics(m_timeLabel->font());
    m_typeLabel->setText(typeMetrics.elidedText(typeText, Qt::ElideRight, stackWidth));
    m_timeLabel->setText(timeMetrics.elidedText(timeText, Qt::ElideRight, stackWidth));
    const int typeH = typeMetrics.height(), timeH = timeMetrics.height();
    const int top = (HEADER_HEIGHT - (typeH + 2 + timeH)) / 2;
    m_typeLabel->setGeometry(stackX, top, stackWidth, typeH);
    m_timeLabel->setGeometry(stackX, top + typeH + 2, stackWidth, timeH);
    loadSourceAppIcon();
}

void ClipboardItemContentView::loadSourceAppIcon() {
    if (!m_item)
        return;
    const SourceAppPtr app = m_item->sourceApp();
    if (!app)
        return;
    const OptString bundle = app->bundleId();
    if (!bundle || bundle->isEmpty())
        return;
    const QString bundleId = *bundle;
    auto& cache = iconCache();
    if (auto it = cache.constFind(bundleId); it != cache.constEnd()) {
        m_headerIconImageView->setPixmap(it->icon);
        applyHeaderColor(it->color);
        return;
    }
    const OptData iconData = app->iconData();
    const OptData colorData = app->dominantColorData();
    QPointer<ClipboardItemContentView> self(this);
    Dispatch::onGlobal([self, bundleId, iconData, colorData] {
        QImage icon;
        if (iconData)
            icon = ImageUtils::decode(*iconData, 4096LL * 4096);
        if (!icon.isNull())
            icon = icon.scaled(35, 35, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        std::optional<QColor> color;
        if (colorData)
            color = ColorArchive::unarchivedColor(*colorData);
        Dispatch::onMain([self, bundleId, icon, color] {
            if (icon.isNull())
                return;
            const QPixmap pixmap = QPixmap::fromImage(icon);
            if (color)
                iconCache().insert(bundleId, IconAndColor{pixmap, *color});
            if (!self)
                return;
            // Only for the entry still shown: a reused card must not get the previous one's icon.
            const SourceAppPtr shownApp = self->m_item ? self->m_item->sourceApp() : nullptr;
            if (!shownApp || shownApp->bundleId() != std::optional<QString>(bundleId))
                return;
            self->m_headerIconImageView->setPixmap(pixmap);
            if (color)
                self->applyHeaderColor(*color);
        });
    });
}

void ClipboardItemContentView::applyHeaderColor(const QColor& color) {
    m_headerBackgroundColor = color;
    m_headerTint = color;
    update();
}

void ClipboardItemContentView::renderContent() {
    clearContent();
    const OptString type = m_item ? m_item->type() : std::nullopt;
    if (!type)
        return;
    if (*type == QStringLiteral("text") || *type == QStringLiteral("richText") || *type == QStringLiteral("url"))
        renderTextContent();
    else if (*type == QStringLiteral("image"))
        renderImage();
    else if (*type == QStringLiteral("file"))
        renderFile();
}

void ClipboardItemContentView::renderTextContent() {
    const OptString type = m_item->type();
    const OptString preview = m_item->preview();
    if (!type || !preview)
        return;
    if (const auto color = parseHexColor(*preview)) {
        renderColorSwatch(*color, *preview);
        return;
    }
    if (isWebURL(*preview)) {
        renderURL(*preview);
        return;
    }
    if (*type == QStringLiteral("richText")) {
        renderRichText();
        return;
    }
    renderPlainText(*preview);
}

// Read and made once off the main thread and kept per entry; the plain preview shows meanwhile,
// and stays when the entry has no rich text after all.
void ClipboardItemContentView::renderRichText() {
    const QString key = RichTextPreview::cacheKeyOf(*m_item);
    if (const auto cached = RichTextPreview::cached(key)) {
        applyRichText(*cached);
        return;
    }
    renderPlainText(m_item->preview().value_or(QString()));
    const QString shown = m_imageLoadIdentifier;
    QPointer<ClipboardItemContentView> self(this);
    RichTextPreview::load(RichTextPreview::readerOf(*m_item), key, this, [self, shown](const RichTextPreview& preview) {
        if (self && !shown.isEmpty() && self->m_imageLoadIdentifier == shown)
            self->applyRichText(preview);
    });
}

void ClipboardItemContentView::applyRichText(const RichTextPreview& preview) {
    clearContent();
    if (!preview.ok) {
        if (const OptString text = m_item ? m_item->preview() : std::nullopt)
            renderPlainText(*text);
        return;
    }
    if (Appearance::isDark(QApplication::palette())) {
        // List levels come as tabs: a few spaces each, so nesting shows as it does in the light card.
        renderPlainText(preview.plain, QFontMetricsF(systemFont(13)).horizontalAdvance(QStringLiteral("    ")));
        return;
    }
    m_previewLabel->setMaximumLines(8);
    m_previewLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_previewLabel->setDocument(preview.document);
    setTextColor(m_previewLabel, Qt::black); // the document's own colours win where it has them
    m_previewLabel->setFont(systemFont(13));
    const QRect body = m_contentContainerView->rect().adjusted(12, 12, -12, -12);
    const int lineHeight = QFontMetrics(m_previewLabel->font()).lineSpacing();
    const int height = std::min(m_previewLabel->heightForWidth(body.width()), body.height());
    m_previewLabel->setGeometry(body.x(), body.y(), body.width(), std::max(lineHeight, height));
    m_previewLabel->show();
}

void ClipboardItemContentView::renderPlainText(const QString& text, qreal tabStopDistance) {
    m_previewLabel->setTextFormat(Qt::PlainText);
    m_previewLabel->setMaximumLines(8);
    m_previewLabel->setTabStopDistance(tabStopDistance);
    m_previewLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_previewLabel->setFont(systemFont(13));
    setTextColor(m_previewLabel, Appearance::labelColor(QApplication::palette()));
    m_previewLabel->setText(text);
    const QRect body = m_contentContainerView->rect().adjusted(12, 12, -12, -12);
    const int lineHeight = QFontMetrics(m_previewLabel->font()).lineSpacing();
    const int height = std::min(m_previewLabel->heightForWidth(body.width()), body.height());
    m_previewLabel->setGeometry(body.x(), body.y(), body.width(), std::max(lineHeight, height));
    m_previewLabel->show();
}

void ClipboardItemContentView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        // The double-click event follows its press; a press after it starts a new click.
        m_doubleClickPending = false;
    }
    event->accept();
}

void ClipboardItemContentView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPressed = std::exchange(m_pressed, false);
    if (m_doubleClickPending) {
        m_doubleClickPending = false; // the release that ends a double click
        return;
    }
    if (wasPressed && rect().contains(event->position().toPoint()))
        m_singleClickTimer->start(QApplication::doubleClickInterval());
}

void ClipboardItemContentView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    m_singleClickTimer->stop();
    m_doubleClickPending = true;
    m_pressed = true;
    handleDoubleClick();
}

void ClipboardItemContentView::handleSingleClick() {
    if (auto callback = onClick)
        callback();
}

void ClipboardItemContentView::handleDoubleClick() {
    if (auto callback = onDoubleClick)
        callback();
}
