// SPDX-License-Identifier: MIT
#include "history/store/ManagedObjectContext.h"

#include "history/store/PrecomputedContent.h"

#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"
#include "platform/Dispatch.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include <cstring>
#include <limits>

using namespace StoreInternals;

QString ManagedObjectContext::defaultStorePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/Tindralume/Tindralume.sqlite");
}

int ManagedObjectContext::schemaVersion() {
    return kSchemaVersion;
}

ManagedObjectContext::ManagedObjectContext() : d(std::make_unique<Private>()) {}

ManagedObjectContext::~ManagedObjectContext() {
    // Objects may outlive the context; they must not reach back into it.
    for (const auto& weak : std::as_const(d->items))
        if (auto item = weak.lock())
            item->m_context = nullptr;
    for (const auto& weak : std::as_const(d->apps))
        if (auto app = weak.lock())
            app->m_context = nullptr;
}

sqlite3* ManagedObjectContext::connection() const {
    return d->db;
}

bool ManagedObjectContext::onOwnThread() const {
    return QThread::currentThread() == thread();
}

namespace {

bool newerFirst(const ClipboardItemPtr& a, const ClipboardItemPtr& b) {
    const qint64 ta = a->timestamp() ? a->timestamp()->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    const qint64 tb = b->timestamp() ? b->timestamp()->toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    if (ta != tb)
        return ta > tb;
    return a->primaryKey() > b->primaryKey();
}

} // namespace

std::vector<ClipboardItemPtr> ManagedObjectContext::fetchItems(const FetchRequest& request, StoreError* error) {
    if (!onOwnThread()) {
        std::vector<ClipboardItemPtr> result;
        StoreError err;
        Dispatch::syncOnMain([&] { result = fetchItems(request, &err); });
        setError(error, err.code, err.message);
        return result;
    }
    Private& p = *d;
    if (request.entityName != QLatin1String("ClipboardItem")) {
        setError(error, SQLITE_MISUSE, QStringLiteral("Not a ClipboardItem request: %1").arg(request.entityName));
        return {};
    }
    // A limit of 0 means no limit.
    const int limitValue = request.fetchLimit.value_or(0) > 0 ? *request.fetchLimit : 0;
    const bool limit = limitValue > 0;
    const int offset = std::max(0, request.fetchOffset);

    QByteArray sql = request.deferTextContent ? kItemSelectDeferred : kItemSelect;
    QVariantList binds;
    if (request.predicate) {
        sql += " WHERE ";
        const CompileContext cc{true, &p.knownTypes, limit && request.sortByTimestampDescending};
        if (!compile(*request.predicate, cc, sql, binds)) {
            setError(error, SQLITE_MISUSE,
                     QStringLiteral("Unsupported predicate: %1").arg(request.predicate->format()));
            return {};
        }
    }
    sql += request.sortByTimestampDescending ? " ORDER BY timestamp DESC, pk DESC" : " ORDER BY pk";

    // Objects with unsaved changes are judged in memory; their stored rows are left out.
    const bool merge = !p.insertedItems.empty() || !p.updatedItems.empty() || !p.deletedItems.empty();
    QSet<qint64> excluded;
    std::vector<ClipboardItemPtr> pending;
    if (merge) {
        for (const auto& [key, item] : p.updatedItems)
            excluded.insert(key);
        for (const auto& [key, item] : p.deletedItems)
            excluded.insert(key);
        for (const auto* map : {&p.insertedItems, &p.updatedItems})
            for (const auto& [key, item] : *map)
                if (!request.predicate || request.predicate->evaluate(*item))
                    pending.push_back(item);
    }
    if (limit && merge)
        sql += " LIMIT " + QByteArray::number(qint64(limitValue) + offset + excluded.size());
    else if (limit)
        sql += " LIMIT " + QByteArray::number(limitValue) + " OFFSET " + QByteArray::number(offset);
    else if (!merge && offset > 0)
        sql += " LIMIT -1 OFFSET " + QByteArray::number(offset);

    std::vector<ClipboardItemPtr> result;
    const bool ran = p.selectRows(sql, binds, error, [&](sqlite3_stmt* row) {
        if (!(merge && excluded.contains(sqlite3_column_int64(row, 0))))
            result.push_back(materializeItem(row));
    });
    if (!ran)
        return {};
    if (!merge)
        return result;
    result.insert(result.end(), pending.begin(), pending.end());
    if (request.sortByTimestampDescending)
        std::stable_sort(result.begin(), result.end(), newerFirst);
    else
        std::stable_sort(result.begin(), result.end(),
                         [](const auto& a, const auto& b) { return a->primaryKey() < b->primaryKey(); });
    if (offset >= int(result.size()))
        return {};
    result.erase(result.begin(), result.begin() + offset);
    if (limit && int(result.size()) > limitValue)
        result.resize(limitValue);
    return result;
}

std::vector<ClipboardItemPtr> ManagedObjectContext::itemsForKeys(const std::vector<qint64>& keys, StoreError* error) {
    Private& p = *d;
    std::vector<ClipboardItemPtr> result;
    if (keys.empty())
        return result;
    QHash<qint64, ClipboardItemPtr> found;
    constexpr size_t kChunk = 500; // well below SQLite's limit on parameters
    for (size_t from = 0; from < keys.size(); from += kChunk) {
        const size_t to = std::min(keys.size(), from + kChunk);
        QByteArray sql = QByteArray(kItemSelectDeferred) + " WHERE pk IN (";
        QVariantList binds;
        for (size_t i = from; i < to; ++i) {
            sql += i > from ? ",?" : "?";
            binds << keys[i];
        }
        sql += ")";
        if (!p.selectRows(sql, binds, error, [&](sqlite3_stmt* row) {
                auto item = materializeItem(row);
                if (!item->m_deleted)
                    found.insert(item->m_key, item);
            }))
            return {};
    }
    for (const qint64 key : keys)
        if (const auto it = found.constFind(key); it != found.cend())
            result.push_back(*it);
    return result;
}

QSet<QString> ManagedObjectContext::knownTypes() const {
    return d->knownTypes;
}

std::vector<SourceAppPtr> ManagedObjectContext::fetchSourceApps(const FetchRequest& request, StoreError* error) {
    if (!onOwnThread()) {
        std::vector<SourceAppPtr> result;
        StoreError err;
        Dispatch::syncOnMain([&] { result = fetchSourceApps(request, &err); });
        setError(error, err.code, err.message);
        return result;
    }
    Private& p = *d;
    QByteArray sql = kAppSelect;
    QVariantList binds;
    if (request.predicate) {
        sql += " WHERE ";
        if (!compile(*request.predicate, CompileContext{false, &p.knownTypes}, sql, binds)) {
            setError(error, SQLITE_MISUSE,
                     QStringLiteral("Unsupported predicate: %1").arg(request.predicate->format()));
            return {};
        }
    }
    sql += " ORDER BY pk";
    std::vector<SourceAppPtr> result;
    const bool ran = p.selectRows(sql, binds, error, [&](sqlite3_stmt* row) {
        const qint64 key = sqlite3_column_int64(row, 0);
        if (!p.updatedApps.count(key) && !p.deletedApps.count(key))
            result.push_back(materializeApp(row));
    });
    if (!ran)
        return {};
    for (const auto* map : {&p.insertedApps, &p.updatedApps})
        for (const auto& [key, app] : *map)
            if (!request.predicate || request.predicate->evaluate(*app))
                result.push_back(app);
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a->primaryKey() < b->primaryKey(); });
    const int offset = std::max(0, request.fetchOffset);
    if (offset >= int(result.size()))
        return {};
    result.erase(result.begin(), result.begin() + offset);
    if (request.fetchLimit && *request.fetchLimit > 0 && int(result.size()) > *request.fetchLimit)
        result.resize(*request.fetchLimit);
    return result;
}

qint64 ManagedObjectContext::count(const FetchRequest& request, StoreError* error) {
    if (!onOwnThread()) {
        qint64 n = 0;
        StoreError err;
        Dispatch::syncOnMain([&] { n = count(request, &err); });
        setError(error, err.code, err.message);
        return n;
    }
    if (request.entityName == QLatin1String("SourceApp"))
        return qint64(fetchSourceApps(request, error).size());
    Private& p = *d;
    const bool merge = !p.insertedItems.empty() || !p.updatedItems.empty() || !p.deletedItems.empty();
    if (merge)
        return qint64(fetchItems(request, error).size());
    QByteArray sql = "SELECT count(*) FROM (SELECT pk FROM ClipboardItem";
    QVariantList binds;
    if (request.predicate) {
        sql += " WHERE ";
        if (!compile(*request.predicate, CompileContext{true, &p.knownTypes}, sql, binds)) {
            setError(error, SQLITE_MISUSE,
                     QStringLiteral("Unsupported predicate: %1").arg(request.predicate->format()));
            return 0;
        }
    }
    const bool limited = request.fetchLimit && *request.fetchLimit > 0;
    sql += " LIMIT " + QByteArray::number(limited ? *request.fetchLimit : -1) + " OFFSET " +
           QByteArray::number(std::max(0, request.fetchOffset)) + ")";
    StoreError err;
    sqlite3_stmt* raw = p.prepare(sql, &err);
    if (!raw) {
        setError(error, err.code, err.message);
        return 0;
    }
    Stmt s(p.db, raw);
    s.bindAll(binds);
    const int rc = s.step();
    if (rc != SQLITE_ROW) {
        setError(error, rc, errorText(p.db, rc));
        return 0;
    }
    return sqlite3_column_int64(raw, 0);
}

void ManagedObjectContext::readItemRow(ClipboardItem& item, sqlite3_stmt* row) {
    const OptString id = optTextOf(row, 1);
    item.m_id = id ? std::optional<QUuid>(QUuid::fromString(*id)) : std::nullopt;
    item.m_type = optTextOf(row, 2);
    item.m_timestamp = sqlite3_column_type(row, 3) == SQLITE_NULL
                           ? std::nullopt
                           : std::optional<QDateTime>(fromSeconds(sqlite3_column_double(row, 3)));
    item.m_isFavorite = sqlite3_column_type(row, 4) == SQLITE_NULL
                            ? std::nullopt
                            : std::optional<bool>(sqlite3_column_int64(row, 4) != 0);
    const qint64 appKey = sqlite3_column_type(row, 5) == SQLITE_NULL ? 0 : sqlite3_column_int64(row, 5);
    if (appKey != item.m_sourceAppKey || !appKey)
        item.m_sourceApp.reset();
    item.m_sourceAppKey = appKey;
    item.m_filePath = optTextOf(row, 6);
    item.m_preview = optTextOf(row, 7);
    item.m_urlPreviewTitle = optTextOf(row, 8);
    item.m_urlPreviewDescription = optTextOf(row, 9);
    const bool deferred = std::strncmp(sqlite3_column_name(row, 10), "typeof", 6) == 0;
    item.m_textContent = deferred ? std::nullopt : optTextOf(row, 10);
    // A page reads how many further files there are; the list, which may be megabytes, on first use.
    item.m_additionalFilePaths.clear();
    if (deferred) {
        item.m_additionalFileCount = sqlite3_column_int64(row, 11);
    } else {
        item.m_additionalFilePaths = pathListOf(row, 11);
        item.m_additionalFileCount = item.m_additionalFilePaths.size();
    }
    item.m_richTextData.reset();
    item.m_imageData.reset();
    item.m_originalImageData.reset();
    item.m_urlPreviewImageData.reset();
    item.m_documentFormats.reset();
    item.m_blobsPending = kItemBlobs;
    if (deferred && textOf(row, 10) != QLatin1String("null"))
        item.m_blobsPending |= ClipboardItem::TextContent;
    if (item.m_additionalFileCount > 0 && item.m_additionalFilePaths.isEmpty())
        item.m_blobsPending |= ClipboardItem::AdditionalFilePaths;
}

ClipboardItemPtr ManagedObjectContext::materializeItem(sqlite3_stmt* row) {
    const qint64 key = sqlite3_column_int64(row, 0);
    auto it = d->items.find(key);
    if (it != d->items.end())
        if (auto live = it->lock())
            return live;
    auto item = std::make_shared<ClipboardItem>();
    item->m_context = this;
    item->m_key = key;
    readItemRow(*item, row);
    d->sweep(d->items);
    d->items.insert(key, item);
    return item;
}

SourceAppPtr ManagedObjectContext::materializeApp(sqlite3_stmt* row) {
    const qint64 key = sqlite3_column_int64(row, 0);
    auto it = d->apps.find(key);
    if (it != d->apps.end())
        if (auto live = it->lock())
            return live;
    auto app = std::make_shared<SourceApp>();
    app->m_context = this;
    app->m_key = key;
    app->m_appName = optTextOf(row, 1);
    app->m_bundleId = optTextOf(row, 2);
    app->m_blobsPending = kAppBlobs;
    d->sweep(d->apps);
    d->apps.insert(key, app);
    return app;
}

std::shared_ptr<ManagedObject> ManagedObjectContext::existingObject(const QString& objectID, StoreError* error) {
    if (!onOwnThread()) {
        std::shared_ptr<ManagedObject> result;
        StoreError err;
        Dispatch::syncOnMain([&] { result = existingObject(objectID, &err); });
        setError(error, err.code, err.message);
        return result;
    }
    static const QRegularExpression re(QStringLiteral("^tindralume://(ClipboardItem|SourceApp)/p([0-9]{1,18})$"));
    const QRegularExpressionMatch m = re.match(objectID);
    if (!m.hasMatch()) {
        setError(error, SQLITE_NOTFOUND, QStringLiteral("Not an object ID of this store: %1").arg(objectID));
        return nullptr;
    }
    const bool isItem = m.captured(1) == QLatin1String("ClipboardItem");
    const qint64 key = m.captured(2).toLongLong();
    std::shared_ptr<ManagedObject> live;
    if (isItem) {
        auto it = d->items.find(key);
        if (it != d->items.end())
            live = it->lock();
    } else {
        auto it = d->apps.find(key);
        if (it != d->apps.end())
            live = it->lock();
    }
    if (live) {
        if (!live->m_deleted)
            return live;
        setError(error, SQLITE_NOTFOUND, QStringLiteral("The object %1 has been deleted").arg(objectID));
        return nullptr;
    }
    const QByteArray sql = QByteArray(isItem ? kItemSelect : kAppSelect) + " WHERE pk = ?";
    StoreError err;
    sqlite3_stmt* raw = d->prepare(sql, &err);
    if (!raw) {
        setError(error, err.code, err.message);
        return nullptr;
    }
    Stmt s(d->db, raw);
    s.bind(1, key);
    const int rc = s.step();
    if (rc == SQLITE_ROW) {
        if (isItem)
            return materializeItem(raw);
        return materializeApp(raw);
    }
    if (rc == SQLITE_DONE)
        setError(error, SQLITE_NOTFOUND, QStringLiteral("No object for %1").arg(objectID));
    else
        setError(error, rc, errorText(d->db, rc));
    return nullptr;
}

ClipboardItemPtr ManagedObjectContext::existingClipboardItem(const QString& objectID, StoreError* error) {
    return std::dynamic_pointer_cast<ClipboardItem>(existingObject(objectID, error));
}

void ManagedObjectContext::performBlock(std::function<void()> fn) {
    Dispatch::onMain(this, std::move(fn));
}

void ManagedObjectContext::performBlockAndWait(const std::function<void()>& fn) {
    if (onOwnThread())
        fn();
    else
        Dispatch::syncOnMain(fn);
}

std::vector<ClipboardItemPtr> ManagedObjectContext::itemsWithDigest(const QString& type, const QByteArray& digest,
                                                                    StoreError* error) {
    Private& p = *d;
    std::vector<ClipboardItemPtr> result;
    if (digest.isEmpty())
        return result;
    // Texts are read only for the candidates compared: a large one may never need to be.
    const bool ran = p.selectRows(QByteArray(kItemSelectDeferred) + " WHERE type = ? AND contentDigest = ? ORDER BY pk",
                                  {type, digest}, error, [&](sqlite3_stmt* row) {
                                      const qint64 key = sqlite3_column_int64(row, 0);
                                      if (!p.updatedItems.count(key) && !p.deletedItems.count(key))
                                          result.push_back(materializeItem(row));
                                  });
    if (!ran)
        return {};
    for (const auto* map : {&p.insertedItems, &p.updatedItems}) {
        for (const auto& [key, item] : *map) {
            if (item->type() != type)
                continue;
            if (itemColumnValue(*item, "contentDigest").toByteArray() == digest)
                result.push_back(item);
        }
    }
    std::stable_sort(result.begin(), result.end(),
                     [](const auto& a, const auto& b) { return a->primaryKey() < b->primaryKey(); });
    return result;
}

QByteArray ManagedObjectContext::contentDigest(const QString& type, const OptString& text, const OptData& imageData,
                                               const OptData& originalImageData, const OptString& filePath) {
    if (const std::optional<QByteArray> ahead = PrecomputedContent::digest(type, text, imageData, originalImageData))
        return *ahead;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (type == QLatin1String("text") || type == QLatin1String("richText") || type == QLatin1String("url")) {
        if (!text)
            return {};
        // Canonically equivalent texts are equal, so they must share a digest.
        hash.addData(TextFolding::normalized(*text, QString::NormalizationForm_C).toUtf8());
    } else if (type == QLatin1String("image")) {
        const OptData& bytes = originalImageData ? originalImageData : imageData;
        if (!bytes)
            return {};
        hash.addData(*bytes);
    } else if (type == QLatin1String("file")) {
        if (!filePath)
            return {};
        hash.addData(TextFolding::normalized(*filePath, QString::NormalizationForm_C).toUtf8());
    } else {
        return {};
    }
    return hash.result();
}

void ManagedObjectContext::loadBlob(const ClipboardItem& item, quint32 field) {
    if (!onOwnThread()) {
        Dispatch::syncOnMain([&] { loadBlob(item, field); });
        return;
    }
    OptData* target = nullptr;
    switch (field) {
    case ClipboardItem::ImageData:
        target = &item.m_imageData;
        break;
    case ClipboardItem::OriginalImageData:
        target = &item.m_originalImageData;
        break;
    case ClipboardItem::RichTextData:
        target = &item.m_richTextData;
        break;
    case ClipboardItem::UrlPreviewImageData:
        target = &item.m_urlPreviewImageData;
        break;
    case ClipboardItem::DocumentFormats:
        target = &item.m_documentFormats;
        break;
    case ClipboardItem::AdditionalFilePaths: {
        if (!(item.m_blobsPending & field))
            return;
        item.m_blobsPending &= ~field;
        sqlite3_stmt* raw = d->prepare("SELECT additionalFilePaths FROM ClipboardItem WHERE pk = ?", nullptr);
        if (!raw)
            return;
        Stmt s(d->db, raw);
        s.bind(1, item.m_key);
        if (s.step() == SQLITE_ROW)
            item.m_additionalFilePaths = pathListOf(raw, 0);
        return;
    }
    case ClipboardItem::TextContent: {
        if (!(item.m_blobsPending & field))
            return;
        item.m_blobsPending &= ~field;
        sqlite3_stmt* raw = d->prepare("SELECT textContent FROM ClipboardItem WHERE pk = ?", nullptr);
        if (!raw)
            return;
        Stmt s(d->db, raw);
        s.bind(1, item.m_key);
        if (s.step() == SQLITE_ROW)
            item.m_textContent = optTextOf(raw, 0);
        return;
    }
    default:
        return;
    }
    if (!(item.m_blobsPending & field))
        return;
    item.m_blobsPending &= ~field;
    sqlite3_stmt* raw = d->prepare(QByteArray("SELECT ") + ClipboardItem::lazyColumn(ClipboardItem::Field(field)) +
                                       " FROM ClipboardItem WHERE pk = ?",
                                   nullptr);
    if (!raw)
        return;
    Stmt s(d->db, raw);
    s.bind(1, item.m_key);
    if (s.step() == SQLITE_ROW)
        *target = optBlobOf(raw, 0);
}

void ManagedObjectContext::loadBlob(const SourceApp& app, quint32 field) {
    if (!onOwnThread()) {
        Dispatch::syncOnMain([&] { loadBlob(app, field); });
        return;
    }
    const char* column = field == SourceApp::IconData ? "iconData" : "dominantColorData";
    OptData* target = field == SourceApp::IconData ? &app.m_iconData : &app.m_dominantColorData;
    if (!(app.m_blobsPending & field))
        return;
    app.m_blobsPending &= ~field;
    sqlite3_stmt* raw = d->prepare(QByteArray("SELECT ") + column + " FROM SourceApp WHERE pk = ?", nullptr);
    if (!raw)
        return;
    Stmt s(d->db, raw);
    s.bind(1, app.m_key);
    if (s.step() == SQLITE_ROW)
        *target = optBlobOf(raw, 0);
}

SourceAppPtr ManagedObjectContext::sourceAppForKey(qint64 key) {
    if (!onOwnThread()) {
        SourceAppPtr result;
        Dispatch::syncOnMain([&] { result = sourceAppForKey(key); });
        return result;
    }
    auto it = d->apps.find(key);
    if (it != d->apps.end())
        if (auto live = it->lock())
            return live;
    sqlite3_stmt* raw = d->prepare(QByteArray(kAppSelect) + " WHERE pk = ?", nullptr);
    if (!raw)
        return nullptr;
    Stmt s(d->db, raw);
    s.bind(1, key);
    if (s.step() == SQLITE_ROW)
        return materializeApp(raw);
    return nullptr;
}

void ManagedObjectContext::rowSavedElsewhere(const QString& objectID, const QString& type) {
    Private& p = *d;
    if (!type.isEmpty())
        p.knownTypes.insert(type);
    const qsizetype at = objectID.lastIndexOf(QLatin1String("/p"));
    if (at < 0 || !objectID.startsWith(QLatin1String("tindralume://ClipboardItem/")))
        return;
    const auto it = p.items.find(objectID.mid(at + 2).toLongLong());
    const ClipboardItemPtr item = it != p.items.end() ? it->lock() : nullptr;
    if (!item || item->hasChanges() || item->m_deleted)
        return;
    sqlite3_stmt* row = p.prepare(QByteArray(kItemSelectDeferred) + " WHERE pk = ?", nullptr);
    if (!row)
        return;
    Stmt s(p.db, row);
    s.bind(1, item->m_key);
    if (s.step() == SQLITE_ROW)
        readItemRow(*item, row);
}

void ManagedObjectContext::refreshAllObjects() {
    Private& p = *d;
    std::vector<ClipboardItemPtr> items;
    std::vector<SourceAppPtr> apps;
    for (const auto& weak : std::as_const(p.items))
        if (auto item = weak.lock(); item && !item->hasChanges() && !item->m_deleted)
            items.push_back(item);
    for (const auto& weak : std::as_const(p.apps))
        if (auto app = weak.lock(); app && !app->hasChanges() && !app->m_deleted)
            apps.push_back(app);
    sqlite3_stmt* itemRow = p.prepare(QByteArray(kItemSelectDeferred) + " WHERE pk = ?", nullptr);
    for (const ClipboardItemPtr& item : items) {
        if (!itemRow)
            break;
        Stmt s(p.db, itemRow);
        s.bind(1, item->m_key);
        const int rc = s.step();
        if (rc == SQLITE_ROW) {
            readItemRow(*item, itemRow);
        } else if (rc == SQLITE_DONE) {
            item->m_deleted = item->m_deletedSaved = true;
            p.items.remove(item->m_key);
        }
    }
    sqlite3_stmt* appRow = p.prepare(QByteArray(kAppSelect) + " WHERE pk = ?", nullptr);
    for (const SourceAppPtr& app : apps) {
        if (!appRow)
            break;
        Stmt s(p.db, appRow);
        s.bind(1, app->m_key);
        const int rc = s.step();
        if (rc == SQLITE_ROW) {
            app->m_appName = optTextOf(appRow, 1);
            app->m_bundleId = optTextOf(appRow, 2);
            app->m_iconData.reset();
            app->m_dominantColorData.reset();
            app->m_blobsPending = kAppBlobs;
        } else if (rc == SQLITE_DONE) {
            app->m_deleted = app->m_deletedSaved = true;
            p.apps.remove(app->m_key);
        }
    }
}
