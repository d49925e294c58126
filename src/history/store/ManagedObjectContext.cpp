// SPDX-License-Identifier: MIT
#include "history/store/ManagedObjectContext.h"

#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"
#include "platform/Dispatch.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

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

<<<<<<< HEAD
QVariant optVariant(const OptString& v) {
    return v ? QVariant(*v) : QVariant();
}
QVariant optVariant(const OptData& v) {
    return v ? QVariant(*v) : QVariant();
}

QVariant itemColumnValue(const ClipboardItem& item, const char* name) {
    const QLatin1String n(name);
    if (n == QLatin1String("id"))
        return item.id() ? QVariant(item.id()->toString(QUuid::WithoutBraces)) : QVariant();
    if (n == QLatin1String("type"))
        return optVariant(item.type());
    if (n == QLatin1String("timestamp"))
        return item.timestamp() ? QVariant(toSeconds(*item.timestamp())) : QVariant();
    if (n == QLatin1String("isFavorite"))
        return item.isFavorite() ? QVariant(qint64(*item.isFavorite() ? 1 : 0)) : QVariant();
    if (n == QLatin1String("sourceApp")) {
        const SourceAppPtr app = item.sourceApp();
        return app ? QVariant(app->primaryKey()) : QVariant();
    }
    if (n == QLatin1String("filePath"))
        return optVariant(item.filePath());
    if (n == QLatin1String("preview"))
        return optVariant(item.preview());
    if (n == QLatin1String("urlPreviewTitle"))
        return optVariant(item.urlPreviewTitle());
    if (n == QLatin1String("urlPreviewDescription"))
        return optVariant(item.urlPreviewDescription());
    if (n == QLatin1String("contentDigest")) {
        const QString type = item.type().value_or(QString());
        const bool image = type == QLatin1String("image");
        const QByteArray digest =
            ManagedObjectContext::contentDigest(type, item.textContent(), image ? item.imageData() : std::nullopt,
                                                image ? item.originalImageData() : std::nullopt, item.filePath());
        return digest.isEmpty() ? QVariant() : QVariant(digest);
    }
    if (n == QLatin1String("isColor"))
        return item.textContent() ? QVariant(qint64(RegexCache::matchesWhole(kColorPattern, *item.textContent())))
                                  : QVariant(qint64(0));
    if (n == QLatin1String("textContent"))
        return optVariant(item.textContent());
    if (n == QLatin1String("imageData"))
        return optVariant(item.imageData());
    if (n == QLatin1String("originalImageData"))
        return optVariant(item.originalImageData());
    if (n == QLatin1String("richTextData"))
        return optVariant(item.richTextData());
    if (n == QLatin1String("urlPreviewImageData"))
        return optVariant(item.urlPreviewImageData());
    return {};
}

constexpr qsizetype kPreviewTail = 32;

// The row of ClipboardItemSearch for an entry: pk, textFolded, previewFolded, previewInText.
QVariantList searchRow(const ClipboardItem& item, qint64 key) {
    const QString text = item.textContent() ? TextFolding::fold(*item.textContent()) : QString();
    QVariantList row{key, item.textContent() ? QVariant(text) : QVariant()};
    if (!item.preview()) {
        row << QVariant() << qint64(0);
        return row;
    }
    const QString preview = TextFolding::fold(*item.preview());
    const QLatin1String dots("...");
    if (item.textContent() && text.contains(preview))
        row << QVariant() << qint64(1);
    else if (item.textContent() && preview.endsWith(dots) && text.contains(preview.chopped(3)))
        row << QVariant(preview.right(kPreviewTail + 3)) << qint64(2);
    else
        row << QVariant(preview) << qint64(0);
    return row;
}

const QByteArray kSearchInsert = "INSERT OR REPLACE INTO ClipboardItemSearch (pk, textFolded, previewFolded, "
                                 "previewInText) VALUES (?, ?, ?, ?)";

QVariant appColumnValue(const SourceApp& app, const char* name) {
    const QLatin1String n(name);
    if (n == QLatin1String("appName"))
        return optVariant(app.appName());
    if (n == QLatin1String("bundleId"))
        return optVariant(app.bundleId());
    if (n == QLatin1String("appNameFolded"))
        return app.appName() ? QVariant(TextFolding::fold(*app.appName())) : QVariant();
    if (n == QLatin1String("dominantColorData"))
        return optVariant(app.dominantColorData());
    if (n == QLatin1String("iconData"))
        return optVariant(app.iconData());
    return {};
}

// Columns to write for a change of the given attributes, derived columns included.
QList<const char*> itemColumnsFor(quint32 mask) {
    QList<const char*> out;
    auto add = [&](quint32 bit, const char* name) {
        if (mask & bit)
            out << name;
    };
    add(ClipboardItem::Id, "id");
    add(ClipboardItem::Type, "type");
    add(ClipboardItem::Timestamp, "timestamp");
    add(ClipboardItem::IsFavorite, "isFavorite");
    add(ClipboardItem::SourceAppField, "sourceApp");
    add(ClipboardItem::FilePath, "filePath");
    add(ClipboardItem::Preview, "preview");
    add(ClipboardItem::UrlPreviewTitle, "urlPreviewTitle");
    add(ClipboardItem::UrlPreviewDescription, "urlPreviewDescription");
    if (mask & (ClipboardItem::Type | ClipboardItem::TextContent | ClipboardItem::ImageData |
                ClipboardItem::OriginalImageData | ClipboardItem::FilePath))
        out << "contentDigest";
    add(ClipboardItem::TextContent, "isColor");
    add(ClipboardItem::TextContent, "textContent");
    add(ClipboardItem::ImageData, "imageData");
    add(ClipboardItem::OriginalImageData, "originalImageData");
    add(ClipboardItem::RichTextData, "richTextData");
    add(ClipboardItem::UrlPreviewImageData, "urlPreviewImageData");
    return out;
}

QList<const char*> appColumnsFor(quint32 mask) {
    QList<const char*> out;
    if (mask & SourceApp::AppName)
        out << "appName"
            << "appNameFolded";
    if (mask & SourceApp::BundleId)
        out << "bundleId";
    if (mask & SourceApp::DominantColorData)
        out << "dominantColorData";
    if (mask & SourceApp::IconData)
        out << "iconData";
    return out;
}

QByteArray insertSql(const char* table, const std::vector<Column>& columns) {
    QByteArray sql = QByteArray("INSERT INTO ") + table + " (pk";
    QByteArray marks = "?";
    for (const Column& c : columns) {
        sql += QByteArray(", ") + c.name;
        marks += ", ?";
    }
    return sql + ") VALUES (" + marks + ")";
}

QByteArray updateSql(const char* table, const QList<const char*>& columns) {
    QByteArray sql = QByteArray("UPDATE ") + table + " SET ";
    for (int i = 0; i < columns.size(); ++i)
        sql += (i ? ", " : "") + QByteArray(columns[i]) + " = ?";
    return sql + " WHERE pk = ?";
}

} // namespace

bool ManagedObjectContext::backfillDerivedColumns(StoreError* error) {
    Private& p = *d;
    if (!p.exec("BEGIN IMMEDIATE", error))
        return false;
    bool ok = true;
    {
        sqlite3_stmt* sel = nullptr;
        sqlite3_prepare_v2(p.db,
                           "SELECT pk, type, textContent, filePath, preview, imageData, originalImageData "
                           "FROM ClipboardItem",
                           -1, &sel, nullptr);
        sqlite3_stmt* upd = nullptr;
        sqlite3_prepare_v2(p.db, "UPDATE ClipboardItem SET contentDigest = ?, isColor = ? WHERE pk = ?", -1, &upd,
                           nullptr);
        while (ok && sel && upd && sqlite3_step(sel) == SQLITE_ROW) {
            ClipboardItem item;
            item.m_type = optTextOf(sel, 1);
            item.m_textContent = optTextOf(sel, 2);
            item.m_filePath = optTextOf(sel, 3);
            item.m_preview = optTextOf(sel, 4);
            item.m_imageData = optBlobOf(sel, 5);
            item.m_originalImageData = optBlobOf(sel, 6);
            Stmt u(p.db, upd);
            u.bind(1, itemColumnValue(item, "contentDigest"));
            u.bind(2, itemColumnValue(item, "isColor"));
            u.bind(3, sqlite3_column_int64(sel, 0));
            ok = u.step() == SQLITE_DONE;
            if (ok) {
                sqlite3_stmt* ins = p.prepare(kSearchInsert, error);
                ok = ins != nullptr;
                if (ok) {
                    Stmt i(p.db, ins);
                    i.bindAll(searchRow(item, sqlite3_column_int64(sel, 0)));
                    ok = i.step() == SQLITE_DONE;
                }
            }
        }
        sqlite3_finalize(sel);
        sqlite3_finalize(upd);
        ok = ok && sel && upd;
    }
    ok = ok && p.exec("UPDATE SourceApp SET appNameFolded = NULL", error);
    if (ok) {
        sqlite3_stmt* sel = nullptr;
        sqlite3_prepare_v2(p.db, "SELECT pk, appName FROM SourceApp", -1, &sel, nullptr);
        sqlite3_stmt* upd = nullptr;
        sqlite3_prepare_v2(p.db, "UPDATE SourceApp SET appNameFolded = ? WHERE pk = ?", -1, &upd, nullptr);
        while (ok && sel && upd && sqlite3_step(sel) == SQLITE_ROW) {
            const OptString name = optTextOf(sel, 1);
            Stmt u(p.db, upd);
            u.bind(1, name ? QVariant(TextFolding::fold(*name)) : QVariant());
            u.bind(2, sqlite3_column_int64(sel, 0));
            ok = u.step() == SQLITE_DONE;
        }
        sqlite3_finalize(sel);
        sqlite3_finalize(upd);
        ok = ok && sel && upd;
    }
    if (ok && p.exec("COMMIT", error))
        return true;
    if (error && error->message.isEmpty())
        setError(error, sqlite3_errcode(p.db), errorText(p.db, sqlite3_errcode(p.db)));
    p.exec("ROLLBACK", nullptr);
    return false;
}

ClipboardItemPtr ManagedObjectContext::insertClipboardItem() {
    auto item = std::make_shared<ClipboardItem>();
    item->m_context = this;
    item->m_key = ++d->lastItemKey;
    item->m_inserted = true;
    d->sweep(d->items);
    d->items.insert(item->m_key, item);
    d->insertedItems.emplace(item->m_key, item);
    return item;
}

SourceAppPtr ManagedObjectContext::insertSourceApp() {
    auto app = std::make_shared<SourceApp>();
    app->m_context = this;
    app->m_key = ++d->lastAppKey;
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

bool ManagedObjectContext::save(StoreError* error) {
    if (!hasChanges())
        return true;
    Private& p = *d;
    StoreError err;
    auto fail = [&](int rc) {
        if (err.message.isEmpty())
            setError(&err, rc, errorText(p.db, rc));
        p.exec("ROLLBACK", nullptr);
        setError(error, err.code, err.message);
        return false;
    };
    if (!p.exec("BEGIN IMMEDIATE", &err))
        return fail(err.code);

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
    for (const auto& [key, item] : p.insertedItems) {
        QVariantList values{key};
        for (const Column& c : kItemColumns)
            values << itemColumnValue(*item, c.name);
        if (int rc = writeRow(itemInsert, values))
            return fail(rc);
        if (int rc = writeRow(kSearchInsert, searchRow(*item, key)))
            return fail(rc);
    }
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
        if (item->m_dirtyFields & (ClipboardItem::TextContent | ClipboardItem::Preview))
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
    // Keys handed out for objects deleted before their first save are never used again either.
    for (const auto& [name, last] : {std::pair{QStringLiteral("ClipboardItem"), p.lastItemKey},
                                     std::pair{QStringLiteral("SourceApp"), p.lastAppKey}}) {
        if (int rc = writeRow("UPDATE sqlite_sequence SET seq = max(seq, ?) WHERE name = ?", {last, name}))
            return fail(rc);
        if (sqlite3_changes(p.db) == 0)
            if (int rc = writeRow("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)", {name, last}))
                return fail(rc);
    }
    if (!p.exec("COMMIT", &err))
        return fail(err.code);

    for (const auto* map : {&p.insertedItems, &p.updatedItems})
        for (const auto& [key, item] : *map)
            if (item->type())
                p.knownTypes.insert(*item->type());
    auto settle = [](ManagedObject& o) {
        o.m_inserted = false;
        o.m_updated = false;
        o.m_dirtyFields = 0;
    };
    for (auto& [key, item] : p.insertedItems)
        settle(*item);
    for (auto& [key, item] : p.updatedItems)
        settle(*item);
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
    p.insertedItems.clear();
    p.updatedItems.clear();
    p.deletedItems.clear();
    p.insertedApps.clear();
    p.updatedApps.clear();
    p.deletedApps.clear();
    return true;
}

namespace {

struct CompileContext {
    bool forItems = true;
    const QSet<QString>* knownTypes = nullptr;
    bool paged = false; // a limited fetch in timestamp order: it may stop at its last row
};

// Compiles a predicate to an SQL condition with positional parameters.
bool compile(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds);

// A CONTAINS[cd] test on text and preview with the same needle reads the search table once. A page
// tests entries one by one in timestamp order and stops when it is full (a broad needle: a few rows
// read); without a limit every entry is tested anyway, and one pass over the search table is cheaper.
bool compileTextOrPreview(const QString& needle, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    const QString folded = TextFolding::fold(needle);
    if (cc.paged)
        sql += "EXISTS (SELECT 1 FROM ClipboardItemSearch s WHERE s.pk = ClipboardItem.pk AND "
               "(tl_contains2(s.textFolded, s.previewFolded, ?)";
    else
        sql += "pk IN (SELECT pk FROM ClipboardItemSearch s WHERE (tl_contains2(s.textFolded, s.previewFolded, ?)";
    binds << folded;
    if (folded.size() > kPreviewTail && folded.contains(QLatin1Char('.'))) {
        sql += " OR (s.previewInText = 2 AND s.pk IN (SELECT pk FROM ClipboardItem WHERE tl_contains(tl_fold(preview), "
               "?)))";
        binds << folded;
    }
    sql += "))";
    return true;
}

bool compileContains(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    const QString needle = TextFolding::fold(pred.string());
    switch (pred.field()) {
    case Predicate::Field::TextContent:
        sql += "pk IN (SELECT pk FROM ClipboardItemSearch WHERE tl_contains(textFolded, ?))";
        binds << needle;
        return true;
    case Predicate::Field::Preview:
        // The search table leaves out previews that are part of their text, so a test of the
        // preview alone (never made by the application's search) folds the stored preview itself.
        sql += "tl_contains(tl_fold(preview), ?)";
        binds << needle;
        return true;
    case Predicate::Field::Type: {
        // Few distinct types exist; the matching ones are listed so the type index answers.
        QStringList matching;
        if (cc.knownTypes)
            for (const QString& t : *cc.knownTypes)
                if (TextFolding::containsFolded(TextFolding::fold(t), needle))
                    matching << t;
        if (matching.isEmpty()) {
            sql += "0";
            return true;
        }
        sql += "type IN (";
        for (int i = 0; i < matching.size(); ++i) {
            sql += i ? ", ?" : "?";
            binds << matching[i];
        }
        sql += ")";
        return true;
    }
    case Predicate::Field::SourceAppName:
        sql += "sourceApp IN (SELECT pk FROM SourceApp WHERE tl_contains(appNameFolded, ?))";
        binds << needle;
        return true;
    }
    return false;
}

bool compile(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds) {
    using K = Predicate::Kind;
    switch (pred.kind()) {
    case K::And:
    case K::Or: {
        if (pred.parts().empty()) {
            sql += pred.kind() == K::And ? "1" : "0";
            return true;
        }
        std::vector<const Predicate*> parts;
        for (const Predicate& part : pred.parts())
            parts.push_back(&part);
        // Constant terms are left out: a literal in an OR keeps SQLite from answering the other
        // terms through their indexes.
        const QByteArray neutral = pred.kind() == K::And ? "1" : "0";
        QList<QByteArray> terms;
        for (size_t i = 0; i < parts.size(); ++i) {
            if (!parts[i])
                continue;
            QByteArray term;
            const Predicate& part = *parts[i];
            if (cc.forItems && pred.kind() == K::Or && part.kind() == K::ContainsCD &&
                (part.field() == Predicate::Field::TextContent || part.field() == Predicate::Field::Preview)) {
                const auto other = part.field() == Predicate::Field::TextContent ? Predicate::Field::Preview
                                                                                 : Predicate::Field::TextContent;
                auto partner = std::find_if(parts.begin() + i + 1, parts.end(), [&](const Predicate* q) {
                    return q && q->kind() == K::ContainsCD && q->field() == other && q->string() == part.string();
                });
                if (partner != parts.end()) {
                    *partner = nullptr;
                    compileTextOrPreview(part.string(), cc, term, binds);
                    terms << term;
                    continue;
                }
            }
            const qsizetype bindsBefore = binds.size();
            if (!compile(part, cc, term, binds))
                return false;
            if (term == neutral && binds.size() == bindsBefore)
                continue;
            terms << term;
        }
        if (terms.isEmpty()) {
            sql += neutral;
            return true;
        }
        sql += "(" + terms.join(pred.kind() == K::And ? " AND " : " OR ") + ")";
        return true;
    }
    case K::BundleIdEquals:
        if (cc.forItems)
            return false;
        sql += "bundleId = ?";
        binds << pred.string();
        return true;
    default:
        break;
    }
    if (!cc.forItems)
        return false;
    switch (pred.kind()) {
    case K::TypeEquals:
        sql += "type = ?";
        binds << pred.string();
        return true;
    case K::TypeIn: {
        if (pred.strings().isEmpty()) {
            sql += "0";
            return true;
        }
        // Unary plus: the planner should walk an ordered index (the colour index) rather than the
        // type index, which would need a sort of every entry of those types.
        sql += "+type IN (";
        for (int i = 0; i < pred.strings().size(); ++i) {
            sql += i ? ", ?" : "?";
            binds << pred.strings()[i];
        }
        sql += ")";
        return true;
    }
    case K::IsFavorite:
        sql += "isFavorite = 1";
        return true;
    case K::IsNotFavorite:
        sql += "isFavorite IS NOT 1";
        return true;
    case K::TimestampBefore:
        if (!pred.date().isValid())
            return false;
        sql += "timestamp < ?";
        binds << toSeconds(pred.date());
        return true;
    case K::TextMatches:
        // The colour filter is kept as a derived column with its own index.
        if (pred.string() == kColorPattern) {
            sql += "isColor = 1";
        } else {
            sql += "tl_regexp(?, textContent)";
            binds << pred.string();
        }
        return true;
    case K::ContainsCD:
        return compileContains(pred, cc, sql, binds);
    default:
        return false;
    }
}

=======
>>>>>>> main
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

    QByteArray sql = kItemSelect;
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
    item.m_textContent = optTextOf(row, 10);
    item.m_richTextData.reset();
    item.m_imageData.reset();
    item.m_originalImageData.reset();
    item.m_urlPreviewImageData.reset();
    item.m_blobsPending = kItemBlobs;
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
    const bool ran = p.selectRows(QByteArray(kItemSelect) + " WHERE type = ? AND contentDigest = ? ORDER BY pk",
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
    const char* column = nullptr;
    OptData* target = nullptr;
    switch (field) {
    case ClipboardItem::ImageData:
        column = "imageData";
        target = &item.m_imageData;
        break;
    case ClipboardItem::OriginalImageData:
        column = "originalImageData";
        target = &item.m_originalImageData;
        break;
    case ClipboardItem::RichTextData:
        column = "richTextData";
        target = &item.m_richTextData;
        break;
    case ClipboardItem::UrlPreviewImageData:
        column = "urlPreviewImageData";
        target = &item.m_urlPreviewImageData;
        break;
    default:
        return;
    }
    if (!(item.m_blobsPending & field))
        return;
    item.m_blobsPending &= ~field;
    sqlite3_stmt* raw = d->prepare(QByteArray("SELECT ") + column + " FROM ClipboardItem WHERE pk = ?", nullptr);
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
    sqlite3_stmt* itemRow = p.prepare(QByteArray(kItemSelect) + " WHERE pk = ?", nullptr);
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
