// SPDX-License-Identifier: MIT
#include "history/LargeEntryWriter.h"

#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/PrecomputedContent.h"
#include "history/store/StoreSpace.h"

#include <QUuid>

#include <sqlite3.h>

namespace {

qint64 utf8Bytes(QStringView text) {
    qint64 bytes = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            bytes += 1;
        } else if (c < 0x800) {
            bytes += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            bytes += 4;
            ++i;
        } else {
            bytes += 3;
        }
    }
    return bytes;
}

// What the store keeps of a new entry, in bytes.
qint64 storedBytes(const LargeEntryWriter::Entry& entry) {
    qint64 bytes = entry.largeText ? entry.largeText->utf8().size() : entry.text ? utf8Bytes(*entry.text) : 0;
    for (const OptData* data :
         {&entry.richTextData, &entry.imageData, &entry.originalImageData, &entry.documentFormats})
        bytes += *data ? (*data)->size() : 0;
    for (const QString& path : entry.additionalFilePaths)
        bytes += utf8Bytes(path);
    return bytes;
}

bool isLargeEntry(const LargeEntryWriter::Entry& entry) {
    return entry.largeText ||
           LargeEntryWriter::isLarge(entry.text, entry.richTextData, entry.imageData, entry.originalImageData,
                                     entry.documentFormats, entry.additionalFilePaths);
}

bool lackOfSpace(int code) {
    return code == SQLITE_FULL || code == SQLITE_TOOBIG;
}

// Gives the space of a WAL back once everything in it is in the store, a failed write's pages too.
void truncateLog(sqlite3* db) {
    sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
}

} // namespace

LargeEntryWriter::LargeEntryWriter(QString storePath, std::function<void(const Outcome&)> done,
                                   std::function<void()> turn)
    : m_path(std::move(storePath)), m_done(std::move(done)), m_turn(std::move(turn)), m_thread([this] { run(); }) {}

LargeEntryWriter::~LargeEntryWriter() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        // Nobody is left to take a turn.
        m_turnWanted = m_turnHeld = false;
    }
    m_wake.notify_all();
    m_thread.join();
}

bool LargeEntryWriter::isLarge(const OptString& text, const OptData& richTextData, const OptData& imageData,
                               const OptData& originalImageData, const OptData& documentFormats,
                               const QStringList& additionalFilePaths) {
    qsizetype bytes = text ? text->size() * qsizetype(sizeof(QChar)) : 0;
    for (const OptData* data : {&richTextData, &imageData, &originalImageData, &documentFormats})
        bytes += *data ? (*data)->size() : 0;
    for (const QString& path : additionalFilePaths)
        bytes += path.size() * qsizetype(sizeof(QChar));
    return bytes >= largeBytes;
}

void LargeEntryWriter::save(Entry entry) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(entry));
    }
    m_wake.notify_all();
}

void LargeEntryWriter::retry(bool last) {
    {
        std::lock_guard lock(m_mutex);
        m_retryWanted = true;
        m_lastRetry = m_lastRetry || last;
    }
    m_wake.notify_all();
}

bool LargeEntryWriter::isBusy() {
    std::lock_guard lock(m_mutex);
    return m_busy || !m_queue.empty() || m_retryWanted;
}

bool LargeEntryWriter::beginTurn() {
    std::lock_guard lock(m_mutex);
    if (m_turnHeld || (!m_busy && m_queue.empty() && !m_retryWanted))
        return m_turnHeld = true;
    m_turnWanted = true;
    return false;
}

bool LargeEntryWriter::holdsForTurn() {
    std::lock_guard lock(m_mutex);
    return m_turnHeld;
}

void LargeEntryWriter::endTurn() {
    {
        std::lock_guard lock(m_mutex);
        m_turnHeld = false;
    }
    m_wake.notify_all();
}

bool LargeEntryWriter::waitUntilIdle(const std::function<void()>& takeTurn) {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_idle.wait(lock,
                    [this] { return m_turnHeld || (m_queue.empty() && !m_busy && !m_turnWanted && !m_retryWanted); });
        if (!m_turnHeld)
            return !m_pending;
        lock.unlock();
        takeTurn();
        endTurn();
        lock.lock();
    }
}

void LargeEntryWriter::setConnectionHookForTesting(std::function<void(sqlite3*)> hook) {
    std::lock_guard lock(m_mutex);
    m_connectionHook = std::move(hook);
}

void LargeEntryWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_turnWanted) {
            m_turnWanted = false;
            m_turnHeld = true;
            m_idle.notify_all();
            lock.unlock();
            m_turn();
            lock.lock();
        }
        if (m_turnHeld) {
            m_wake.wait(lock, [this] { return !m_turnHeld; });
            continue;
        }
        // The last retry comes after every entry handed over.
        if (m_retryWanted && (!m_lastRetry || m_queue.empty())) {
            const bool last = std::exchange(m_lastRetry, false);
            m_retryWanted = false;
            m_busy = true;
            lock.unlock();
            retryPending(last);
            lock.lock();
            m_busy = false;
            continue;
        }
        if (!m_queue.empty()) {
            Entry entry = std::move(m_queue.front());
            m_queue.pop_front();
            m_busy = true;
            lock.unlock();
            write(entry);
            entry = Entry{}; // the content goes before the next one is taken
            lock.lock();
            m_busy = false;
            continue;
        }
        m_idle.notify_all();
        if (m_stop)
            break;
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty() || m_retryWanted; });
    }
    if (m_pending) {
        lock.unlock();
        retryPending(true);
        lock.lock();
    }
    lock.unlock();
    m_context.reset(); // closed on the thread that opened it
}

void LargeEntryWriter::write(Entry& entry, bool reported) {
    Outcome outcome;
    outcome.type = entry.type;
    outcome.link = entry.link;
    StoreError error;
    if (!m_context)
        m_context = ManagedObjectContext::openAnother(m_path, &error);
    if (!m_context) {
        outcome.errorCode = error.code ? error.code : -1;
        outcome.error = error.description();
        m_done(outcome);
        return;
    }
    runConnectionHook();
    ManagedObjectContext& ctx = *m_context;
    SourceAppPtr app;
    ClipboardItemPtr item;
    bool noRoom = false;
    if (!entry.pickedObjectID.isEmpty()) {
        outcome.repeated = true;
        // Read without its text, which a new time does not need: it may be large.
        const std::vector<ClipboardItemPtr> found = ctx.itemsForKeys({entry.pickedKey});
        if (!found.empty() && found.front()->objectID() == entry.pickedObjectID) {
            item = found.front();
            item->setTimestamp(entry.timestamp);
        }
    } else {
        item = writeCopy(entry, &outcome, &app, &noRoom);
    }
    bool saved = ctx.save(&error);
    if (!saved && item && item->isInserted() && lackOfSpace(error.code) && isLargeEntry(entry)) {
        // Left pending it would go into every later save, before the entries after it.
        ctx.deleteObject(item);
        item = nullptr;
        noRoom = true;
        saved = !ctx.hasChanges();
    }
    // The log held the whole entry: copied into the store and emptied now, it does not keep
    // its size on the disk beside the store's.
    if (saved || noRoom)
        truncateLog(ctx.connection());
    if (noRoom) {
        const qint64 bytes = storedBytes(entry);
        m_putAside.push_back({std::move(entry), bytes, room()});
        if (saved) {
            saved = false;
            error.code = SQLITE_FULL;
            error.message = QStringLiteral("%1 (SQLite code %2)").arg(sqlite3_errstr(SQLITE_FULL)).arg(SQLITE_FULL);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_pending = ctx.hasChanges() || !m_putAside.empty();
    }
    outcome.pendingLeft = ctx.hasChanges() || !m_putAside.empty();
    // Saved even when an entry before it still does not fit.
    if (item && !item->hasChanges())
        outcome.objectID = item->objectID();
    if (app && app->hasChanges())
        outcome.newAppBundleId.clear();
    if (!saved && reported) {
        outcome.errorCode = error.code;
        outcome.error = error.description();
    }
    m_done(outcome);
}

ClipboardItemPtr LargeEntryWriter::writeCopy(const Entry& entry, Outcome* outcome, SourceAppPtr* appOut, bool* noRoom) {
    ManagedObjectContext& ctx = *m_context;
    SourceAppPtr& app = *appOut;
    app = entry.sourceAppKey ? ctx.sourceAppForKey(entry.sourceAppKey) : nullptr;
    if (!entry.newAppBundleId.isEmpty()) {
        FetchRequest request;
        request.entityName = QStringLiteral("SourceApp");
        request.predicate = Predicate::bundleIdEquals(entry.newAppBundleId);
        request.fetchLimit = 1;
        const std::vector<SourceAppPtr> found = ctx.fetchSourceApps(request);
        if (!found.empty()) {
            app = found.front();
        } else {
            app = ctx.insertSourceApp();
            app->setBundleId(entry.newAppBundleId);
            app->setAppName(entry.newAppName);
            outcome->newAppBundleId = entry.newAppBundleId;
        }
    }
    ClipboardItemPtr item =
        entry.largeText
            ? ClipboardDataManager::findLargeTextDuplicateIn(ctx, entry.type, *entry.largeText)
            : ClipboardDataManager::findDuplicateIn(ctx, entry.type, entry.text, entry.imageData,
                                                    entry.originalImageData, entry.filePath, entry.additionalFilePaths);
    outcome->repeated = bool(item);
    if (item) {
        item->setTimestamp(entry.timestamp);
        item->setSourceApp(app);
    } else if (isLargeEntry(entry) && storedBytes(entry) > room()) {
        *noRoom = true;
    } else {
        item = ctx.insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setTimestamp(entry.timestamp);
        item->setType(entry.type);
        if (entry.largeText)
            item->setLargeTextContent(entry.largeText);
        else
            item->setTextContent(entry.text);
        item->setRichTextData(entry.richTextData);
        if (entry.documentFormats)
            item->setDocumentFormats(entry.documentFormats);
        item->setImageData(entry.imageData);
        item->setOriginalImageData(entry.originalImageData);
        item->setFilePath(entry.filePath);
        if (!entry.additionalFilePaths.isEmpty())
            item->setAdditionalFilePaths(entry.additionalFilePaths);
        item->setPreview(entry.preview);
        item->setSourceApp(app);
        item->setIsFavorite(false);
    }
    return item;
}

void LargeEntryWriter::retryPending(bool last) {
    if (!m_context)
        return;
    runConnectionHook();
    const qint64 roomNow = room();
    // The entries put aside wait for those after them. Failures of a retry were told when the
    // entry first failed.
    if (m_context->save())
        truncateLog(m_context->connection());
    for (PutAside& waiting : std::exchange(m_putAside, {})) {
        if (waiting.bytes <= room()) {
            write(waiting.entry, false);
        } else if (last || roomNow > waiting.roomThen) {
            // Space was freed and it still has no room: kept, it would hold the store full for good.
            Outcome outcome;
            outcome.type = waiting.entry.type;
            outcome.givenUpBytes = waiting.bytes;
            outcome.pendingLeft = true; // told below
            waiting.entry = Entry{};
            m_done(outcome);
        } else {
            m_putAside.push_back(std::move(waiting));
        }
    }
    Outcome outcome;
    outcome.pendingLeft = m_context->hasChanges() || !m_putAside.empty();
    {
        std::lock_guard lock(m_mutex);
        m_pending = outcome.pendingLeft;
    }
    m_done(outcome);
}

qint64 LargeEntryWriter::room() {
    return StoreSpace::roomForEntry(m_context->connection(), m_path);
}

void LargeEntryWriter::runConnectionHook() {
    std::function<void(sqlite3*)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_connectionHook;
    }
    if (hook)
        hook(m_context->connection());
}
