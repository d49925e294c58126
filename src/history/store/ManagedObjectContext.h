// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"
#include "history/store/Predicate.h"
#include "history/store/QuickCheck.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// An error of the store: a message for the console lines and the SQLite code behind it.
struct StoreError {
    int code = 0;
    QString message;
    QString description() const { return message; }
};

// The one object context of the application over an SQLite file. It belongs to the thread that
// opened it (the main thread): inserts, changes and deletes stay pending until save(), which writes
// them in one transaction; a failed save keeps them pending for the next one. One live object per
// row. Fetches see pending changes, as the rest of the application expects. fetchItems(),
// fetchSourceApps() and count() may be called from another thread: they then run on the context's
// thread while the caller waits.
class ManagedObjectContext : public QObject {
public:
    // The default store file: $XDG_DATA_HOME/Tindralume/Tindralume.sqlite.
    static QString defaultStorePath();

    // Opens (creating or migrating) the store. A file that is not a store of ours, is of a newer
    // schema version or is damaged gives nullptr and an error, and is left untouched. Its integrity
    // check takes at most a few seconds (a store too large for them is used unchecked); wait says how
    // the caller waits for it. An application that quits meanwhile abandons the open: nullptr and an
    // error of code kOpenAbandoned.
    static std::unique_ptr<ManagedObjectContext> open(const QString& path, StoreError* error,
                                                      QuickCheck::Wait wait = QuickCheck::Wait::Blocking);
    static constexpr int kOpenAbandoned = 9; // SQLITE_INTERRUPT
    // One more connection of this process to a store it has open already.
    static std::unique_ptr<ManagedObjectContext> openAnother(const QString& path, StoreError* error);
    ~ManagedObjectContext() override;

    QString path() const { return m_path; }
    static int schemaVersion();

    ClipboardItemPtr insertClipboardItem();
    SourceAppPtr insertSourceApp();
    // Deleting a SourceApp clears the sourceApp of its entries.
    void deleteObject(const std::shared_ptr<ManagedObject>& object);

    bool hasChanges() const;
    bool save(StoreError* error = nullptr);
    // Deletes every entry, saved or pending, in one statement and at once (other pending changes
    // stay pending); live entry objects become deleted ones. On failure nothing changes.
    bool deleteAllItems(StoreError* error = nullptr);
    // Deletes the saved entries the predicate matches in one statement per table, at once; live
    // objects of their rows become deleted ones. Entries with unsaved changes are judged in memory
    // and deleted as deleteObject() does (pending). deleted: how many went or are pending deletion.
    // On failure nothing changes.
    bool deleteItemsMatching(const Predicate& predicate, qint64* deleted = nullptr, StoreError* error = nullptr);
    // Drops cached attribute values so the next read comes from the store; pending changes are kept.
    void refreshAllObjects();
    // An entry another connection saved: its live object, unless it has changes of its own here,
    // is read again, and its type is known to searches by type name.
    void rowSavedElsewhere(const QString& objectID, const QString& type);

    // Returns the objects of the request, pending deletions left out. On failure: empty and error set.
    std::vector<ClipboardItemPtr> fetchItems(const FetchRequest& request, StoreError* error = nullptr);
    std::vector<SourceAppPtr> fetchSourceApps(const FetchRequest& request, StoreError* error = nullptr);
    // The entries of the given keys, in that order, read without their texts; keys of rows gone are
    // left out. For the keys a StoreReader found.
    std::vector<ClipboardItemPtr> itemsForKeys(const std::vector<qint64>& keys, StoreError* error = nullptr);
    // Every type stored (a superset after deletions), for a StoreReader's searches by type name.
    QSet<QString> knownTypes() const;
    // Number of objects a request would return (limit and offset applied), without materialising them.
    qint64 count(const FetchRequest& request, StoreError* error = nullptr);

    // The live object for an object-ID string; nullptr when it no longer exists (deleted or unknown).
    std::shared_ptr<ManagedObject> existingObject(const QString& objectID, StoreError* error = nullptr);
    ClipboardItemPtr existingClipboardItem(const QString& objectID, StoreError* error = nullptr);

    // Runs fn on the context's thread: performBlock later, performBlockAndWait now (waiting).
    void performBlock(std::function<void()> fn);
    void performBlockAndWait(const std::function<void()>& fn);

    // Entries of one type whose content digest equals the given one (for duplicate detection), in
    // insertion order, pending changes included. Candidates only: callers confirm by comparing.
    std::vector<ClipboardItemPtr> itemsWithDigest(const QString& type, const QByteArray& digest,
                                                  StoreError* error = nullptr);
    // The digest the store keeps for an entry's content (text, image bytes or path by type); empty
    // for a type that is never compared or when the compared content is absent.
    static QByteArray contentDigest(const QString& type, const OptString& text, const OptData& imageData,
                                    const OptData& originalImageData, const OptString& filePath);

    // Implementation access for the entity classes (lazy blob reads, relationship resolution).
    void loadBlob(const ClipboardItem& item, quint32 field);
    void loadBlob(const SourceApp& app, quint32 field);
    SourceAppPtr sourceAppForKey(qint64 key);
    void noteChanged(ManagedObject* object);

    // The SQLite connection, for tests and tools that need to reach below the object layer.
    sqlite3* connection() const;

private:
    ManagedObjectContext();
    static std::unique_ptr<ManagedObjectContext> openFile(const QString& path, StoreError* error, bool checkFile,
                                                          QuickCheck::Wait wait);
    bool backfillDerivedColumns(StoreError* error);
    bool rebuildFileListSearchRows(StoreError* error);
    bool settleProvisionalKeys();
    // One transaction: every pending change, or (everything false) only onlyItem's insertion, or
    // with onlyItem null everything but the insertions of entries.
    bool writeChanges(const ClipboardItem* onlyItem, bool everything, StoreError* error);
    bool onOwnThread() const;
    ClipboardItemPtr materializeItem(sqlite3_stmt* row);
    SourceAppPtr materializeApp(sqlite3_stmt* row);
    void readItemRow(ClipboardItem& item, sqlite3_stmt* row);
    struct Private;
    std::unique_ptr<Private> d;
    QString m_path;
};
