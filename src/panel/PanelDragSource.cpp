// SPDX-License-Identifier: MIT
// The strip as a drag source: image cards drag out as PNG files.
#include "common/AppNames.h"
#include "panel/ClipboardImageFilePromiseProvider.h"
#include "panel/PanelContentView.h"

#include <QMimeData>

bool PanelContentView::canDragItems(CollectionView*, const QList<int>& indexes) {
    if (indexes.size() != 1 || indexes.first() < 0 || indexes.first() >= static_cast<int>(clipboardItems.size()))
        return false;
    return clipboardItems[static_cast<size_t>(indexes.first())]->type() == EntryType::image;
}

QMimeData* PanelContentView::pasteboardWriterForItem(CollectionView*, int index) {
    if (index < 0 || index >= static_cast<int>(clipboardItems.size()))
        return nullptr;
    const ClipboardItemPtr& entry = clipboardItems[static_cast<size_t>(index)];
    if (entry->type() != EntryType::image)
        return nullptr;
    OptData data = entry->originalImageData();
    if (!data)
        data = entry->imageData();
    if (!data)
        return nullptr;
    ClipboardImageFilePromiseProvider provider(*data, dragFileName(entry));
    return provider.makePasteboardWriter();
}

QString PanelContentView::dragFileName(const ClipboardItemPtr& entry) {
    const auto timestamp = entry ? entry->timestamp() : std::nullopt;
    if (!timestamp)
        return QStringLiteral("Tindralume Image.png");
    return QStringLiteral("Tindralume Image ") +
           timestamp->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(".png");
}
