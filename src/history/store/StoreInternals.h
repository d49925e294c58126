// SPDX-License-Identifier: MIT
#pragma once

// The pieces the files of ManagedObjectContext share: the tables, the row helpers, the statement
// wrapper and the context's state. Nothing outside history/store includes this.
#include "history/store/KeyAllocator.h"
#include "history/store/ManagedObjectContext.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace StoreInternals {

inline constexpr int kSchemaVersion = 4;

// Columns in storage order: the small ones first, searched text next, large binary data last, so
// paging and searching never walk a row's overflow pages.
struct Column {
    const char* name;
    const char* decl;
    bool derived;
};

inline const std::vector<Column> kItemColumns = {
    {"id", "TEXT", false},
    {"type", "TEXT", false},
    {"timestamp", "REAL", false},
    {"isFavorite", "INTEGER", false},
    {"sourceApp", "INTEGER REFERENCES SourceApp(pk) ON DELETE SET NULL", false},
    {"filePath", "TEXT", false},
    {"preview", "TEXT", false},
    {"urlPreviewTitle", "TEXT", false},
    {"urlPreviewDescription", "TEXT", false},
    {"contentDigest", "BLOB", true},
    {"isColor", "INTEGER", true},
    // Added in schema version 2: a JSON array of the files after filePath; NULL for a single file.
    {"additionalFilePaths", "TEXT", false},
    {"textContent", "TEXT", false},
    {"imageData", "BLOB", false},
    {"originalImageData", "BLOB", false},
    {"richTextData", "BLOB", false},
    {"urlPreviewImageData", "BLOB", false},
    // Added in schema version 3.
    {"documentFormats", "BLOB", false},
};
// Version 4 adds the names of a copy's further files to its search row.

inline const std::vector<Column> kAppColumns = {
    {"appName", "TEXT", false},           {"bundleId", "TEXT", false}, {"appNameFolded", "TEXT", true},
    {"dominantColorData", "BLOB", false}, {"iconData", "BLOB", false},
};

// Folded copies of the searched texts, in a narrow table of their own so that a search reads only
// them. Most previews are their text or its beginning followed by "...", so the preview is stored
// only as far as it can add matches to the text's:
//   previewInText 0: previewFolded is the whole folded preview (or NULL without a preview), and
//                    for a copy of several files the names of the others, a line each;
//   previewInText 1: the preview is part of the text; previewFolded is NULL;
//   previewInText 2: the preview is a part of the text followed by "..."; previewFolded keeps its
//                    last kPreviewTail characters, so a needle of up to kPreviewTail characters
//                    that runs into the dots is still found there. Longer needles with a "." in
//                    them read the preview itself.
//   previewInText 3: the text is too large to keep folded beside it (it would double its space):
//                    textFolded is NULL and searches fold the text itself as they read it;
//                    previewFolded is the whole folded preview.
inline const std::vector<Column> kSearchColumns = {
    {"textFolded", "TEXT", true},
    {"previewFolded", "TEXT", true},
    {"previewInText", "INTEGER", true},
};

inline constexpr const char* kItemSelect =
    "SELECT pk, id, type, timestamp, isFavorite, sourceApp, filePath, preview, "
    "urlPreviewTitle, urlPreviewDescription, textContent, additionalFilePaths FROM ClipboardItem";
// The same columns with the text's storage class in place of the text (typeof() reads no content)
// and the number of further files in place of their list.
inline constexpr const char* kItemSelectDeferred =
    "SELECT pk, id, type, timestamp, isFavorite, sourceApp, filePath, preview, "
    "urlPreviewTitle, urlPreviewDescription, typeof(textContent), tl_path_count(additionalFilePaths) "
    "FROM ClipboardItem";
inline constexpr const char* kAppSelect = "SELECT pk, appName, bundleId FROM SourceApp";

inline constexpr quint32 kItemBlobs = ClipboardItem::ImageData | ClipboardItem::OriginalImageData |
                                      ClipboardItem::RichTextData | ClipboardItem::UrlPreviewImageData |
                                      ClipboardItem::DocumentFormats;
inline constexpr quint32 kAppBlobs = SourceApp::IconData | SourceApp::DominantColorData;

inline QString errorText(sqlite3* db, int code) {
    const char* msg = db ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    return QStringLiteral("%1 (SQLite code %2)").arg(QString::fromUtf8(msg)).arg(code);
}

inline void setError(StoreError* error, int code, const QString& message) {
    if (error) {
        error->code = code;
        error->message = message;
    }
}

inline QString textOf(sqlite3_stmt* s, int col) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, col));
    return QString::fromUtf8(p, sqlite3_column_bytes(s, col));
}

inline OptString optTextOf(sqlite3_stmt* s, int col) {
    if (sqlite3_column_type(s, col) == SQLITE_NULL)
        return std::nullopt;
    return textOf(s, col);
}

inline OptData optBlobOf(sqlite3_stmt* s, int col) {
    if (sqlite3_column_type(s, col) == SQLITE_NULL)
        return std::nullopt;
    const void* p = sqlite3_column_blob(s, col);
    const int n = sqlite3_column_bytes(s, col);
    return n > 0 ? QByteArray(static_cast<const char*>(p), n) : QByteArray("");
}

inline double toSeconds(const QDateTime& t) {
    return t.toMSecsSinceEpoch() / 1000.0;
}

inline QDateTime fromSeconds(double s) {
    return QDateTime::fromMSecsSinceEpoch(std::llround(s * 1000.0));
}

inline QByteArray utf8(const QString& s) {
    return s.toUtf8();
}

// A preview that is its text's beginning followed by "..." keeps this many folded characters of its
// end in the search table.
inline constexpr qsizetype kPreviewTail = 32;
// Texts of at least this many characters are not kept folded in the search table.
inline constexpr qsizetype kUnfoldedTextSize = LargeText::minimumUtf16Size;
inline const QByteArray kSearchInsert = "INSERT OR REPLACE INTO ClipboardItemSearch (pk, textFolded, previewFolded, "
                                        "previewInText) VALUES (?, ?, ?, ?)";

QVariant optVariant(const OptString& v);
QVariant optVariant(const OptData& v);
// The stored form of a list of paths: NULL when empty, else a JSON array.
QVariant pathListVariant(const QStringList& paths);
QStringList pathListOf(sqlite3_stmt* s, int col);
// How many paths pathListOf() reads from the stored form, without making them.
qint64 pathCount(const char* json, qsizetype size);
// The stored value of an entry's column, derived columns included.
QVariant itemColumnValue(const ClipboardItem& item, const char* name);
// The row of ClipboardItemSearch for an entry: pk, textFolded, previewFolded, previewInText.
QVariantList searchRow(const ClipboardItem& item, qint64 key);
QVariant appColumnValue(const SourceApp& app, const char* name);
// Columns to write for a change of the given attributes, derived columns included.
QList<const char*> itemColumnsFor(quint32 mask);
QList<const char*> appColumnsFor(quint32 mask);
QByteArray insertSql(const char* table, const std::vector<Column>& columns);
QByteArray updateSql(const char* table, const QList<const char*>& columns);

// The SQL functions the store's queries use (folding, contains, regular expressions).
void registerFunctions(sqlite3* db);

struct CompileContext {
    bool forItems = true;
    const QSet<QString>* knownTypes = nullptr;
    bool paged = false; // a limited fetch in timestamp order: it may stop at its last row
};
// Compiles a predicate to an SQL condition with positional parameters; false when it cannot.
bool compile(const Predicate& pred, const CompileContext& cc, QByteArray& sql, QVariantList& binds);

// A text value already in UTF-8, bound as it is.
struct Utf8Value {
    QByteArray bytes;
};

// Statement with parameters bound by position; finalized by the owner of the cache.
class Stmt {
public:
    Stmt(sqlite3* db, sqlite3_stmt* s) : m_db(db), m_s(s) {}
    ~Stmt() {
        if (m_s) {
            sqlite3_reset(m_s);
            sqlite3_clear_bindings(m_s);
        }
    }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    explicit operator bool() const { return m_s != nullptr; }
    sqlite3_stmt* get() const { return m_s; }

    void bind(int i, const QVariant& v) {
        switch (v.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            sqlite3_bind_null(m_s, i);
            break;
        case QMetaType::Double:
            sqlite3_bind_double(m_s, i, v.toDouble());
            break;
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Bool:
            sqlite3_bind_int64(m_s, i, v.toLongLong());
            break;
        case QMetaType::QByteArray: {
            // Kept until the statement is reset, so SQLite reads the bytes where they are instead
            // of making one more copy of a large value.
            const QByteArray& b = m_kept.emplace_back(v.toByteArray());
            sqlite3_bind_blob64(m_s, i, b.constData(), b.size(), SQLITE_STATIC);
            break;
        }
        default: {
            if (v.metaType() == QMetaType::fromType<Utf8Value>()) {
                const QByteArray& b = m_kept.emplace_back(v.value<Utf8Value>().bytes);
                sqlite3_bind_text64(m_s, i, b.constData(), b.size(), SQLITE_STATIC, SQLITE_UTF8);
                break;
            }
            const QByteArray& b = m_kept.emplace_back(utf8(v.toString()));
            sqlite3_bind_text64(m_s, i, b.constData(), b.size(), SQLITE_STATIC, SQLITE_UTF8);
            break;
        }
        }
    }
    void bindText(int i, const OptString& v) {
        if (!v) {
            sqlite3_bind_null(m_s, i);
            return;
        }
        const QByteArray& b = m_kept.emplace_back(utf8(*v));
        sqlite3_bind_text64(m_s, i, b.constData(), b.size(), SQLITE_STATIC, SQLITE_UTF8);
    }
    void bindBlob(int i, const OptData& v) {
        if (!v) {
            sqlite3_bind_null(m_s, i);
            return;
        }
        sqlite3_bind_blob64(m_s, i, v->constData(), v->size(), SQLITE_TRANSIENT);
    }
    void bindAll(const QVariantList& values) {
        for (int i = 0; i < values.size(); ++i)
            bind(i + 1, values[i]);
    }
    int step() { return sqlite3_step(m_s); }

private:
    sqlite3* m_db;
    sqlite3_stmt* m_s;
    std::deque<QByteArray> m_kept; // values bound without a copy; a deque keeps their addresses
};

} // namespace StoreInternals

struct ManagedObjectContext::Private {
    sqlite3* db = nullptr;
    KeyAllocator itemKeys{"ClipboardItem"};
    KeyAllocator appKeys{"SourceApp"};
    // Keys handed out without a claim in the store; checked again when saving.
    std::set<qint64> provisionalItemKeys, provisionalAppKeys;
    QHash<qint64, std::weak_ptr<ClipboardItem>> items;
    QHash<qint64, std::weak_ptr<SourceApp>> apps;
    qsizetype sweepAt = 1024;
    std::map<qint64, ClipboardItemPtr> insertedItems, updatedItems, deletedItems;
    std::map<qint64, SourceAppPtr> insertedApps, updatedApps, deletedApps;
    QHash<QByteArray, sqlite3_stmt*> statements;
    QSet<QString> knownTypes; // every type stored (a superset after deletions)

    ~Private() {
        for (sqlite3_stmt* s : std::as_const(statements))
            sqlite3_finalize(s);
        if (db)
            sqlite3_close_v2(db);
    }

    // Runs a query, handing each row to onRow; false (error set) when it cannot be run to the end.
    template <class OnRow>
    bool selectRows(const QByteArray& sql, const QVariantList& binds, StoreError* error, OnRow&& onRow) {
        StoreError err;
        sqlite3_stmt* raw = prepare(sql, &err);
        if (!raw) {
            StoreInternals::setError(error, err.code, err.message);
            return false;
        }
        StoreInternals::Stmt s(db, raw);
        s.bindAll(binds);
        int rc;
        while ((rc = s.step()) == SQLITE_ROW)
            onRow(raw);
        if (rc != SQLITE_DONE) {
            StoreInternals::setError(error, rc, StoreInternals::errorText(db, rc));
            return false;
        }
        return true;
    }

    sqlite3_stmt* prepare(const QByteArray& sql, StoreError* error) {
        auto it = statements.find(sql);
        if (it != statements.end())
            return *it;
        if (statements.size() > 200) {
            for (sqlite3_stmt* s : std::as_const(statements))
                sqlite3_finalize(s);
            statements.clear();
        }
        sqlite3_stmt* s = nullptr;
        const int rc = sqlite3_prepare_v3(db, sql.constData(), sql.size(), SQLITE_PREPARE_PERSISTENT, &s, nullptr);
        if (rc != SQLITE_OK) {
            StoreInternals::setError(error, rc, StoreInternals::errorText(db, rc));
            return nullptr;
        }
        statements.insert(sql, s);
        return s;
    }

    bool exec(const char* sql, StoreError* error) {
        char* msg = nullptr;
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &msg);
        if (rc != SQLITE_OK) {
            StoreInternals::setError(
                error, rc, QStringLiteral("%1 (SQLite code %2)").arg(QString::fromUtf8(msg ? msg : "")).arg(rc));
            sqlite3_free(msg);
            return false;
        }
        return true;
    }

    qint64 scalar(const char* sql, bool* ok = nullptr) {
        sqlite3_stmt* s = nullptr;
        qint64 v = 0;
        bool good = sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK;
        if (good) {
            const int rc = sqlite3_step(s);
            if (rc == SQLITE_ROW)
                v = sqlite3_column_int64(s, 0);
            else if (rc != SQLITE_DONE)
                good = false;
        }
        sqlite3_finalize(s);
        if (ok)
            *ok = good;
        return v;
    }

    template <class T> void sweep(QHash<qint64, std::weak_ptr<T>>& map) {
        if (map.size() < sweepAt)
            return;
        map.removeIf([](auto it) { return it.value().expired(); });
        sweepAt = std::max<qsizetype>(1024, map.size() * 2);
    }
};
