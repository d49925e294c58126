// SPDX-License-Identifier: MIT
// Inserting, deleting and saving: the pending changes and the one transaction that writes them.
#include "history/store/StoreInternals.h"

using namespace StoreInternals;

ClipboardItemPtr ManagedObjectContext::insertClipboardItem() {
    const KeyAllocator::Key key = d->itemKeys.next(d->db, qsizetype(d->insertedItems.size()));
    auto item = std::make_shared<ClipboardItem>();
    item->m_context = this;
    item->m_key = key.value;
    if (!key.claimed)
        d->provisionalItemKeys.insert(key.value);
    item->m_inserted = true;
    d->sweep(d->items);
    d->items.insert(item->m_key, item);
    d->insertedItems.emplace(item->m_key, item);
    return item;
}

SourceAppPtr ManagedObjectContext::insertSourceApp() {
    auto app = std::make_shared<SourceApp>();
    app->m_context = this;
    const KeyAllocator::Key key = d->appKeys.next(d->db, qsizetype(d->insertedApps.size()));
    app->m_key = key.value;
    if (!key.claimed)
        d->provisionalAppKeys.insert(key.value);
    app->m_inserted = true;
    d->apps.insert(app->m_key, app);
    d->insertedApps.emplace(app->m_key, app);
    return app;
}

void ManagedObjectContext::deleteObject(const std::shared_ptr<ManagedObject>& object) {
    if (!object || object->m_context != this || object->m_deleted)
        return;
    const qint64 key = object->m_key;
    object->m_deleted = true;
    if (auto item = std::dynamic_pointer_cast<ClipboardItem>(object)) {
        d->updatedItems.erase(key);
        if (item->m_inserted) {
            // Never written: it simply stops existing.
            d->insertedItems.erase(key);
            item->m_inserted = false;
            item->m_deletedSaved = true;
            d->items.remove(key);
        } else {
            d->deletedItems.emplace(key, item);
        }
    } else if (auto app = std::dynamic_pointer_cast<SourceApp>(object)) {
        d->updatedApps.erase(key);
        if (app->m_inserted) {
            d->insertedApps.erase(key);
            app->m_inserted = false;
            app->m_deletedSaved = true;
            d->apps.remove(key);
        } else {
            d->deletedApps.emplace(key, app);
        }
        // The relationship is nullified at once in memory, as on save in the store.
        for (const auto& weak : std::as_const(d->items)) {
            auto item = weak.lock();
            if (item && item->m_sourceAppKey == key)
                item->setSourceApp(nullptr);
        }
    }
}

bool ManagedObjectContext::deleteAllItems(StoreError* error) {
    Private& p = *d;
    StoreError err;
    auto step = [&](const char* sql, qint64 value) {
        sqlite3_stmt* raw = p.prepare(sql, &err);
        if (!raw)
            return err.code ? err.code : SQLITE_ERROR;
        Stmt s(p.db, raw);
        s.bind(1, value);
        const int rc = s.step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    };
    auto write = [&] {
        if (!p.exec("BEGIN IMMEDIATE", &err))
            return false;
        int rc = SQLITE_OK;
        if (!p.exec("DELETE FROM ClipboardItem", &err) || !p.exec("DELETE FROM ClipboardItemSearch", &err))
            rc = err.code;
        // Keys handed out to entries never saved are not used again, as when they are saved.
        if (!rc)
            rc = step("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = 'ClipboardItem'", p.itemKeys.last());
        if (!rc && sqlite3_changes(p.db) == 0 && p.itemKeys.last() > 0)
            rc = step("INSERT INTO sqlite_sequence (name, seq) VALUES ('ClipboardItem', ?)", p.itemKeys.last());
        if (!rc && !p.exec("COMMIT", &err))
            rc = err.code;
        if (rc) {
            if (err.message.isEmpty())
                setError(&err, rc, errorText(p.db, rc));
            p.exec("ROLLBACK", nullptr);
        }
        return rc == SQLITE_OK;
    };
    // Entries only refer to applications, so deleting them all has no foreign key to act on; with
    // the checks off SQLite drops the tables' pages whole instead of deleting row by row.
    p.exec("PRAGMA foreign_keys = OFF", nullptr);
    const bool written = write();
    p.exec("PRAGMA foreign_keys = ON", nullptr);
    if (!written) {
        setError(error, err.code ? err.code : SQLITE_ERROR, err.message);
        return false;
    }

    for (const auto& weak : std::as_const(p.items)) {
        if (auto item = weak.lock()) {
            item->m_deleted = item->m_deletedSaved = true;
            item->m_inserted = item->m_updated = false;
            item->m_dirtyFields = 0;
        }
    }
    p.items.clear();
    p.insertedItems.clear();
    p.updatedItems.clear();
    p.deletedItems.clear();
    p.provisionalItemKeys.clear();
    if (!hasChanges())
        p.itemKeys.dropReserve();
    return true;
}

bool ManagedObjectContext::hasChanges() const {
    return !d->insertedItems.empty() || !d->updatedItems.empty() || !d->deletedItems.empty() ||
           !d->insertedApps.empty() || !d->updatedApps.empty() || !d->deletedApps.empty();
}

void ManagedObjectContext::noteChanged(ManagedObject* object) {
    if (!object || object->m_context != this)
        return;
    std::shared_ptr<ManagedObject> strong = object->shared_from_this();
    if (auto item = std::dynamic_pointer_cast<ClipboardItem>(strong))
        d->updatedItems.emplace(item->m_key, item);
    else if (auto app = std::dynamic_pointer_cast<SourceApp>(strong))
        d->updatedApps.emplace(app->m_key, app);
}

bool ManagedObjectContext::settleProvisionalKeys() {
    Private& p = *d;
    if (p.provisionalItemKeys.empty() && p.provisionalAppKeys.empty())
        return true;
    bool ok = true;
    // Another process may have taken a key handed out here without a claim: such an object, never
    // saved yet, moves to a free key (its object ID changes with it).
    const qint64 highestItem = p.itemKeys.highestInStore(p.db, &ok);
    const qint64 highestApp = ok ? p.appKeys.highestInStore(p.db, &ok) : 0;
    if (!ok)
        return false;
    auto settle = [](std::set<qint64>& provisional, auto& inserted, auto& live, KeyAllocator& keys, qint64 highest,
                     auto&& onMoved) {
        std::set<qint64> still;
        for (const qint64 key : provisional) {
            auto node = inserted.extract(key);
            if (node.empty())
                continue;
            if (key <= highest) {
                const qint64 fresh = keys.replacement(highest);
                node.mapped()->m_key = fresh;
                node.key() = fresh;
                live.remove(key);
                live.insert(fresh, node.mapped());
                onMoved(key, fresh);
            }
            still.insert(node.key());
            inserted.insert(std::move(node));
        }
        provisional.swap(still);
    };
    settle(p.provisionalItemKeys, p.insertedItems, p.items, p.itemKeys, highestItem, [](qint64, qint64) {});
    settle(p.provisionalAppKeys, p.insertedApps, p.apps, p.appKeys, highestApp, [&p](qint64 from, qint64 to) {
        for (const auto& weak : std::as_const(p.items))
            if (auto item = weak.lock(); item && item->m_sourceAppKey == from)
                item->m_sourceAppKey = to;
    });
    return true;
}

namespace {

// Failures that one entry can cause by its size alone: written one by one, the others still fit.
bool lackOfSpace(int code) {
    return code == SQLITE_FULL || code == SQLITE_TOOBIG;
}

} // namespace

bool ManagedObjectContext::save(StoreError* error) {
    if (!hasChanges())
        return true;
    Private& p = *d;
    StoreError err;
    if (writeChanges(nullptr, true, &err))
        return true;
    const bool others = !p.updatedItems.empty() || !p.deletedItems.empty() || !p.insertedApps.empty() ||
                        !p.updatedApps.empty() || !p.deletedApps.empty();
    if (!lackOfSpace(err.code) || p.insertedItems.size() + (others ? 1 : 0) < 2) {
        setError(error, err.code, err.message);
        return false;
    }
    // An entry that does not fit must not hold back those that do: each new entry gets a
    // transaction of its own, the other changes one together; what fails stays pending.
    bool saved = true;
    auto note = [&](bool ok, const StoreError& e) {
        if (!ok && saved) {
            saved = false;
            setError(error, e.code, e.message);
        }
    };
    if (others) {
        StoreError e;
        note(writeChanges(nullptr, false, &e), e);
    }
    std::vector<qint64> keys;
    for (const auto& [key, item] : p.insertedItems)
        keys.push_back(key);
    for (const qint64 key : keys) {
        // Settling a provisional key may move an entry: follow it by its object.
        const ClipboardItemPtr item = p.insertedItems.count(key) ? p.insertedItems.at(key) : nullptr;
        if (!item)
            continue;
        StoreError e;
        note(writeChanges(item.get(), false, &e), e);
    }
    return saved;
}

bool ManagedObjectContext::writeChanges(const ClipboardItem* onlyItem, bool everything, StoreError* error) {
    Private& p = *d;
    StoreError err;
    // Everything, one new entry alone, or everything but the new entries.
    const bool others = everything || !onlyItem;
    auto writesItem = [&](const ClipboardItem& item) { return everything || &item == onlyItem; };
    auto fail = [&](int rc) {
        if (err.message.isEmpty())
            setError(&err, rc, errorText(p.db, rc));
        p.exec("ROLLBACK", nullptr);
        setError(error, err.code, err.message);
        return false;
    };
    if (!p.exec("BEGIN IMMEDIATE", &err))
        return fail(err.code);
    if (!settleProvisionalKeys())
        return fail(SQLITE_ERROR);

    auto writeRow = [&](const QByteArray& sql, const QVariantList& values) {
        sqlite3_stmt* raw = p.prepare(sql, &err);
        if (!raw)
            return err.code ? err.code : SQLITE_ERROR;
        Stmt s(p.db, raw);
        s.bindAll(values);
        const int rc = s.step();
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    };

    const QByteArray itemInsert = insertSql("ClipboardItem", kItemColumns);
    const QByteArray appInsert = insertSql("SourceApp", kAppColumns);
    if (others) {
        for (const auto& [key, app] : p.insertedApps) {
            QVariantList values{key};
            for (const Column& c : kAppColumns)
                values << appColumnValue(*app, c.name);
            if (int rc = writeRow(appInsert, values))
                return fail(rc);
        }
        for (const auto& [key, app] : p.updatedApps) {
            const QList<const char*> columns = appColumnsFor(app->m_dirtyFields);
            if (columns.isEmpty())
                continue;
            QVariantList values;
            for (const char* c : columns)
                values << appColumnValue(*app, c);
            values << key;
            if (int rc = writeRow(updateSql("SourceApp", columns), values))
                return fail(rc);
        }
    }
    for (const auto& [key, item] : p.insertedItems) {
        if (!writesItem(*item))
            continue;
        QVariantList values{key};
        for (const Column& c : kItemColumns)
            values << itemColumnValue(*item, c.name);
        if (int rc = writeRow(itemInsert, values))
            return fail(rc);
        if (int rc = writeRow(kSearchInsert, searchRow(*item, key)))
            return fail(rc);
    }
    if (others) {
        for (const auto& [key, item] : p.updatedItems) {
            const QList<const char*> columns = itemColumnsFor(item->m_dirtyFields);
            if (columns.isEmpty())
                continue;
            QVariantList values;
            for (const char* c : columns)
                values << itemColumnValue(*item, c);
            values << key;
            if (int rc = writeRow(updateSql("ClipboardItem", columns), values))
                return fail(rc);
            if (item->m_dirtyFields &
                (ClipboardItem::TextContent | ClipboardItem::Preview | ClipboardItem::AdditionalFilePaths))
                if (int rc = writeRow(kSearchInsert, searchRow(*item, key)))
                    return fail(rc);
        }
        for (const auto& [key, item] : p.deletedItems) {
            if (int rc = writeRow("DELETE FROM ClipboardItem WHERE pk = ?", {key}))
                return fail(rc);
            if (int rc = writeRow("DELETE FROM ClipboardItemSearch WHERE pk = ?", {key}))
                return fail(rc);
        }
        for (const auto& [key, app] : p.deletedApps)
            if (int rc = writeRow("DELETE FROM SourceApp WHERE pk = ?", {key}))
                return fail(rc);
    }
    // Keys handed out for objects deleted before their first save are never used again either.
    for (const auto& [name, last] : {std::pair{QStringLiteral("ClipboardItem"), p.itemKeys.last()},
                                     std::pair{QStringLiteral("SourceApp"), p.appKeys.last()}}) {
        if (int rc = writeRow("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?", {last, name}))
            return fail(rc);
        if (sqlite3_changes(p.db) == 0)
            if (int rc = writeRow("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)", {name, last}))
                return fail(rc);
    }
    if (!p.exec("COMMIT", &err))
        return fail(err.code);

    auto settle = [](ManagedObject& o) {
        o.m_inserted = false;
        o.m_updated = false;
        o.m_dirtyFields = 0;
    };
    auto noteType = [&p](const ClipboardItem& item) {
        if (item.type())
            p.knownTypes.insert(*item.type());
    };
    for (auto it = p.insertedItems.begin(); it != p.insertedItems.end();) {
        if (!writesItem(*it->second)) {
            ++it;
            continue;
        }
        noteType(*it->second);
        settle(*it->second);
        p.provisionalItemKeys.erase(it->first);
        it = p.insertedItems.erase(it);
    }
    if (others) {
        p.provisionalAppKeys.clear();
        for (auto& [key, item] : p.updatedItems) {
            noteType(*item);
            settle(*item);
        }
        for (auto& [key, app] : p.insertedApps)
            settle(*app);
        for (auto& [key, app] : p.updatedApps)
            settle(*app);
        for (auto& [key, item] : p.deletedItems) {
            item->m_deletedSaved = true;
            p.items.remove(key);
        }
        for (auto& [key, app] : p.deletedApps) {
            app->m_deletedSaved = true;
            p.apps.remove(key);
        }
        p.updatedItems.clear();
        p.deletedItems.clear();
        p.insertedApps.clear();
        p.updatedApps.clear();
        p.deletedApps.clear();
    }
    if (!hasChanges()) {
        p.itemKeys.dropReserve();
        p.appKeys.dropReserve();
    }
    return true;
}

bool ManagedObjectContext::deleteItemsMatching(const Predicate& predicate, qint64* deleted, StoreError* error) {
    Private& p = *d;
    if (deleted)
        *deleted = 0;
    QByteArray where;
    QVariantList binds;
    if (!compile(predicate, CompileContext{true, &p.knownTypes}, where, binds)) {
        setError(error, SQLITE_MISUSE, QStringLiteral("Unsupported predicate: %1").arg(predicate.format()));
        return false;
    }
    // Rows with unsaved changes here are judged in memory, as fetches judge them.
    QByteArrayList pending;
    for (const auto* map : {&p.updatedItems, &p.deletedItems})
        for (const auto& [key, item] : *map)
            pending << QByteArray::number(key);
    where = "(" + where + ")";
    if (!pending.isEmpty())
        where += " AND pk NOT IN (" + pending.join(',') + ")";

    StoreError err;
    std::vector<qint64> gone;
    const bool written =
        p.exec("BEGIN IMMEDIATE", &err) &&
        p.selectRows("DELETE FROM ClipboardItemSearch WHERE pk IN (SELECT pk FROM ClipboardItem WHERE " + where + ")",
                     binds, &err, [](sqlite3_stmt*) {}) &&
        p.selectRows("DELETE FROM ClipboardItem WHERE " + where + " RETURNING pk", binds, &err,
                     [&](sqlite3_stmt* row) { gone.push_back(sqlite3_column_int64(row, 0)); }) &&
        p.exec("COMMIT", &err);
    if (!written) {
        if (!sqlite3_get_autocommit(p.db))
            p.exec("ROLLBACK", nullptr);
        setError(error, err.code ? err.code : SQLITE_ERROR, err.message);
        return false;
    }
    for (const qint64 key : gone) {
        if (auto item = p.items.take(key).lock()) {
            item->m_deleted = item->m_deletedSaved = true;
            item->m_dirtyFields = 0;
        }
    }
    std::vector<ClipboardItemPtr> matching;
    for (const auto* map : {&p.insertedItems, &p.updatedItems})
        for (const auto& [key, item] : *map)
            if (predicate.evaluate(*item))
                matching.push_back(item);
    for (const ClipboardItemPtr& item : matching)
        deleteObject(item);
    if (deleted)
        *deleted = qint64(gone.size() + matching.size());
    return true;
}
