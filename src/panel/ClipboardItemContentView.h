// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"
#include "panel/CardTextLabel.h"

#include <QColor>
#include <QHash>
#include <QPixmap>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QTimer;
class QUrl;
struct Notification;
struct RichTextPreview;

// One history entry drawn as a 220 x 240 card: a shadowed container with curved corners, a header
// (source application icon, type, relative time, favourite star) tinted with the application's
// dominant colour, and a body by entry type. Single and double clicks are reported separately: a
// single click only once a double click has been ruled out.
class ClipboardItemContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int CARD_WIDTH = 220;
    static constexpr int CARD_HEIGHT = 240;
    static constexpr int CORNER_RADIUS = 12;
    static constexpr int HEADER_HEIGHT = 44;
    static constexpr int containerInset = 6;       // top, left and right
    static constexpr int containerBottomInset = 8; // room for the shadow's offset

    explicit ClipboardItemContentView(QWidget* parent = nullptr);
    ~ClipboardItemContentView() override;

    void configure(const ClipboardItemPtr& entry);
    void renderContent();
    void reset();
    // The press became a drag: no click follows.
    void cancelPendingClick();

    static QString typeDisplayName(const QString& type);
    static QString relativeTimeString(const QDateTime& date);

    // Body helpers of the link, colour, image and file cards.
    static std::optional<QColor> parseHexColor(const QString& text);
    static bool isLightColor(const QColor& color);
    static bool isWebURL(const QString& text);
    static QImage makeURLPlaceholderImage(const QUrl& url);
    // Where an image of imageSize goes to fill a body of containerSize, cropped, keeping its aspect.
    static QRectF aspectFillRect(QSizeF imageSize, QSizeF containerSize);

    // Icon and dominant colour per bundle identifier, decoded once per process (main thread only).
    struct IconAndColor {
        QPixmap icon;
        QColor color;
    };
    static QHash<QString, IconAndColor>& iconCache();

    ClipboardItemPtr item() const { return m_item; }
    QString imageLoadIdentifier() const { return m_imageLoadIdentifier; }
    QRect containerRect() const;
    QWidget* headerView() const { return m_headerView; }
    QWidget* contentContainerView() const { return m_contentContainerView; }
    CardTextLabel* previewLabel() const { return m_previewLabel; }
    QLabel* imageView() const { return m_imageView; }
    QLabel* headerIconImageView() const { return m_headerIconImageView; }
    QLabel* typeLabel() const { return m_typeLabel; }
    QLabel* timeLabel() const { return m_timeLabel; }
    QLabel* starView() const { return m_starView; }
    QColor headerBackgroundColor() const { return m_headerBackgroundColor; }
    std::optional<QColor> headerTint() const { return m_headerTint; }

    // The selection border of the cell, drawn on the container's edge.
    void setBorder(double width, const QColor& color);
    double borderWidth() const { return m_borderWidth; }

    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void setupUI();
    void updateColors();
    void buildHeader();
    void loadSourceAppIcon();
    void applyHeaderColor(const QColor& color);
    void renderTextContent();
    void renderRichText();
    void applyRichText(const RichTextPreview& preview);
    void renderPlainText(const QString& text, qreal tabStopDistance = 0);
    void renderColorSwatch(const QColor& color, const QString& text);
    void renderURL(const QString& text);
    void buildURLCard(const QImage& image, const QString& title, const QString& subtitle);
    void renderImage();
    void setImage(const QImage& image, QLabel* imageView, QWidget* frameView);
    void renderFile();
    // Listens for "URLPreviewUpdated" of this entry only (none: stops listening).
    void observePreviewOf(const ClipboardItem* entry);
    void handleURLPreviewUpdate(const Notification& notification);
    void refreshContent();
    void clearContent();
    void handleSingleClick();
    void handleDoubleClick();

    QWidget* m_headerView = nullptr;
    QWidget* m_contentContainerView = nullptr;
    CardTextLabel* m_previewLabel = nullptr;
    QLabel* m_imageView = nullptr;
    QLabel* m_headerIconImageView = nullptr;
    QLabel* m_typeLabel = nullptr;
    QLabel* m_timeLabel = nullptr;
    QLabel* m_starView = nullptr;
    QColor m_headerBackgroundColor;
    std::optional<QColor> m_headerTint; // none: untinted header
    ClipboardItemPtr m_item;
    QString m_imageLoadIdentifier;
    double m_borderWidth = 0;
    QColor m_borderColor;
    QTimer* m_singleClickTimer = nullptr;
    bool m_pressed = false;
    bool m_doubleClickPending = false;
};
