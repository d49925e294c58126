// SPDX-License-Identifier: MIT
#pragma once

#include "history/LargeEntryWriter.h"
#include "history/PickContent.h"
#include "history/store/ManagedObjectContext.h"
#include "linkpreview/URLPreview.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ClipboardMonitor;
class SerialQueue;
class StoreReader;
class StoreSpace;

// The store manager: saving captured entries, the queries and edits of the panel, and the link
// preview hand-off. Lives on the main thread; fetchItems/searchItems may be called from a worker
// thread and then run on the main thread while the caller waits.
class ClipboardDataManager : public QObject {
public:
    explicit ClipboardDataManager(ManagedObjectContext* context);
    ~ClipboardDataManager() override;

    ManagedObjectContext* context() const { return m_context; }
    ClipboardMonitor* clipboardMonitor() const;
    void setClipboardMonitor(ClipboardMonitor* monitor); // held weakly

    // Saving
    void saveClipboardItem(const QString& type, const OptString& textContent, const OptData& richTextData,
                           const OptData& imageData, const OptData& originalImageData, const OptString& filePath,
                           const OptString& appName, const OptString& bundleId,
                           const std::shared_ptr<PrecomputedContent>& precomputed = {},
                           const OptData& documentFormats = std::nullopt);
    // An entry too large to be written on the main thread: handed to the writer thread, which folds
    // a repeat into the stored entry as findDuplicate would, and adds the source application
    // (bundleId, empty for none) when it is not stored yet.
    void saveLargeEntry(const QString& type, const OptString& textContent, const OptData& richTextData,
                        const OptData& imageData, const OptData& originalImageData, const OptString& filePath,
                        const QStringList& additionalFilePaths, const QString& bundleId, const OptString& appName,
                        const std::shared_ptr<PrecomputedContent>& precomputed,
                        const OptData& documentFormats = std::nullopt);
    // A text captured as UTF-8 because of its size goes to the writer thread as it is.
    void saveLargeText(const QString& type, const LargeTextPtr& text, const OptData& richTextData,
                       const OptString& appName, const OptString& bundleId,
                       const OptData& documentFormats = std::nullopt);
    // While one is being written, the entries after it go the same way, so as to keep their order
    // and not wait for its write.
    bool largeSaveInProgress() const;
    // Blocks until every large entry handed over was tried, and saves what waited for the writer;
    // false when an entry is still unsaved. Quitting, a large entry the disk has no room for is given
    // up (see LargeEntryWriter).
    bool finishLargeSaves(bool quitting = false);
    // For tests: the writer, once a large entry was handed over.
    LargeEntryWriter* largeEntryWriter() const { return m_largeWriter.get(); }
    SourceAppPtr findSourceApp(const QString& bundleId);
    SourceAppPtr findOrCreateSourceApp(const QString& bundleId, const OptString& appName);
    void loadSourceAppIconAndColor(const SourceAppPtr& sourceApp, const QString& bundleId);
    // An image repeats only an image with the same text beside it (none included), a file entry only
    // one with the same further files.
    ClipboardItemPtr findDuplicate(const QString& type, const OptString& textContent, const OptData& imageData,
                                   const OptData& originalImageData, const OptString& filePath,
                                   const QStringList& additionalFilePaths = {});
    // The same in any context, on the context's thread.
    static ClipboardItemPtr findDuplicateIn(ManagedObjectContext& context, const QString& type,
                                            const OptString& textContent, const OptData& imageData,
                                            const OptData& originalImageData, const OptString& filePath,
                                            const QStringList& additionalFilePaths = {});
    // A repeat of a large text: the one stored with the same digest, found without reading it.
    static ClipboardItemPtr findLargeTextDuplicateIn(ManagedObjectContext& context, const QString& type,
                                                     const LargeText& text);
    QString makePreview(const QString& type, const OptString& textContent, const OptString& filePath) const;
    static QString makePreview(const LargeText& text);
    static bool isWebURL(const QString& text, const QStringList& schemes);
    bool needsLinkPreview(const ClipboardItemPtr& item) const;
    void handlePreviewResult(const std::optional<URLPreview>& preview, const QString& urlString,
                             const QString& objectID);
    void storePreview(const URLPreview& preview, const QString& urlString, const QString& objectID);

    // Queries and edits
    std::vector<ClipboardItemPtr> fetchItems(std::optional<int> limit, int offset, bool favoritesOnly,
                                             const std::optional<QString>& typeFilter);
    std::vector<ClipboardItemPtr> searchItems(const QString& query, std::optional<int> limit, bool favoritesOnly,
                                              const std::optional<QString>& typeFilter, int offset = 0);
    static Predicate typeFilterPredicate(const QString& typeFilter);
    // The request behind fetchItems (empty query) and searchItems, for running elsewhere.
    static FetchRequest pageRequest(const QString& query, std::optional<int> limit, int offset, bool favoritesOnly,
                                    const std::optional<QString>& typeFilter);
    // False when the entry has nothing that can be written (an image without decodable data, a
    // missing field); the clipboard and the entry are then left untouched.
    bool copyToPasteboard(const ClipboardItemPtr& item, bool plainText);
    // The same, with the entry's text and picture read off the main thread first (a large one
    // takes a while); then done(written) on the main thread. A later pick of either kind or
    // cancelPick() drops it: it writes nothing and done is not called.
    void pickToPasteboard(const ClipboardItemPtr& item, bool plainText, std::function<void(bool)> done);
    void cancelPick();
    // For tests: blocks until the reads of the picks asked for are over and their outcomes taken.
    void finishPickReads();
    void deleteItemsOlderThan(int days);
    // False when the entries could not be read or the deletion could not be saved.
    bool clearAllHistory();
    void toggleFavorite(const ClipboardItemPtr& item);
    // At quit, after the last save: stops giving space back and converts an older store when that
    // is worth its rewrite (see StoreSpace).
    void finishStoreSpace();
    // Null for a store without a file.
    StoreSpace* storeSpace() const { return m_space.get(); }
    // False when the save failed (its line was printed). The first save that fails for want of disk
    // space after one that left nothing pending posts Notifications::historyStoreFull; what did not
    // fit is tried again every few seconds. A large entry given up for want of room posts
    // Notifications::historyEntryGivenUp. While the writer thread writes, the save is made when it
    // stops before its next write.
    bool saveContext();
    // Reports a save made elsewhere (0: saved) the way saveContext() does.
    void noteSaveOutcome(int errorCode);
    void refreshAllObjects();

private:
    void startLinkPreview(const QString& link, const ClipboardItemPtr& item);
    void largeEntrySaved(const LargeEntryWriter::Outcome& outcome);
    void tellGivenUp(qint64 bytes);
    LargeEntryWriter& writer(); // started on first use
    void handToWriter(LargeEntryWriter::Entry entry, const QString& bundleId, const OptString& appName);
    void takeSaveTurn();
    bool writeToPasteboard(const ClipboardItemPtr& item, const PickContent& content);
    void finishPick(quint64 ticket, bool read, const PickContent& content);

    ManagedObjectContext* m_context;
    QPointer<ClipboardMonitor> m_clipboardMonitor;
    bool m_reportedNoSpace = false;
    // Gives the space of deleted entries back; none for a store without a file.
    std::unique_ptr<StoreSpace> m_space;
    bool m_largePending = false; // the writer holds an entry that did not fit
    QTimer m_retryTimer;
    std::unique_ptr<LargeEntryWriter> m_largeWriter;
    struct Pick {
        quint64 ticket = 0;
        ClipboardItemPtr item;
        bool plainText = false;
        std::function<void(bool)> done;
    };
    Pick m_pick;                          // the pick waiting for its read
    std::atomic<quint64> m_pickTicket{0}; // the newest pick; older reads are dropped
    std::shared_ptr<StoreReader> m_pickReader;
    std::unique_ptr<SerialQueue> m_pickQueue; // declared last: its reads finish before the rest goes
};
