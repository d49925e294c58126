// SPDX-License-Identifier: MIT
#include "history/LargeEntryWriter.h"

#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/PrecomputedContent.h"

#include <QUuid>

#include <sqlite3.h>

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

void LargeEntryWriter::retry() {
    {
        std::lock_guard lock(m_mutex);
        m_retryWanted = true;
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
        if (m_retryWanted) {
            m_retryWanted = false;
            m_busy = true;
            lock.unlock();
            retryPending();
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
        retryPending();
        lock.lock();
    }
    lock.unlock();
    m_context.reset(); // closed on the thread that opened it
}

void LargeEntryWriter::write(Entry& entry) {
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
    if (!entry.pickedObjectID.isEmpty()) {
        outcome.repeated = true;
        // Read without its text, which a new time does not need: it may be large.
        const std::vector<ClipboardItemPtr> found = ctx.itemsForKeys({entry.pickedKey});
        if (!found.empty() && found.front()->objectID() == entry.pickedObjectID) {
            item = found.front();
            item->setTimestamp(entry.timestamp);
        }
    } else {
        item = writeCopy(entry, &outcome, &app);
    }
    const bool saved = ctx.save(&error);
    // The log held the whole entry: copied into the store and emptied now, it does not keep
    // its size on the disk beside the store's.
    if (saved)
        sqlite3_wal_checkpoint_v2(ctx.connection(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    {
        std::lock_guard lock(m_mutex);
        m_pending = ctx.hasChanges();
    }
    outcome.pendingLeft = ctx.hasChanges();
    // Saved even when an entry before it still does not fit.
    if (item && !item->hasChanges())
        outcome.objectID = item->objectID();
    if (app && app->hasChanges())
        outcome.newAppBundleId.clear();
    if (!saved) {
        outcome.errorCode = error.code;
        outcome.error = error.description();
    }
    m_done(outcome);
}

ClipboardItemPtr LargeEntryWriter::writeCopy(const Entry& entry, Outcome* outcome, SourceAppPtr* appOut) {
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

void LargeEntryWriter::retryPending() {
    if (!m_context)
        return;
    runConnectionHook();
    StoreError error;
    const bool saved = m_context->save(&error);
    {
        std::lock_guard lock(m_mutex);
        m_pending = m_context->hasChanges();
    }
    // Failures of a retry were told when the entry first failed.
    if (saved)
        m_done(Outcome{});
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
