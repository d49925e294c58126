// SPDX-License-Identifier: MIT
// The strip as a drag source: image cards drag out as PNG files.
#include "common/AppNames.h"
#include "panel/ClipboardImageFilePromiseProvider.h"
#include "panel/PanelContentView.h"

#include "history/store/StoreReader.h"
#include "platform/Dispatch.h"

#include <QMimeData>

struct PanelContentView::PreparedDrag {
    bool read = false; // false: the reader failed, the drag reads the entry itself
    OptData imageData;
    std::optional<QString> path;
    QString error;
};

bool PanelContentView::canDragItems(CollectionView*, const QList<int>& indexes) {
    if (indexes.size() != 1 || indexes.first() < 0 || indexes.first() >= static_cast<int>(clipboardItems.size()))
        return false;
    return clipboardItems[static_cast<size_t>(indexes.first())]->type() == EntryType::image;
}

void PanelContentView::itemMayBeDragged(CollectionView* view, int index) {
    if (!canDragItems(view, {index}) || !m_dataManager || m_dataManager->context()->path().isEmpty())
        return;
    const ClipboardItemPtr& entry = clipboardItems[static_cast<size_t>(index)];
    if (entry == m_dragEntry)
        return;
    // A photograph takes long to read, hash and write out for a drag's start: that begins now,
    // off the main thread, and the drag takes what is ready (waiting for the rest, if any).
    std::optional<OptData> original, thumbnail; // set when in memory
    if (entry->isLoaded(ClipboardItem::OriginalImageData))
        original = entry->originalImageData();
    if (entry->isLoaded(ClipboardItem::ImageData))
        thumbnail = entry->imageData();
    auto promise = std::make_shared<std::promise<std::shared_ptr<const PreparedDrag>>>();
    m_dragEntry = entry;
    m_dragData = promise->get_future().share();
    Dispatch::onGlobal([promise, reader = reader(), key = entry->primaryKey(), name = dragFileName(entry), original,
                        thumbnail] {
        auto prepared = std::make_shared<PreparedDrag>();
        prepared->read = true;
        auto attribute = [&](const std::optional<OptData>& inMemory, ClipboardItem::Field field) {
            OptData value;
            if (inMemory)
                value = *inMemory;
            else if (prepared->read && !reader->itemBlob(key, field, &value, nullptr))
                prepared->read = false;
            return value;
        };
        prepared->imageData = attribute(original, ClipboardItem::OriginalImageData);
        if (!prepared->imageData)
            prepared->imageData = attribute(thumbnail, ClipboardItem::ImageData);
        if (prepared->read && prepared->imageData)
            prepared->path =
                ClipboardImageFilePromiseProvider(*prepared->imageData, name).prepareTemporaryFile(&prepared->error);
        promise->set_value(prepared);
    });
}

QMimeData* PanelContentView::pasteboardWriterForItem(CollectionView*, int index) {
    if (index < 0 || index >= static_cast<int>(clipboardItems.size()))
        return nullptr;
    const ClipboardItemPtr& entry = clipboardItems[static_cast<size_t>(index)];
    if (entry->type() != EntryType::image)
        return nullptr;
    if (entry == m_dragEntry) {
        const std::shared_ptr<const PreparedDrag> prepared = m_dragData.get();
        m_dragEntry.reset();
        if (prepared->read)
            return prepared->imageData ? ClipboardImageFilePromiseProvider::makePasteboardWriter(
                                             *prepared->imageData, prepared->path, prepared->error)
                                       : nullptr;
    }
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
