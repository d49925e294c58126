// SPDX-License-Identifier: MIT
// The strip as a drag source: image cards drag out as PNG files.
#include "common/AppNames.h"
#include "panel/ClipboardImageFilePromiseProvider.h"
#include "panel/PanelContentView.h"

#include "history/store/StoreReader.h"
#include "platform/Dispatch.h"

#include <QMimeData>

#include <chrono>

struct PanelContentView::PreparedDrag {
    bool read = false; // false: the reader failed, the drag reads the entry itself
    OptData imageData;
    std::optional<QString> path;
    QString error;
};

namespace {

// A drag that starts while its data is still being prepared: it announces the formats at once, and
// only a drop target that asks for the data before it is ready waits for the rest.
class PendingDragData : public QMimeData {
public:
    PendingDragData(std::function<bool()> ready, std::function<QMimeData*()> make)
        : m_ready(std::move(ready)), m_make(std::move(make)) {}

    QStringList formats() const override {
        if (const QMimeData* data = resolved(false))
            return data->formats();
        return m_settled ? QStringList() : QStringList{QStringLiteral("text/uri-list"), QStringLiteral("image/png")};
    }
    bool hasFormat(const QString& format) const override { return formats().contains(format); }

protected:
    QVariant retrieveData(const QString& format, QMetaType) const override {
        const QMimeData* data = resolved(true);
        return data && data->hasFormat(format) ? QVariant(data->data(format)) : QVariant();
    }

private:
    const QMimeData* resolved(bool wait) const {
        if (!m_settled && (wait || m_ready())) {
            m_data.reset(m_make());
            m_settled = true;
        }
        return m_data.get();
    }

    std::function<bool()> m_ready;
    std::function<QMimeData*()> m_make;
    mutable std::unique_ptr<QMimeData> m_data;
    mutable bool m_settled = false;
};

// The drag's data as the entry gives it on this thread.
QMimeData* writerReadingEntry(const ClipboardItemPtr& entry) {
    OptData data = entry->originalImageData();
    if (!data)
        data = entry->imageData();
    if (!data)
        return nullptr;
    ClipboardImageFilePromiseProvider provider(*data, PanelContentView::dragFileName(entry));
    return provider.makePasteboardWriter();
}

} // namespace

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
    // Saved as it is, the entry's stored digest is the SHA-256 of the very bytes dragged: a
    // photograph's content folder is then named without hashing it again.
    const bool saved = !entry->isInserted() && !entry->hasChanges();
    auto promise = std::make_shared<std::promise<std::shared_ptr<const PreparedDrag>>>();
    m_dragEntry = entry;
    m_dragData = promise->get_future().share();
    Dispatch::onGlobal([promise, reader = reader(), key = entry->primaryKey(), name = dragFileName(entry), original,
                        thumbnail, saved] {
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
        if (prepared->read && prepared->imageData) {
            OptData digest;
            bool found = false;
            if (!saved || !reader->attribute(key, "contentDigest", &digest, &found, nullptr))
                digest.reset();
            prepared->path = ClipboardImageFilePromiseProvider(*prepared->imageData, name)
                                 .prepareTemporaryFile(&prepared->error, digest.value_or(QByteArray()));
        }
        promise->set_value(prepared);
    });
}

QMimeData* PanelContentView::pasteboardWriterForItem(CollectionView*, int index) {
    if (index < 0 || index >= static_cast<int>(clipboardItems.size()))
        return nullptr;
    const ClipboardItemPtr& entry = clipboardItems[static_cast<size_t>(index)];
    if (entry->type() != EntryType::image)
        return nullptr;
    if (entry != m_dragEntry)
        return writerReadingEntry(entry);
    m_dragEntry.reset();
    auto ready = [future = m_dragData] {
        return future.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    };
    auto make = [future = m_dragData, entry]() -> QMimeData* {
        const std::shared_ptr<const PreparedDrag> prepared = future.get();
        if (!prepared->read)
            return writerReadingEntry(entry);
        return prepared->imageData ? ClipboardImageFilePromiseProvider::makePasteboardWriter(
                                         *prepared->imageData, prepared->path, prepared->error)
                                   : nullptr;
    };
    if (ready())
        return make();
    return new PendingDragData(std::move(ready), std::move(make));
}

QString PanelContentView::dragFileName(const ClipboardItemPtr& entry) {
    const auto timestamp = entry ? entry->timestamp() : std::nullopt;
    if (!timestamp)
        return QStringLiteral("Tindralume Image.png");
    return QStringLiteral("Tindralume Image ") +
           timestamp->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")) + QStringLiteral(".png");
}
