// SPDX-License-Identifier: MIT
// Opening the store: deciding whether the file is ours, creating and migrating the tables, and the
// SQL functions that searches use.
#include "history/store/QuickCheck.h"
#include "history/store/RegexCache.h"
#include "history/store/StoreFiles.h"
#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include <cstring>

using namespace StoreInternals;

namespace {

// How long the integrity check at opening may take.
constexpr int kQuickCheckBudgetMs = 3000;

const char* const kIndexes[] = {
    "CREATE INDEX IF NOT EXISTS ClipboardItem_timestamp ON ClipboardItem(timestamp)",
    "CREATE INDEX IF NOT EXISTS ClipboardItem_type_timestamp ON ClipboardItem(type, timestamp)",
    "CREATE INDEX IF NOT EXISTS ClipboardItem_digest ON ClipboardItem(type, contentDigest)",
    "CREATE INDEX IF NOT EXISTS ClipboardItem_color ON ClipboardItem(timestamp) WHERE isColor = 1",
    "CREATE INDEX IF NOT EXISTS ClipboardItem_favorite ON ClipboardItem(timestamp) WHERE isFavorite = 1",
    "CREATE INDEX IF NOT EXISTS ClipboardItem_sourceApp ON ClipboardItem(sourceApp)",
    "CREATE INDEX IF NOT EXISTS SourceApp_bundleId ON SourceApp(bundleId)",
};

// SQL functions of the store.
void sqlContains(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    const void* hay = sqlite3_value_blob(argv[0]);
    const int hayLen = sqlite3_value_bytes(argv[0]);
    const void* needle = sqlite3_value_blob(argv[1]);
    const int needleLen = sqlite3_value_bytes(argv[1]);
    if (needleLen == 0 || hayLen < needleLen || !hay || !needle) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int(ctx, memmem(hay, hayLen, needle, needleLen) != nullptr);
}

// A text contains a folded needle once folded itself; folded a piece at a time, so that no folded
// copy of a huge text is made. Characters fold one by one, so a piece may end at any of them.
void sqlContainsFolding(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const qsizetype n = sqlite3_value_bytes(argv[0]);
    const QByteArray needle(static_cast<const char*>(sqlite3_value_blob(argv[1])), sqlite3_value_bytes(argv[1]));
    if (!text || needle.isEmpty() || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    constexpr qsizetype kPiece = 1 << 20;
    QByteArray window;
    for (qsizetype at = 0; at < n;) {
        qsizetype end = std::min(n, at + kPiece);
        while (end < n && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
            ++end;
        TextFolding::foldUtf8(text + at, end - at, window);
        if (window.contains(needle)) {
            sqlite3_result_int(ctx, 1);
            return;
        }
        window = window.right(needle.size() - 1); // a match may run into the next piece
        at = end;
    }
    sqlite3_result_int(ctx, 0);
}

// Either of two texts contains the needle: one call per row for the search table.
void sqlContains2(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const int needleLen = sqlite3_value_bytes(argv[2]);
    const void* needle = sqlite3_value_blob(argv[2]);
    if (needleLen == 0 || !needle) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    for (int i = 0; i < 2; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            continue;
        const void* hay = sqlite3_value_blob(argv[i]);
        const int hayLen = sqlite3_value_bytes(argv[i]);
        if (hay && hayLen >= needleLen && memmem(hay, hayLen, needle, needleLen)) {
            sqlite3_result_int(ctx, 1);
            return;
        }
    }
    sqlite3_result_int(ctx, 0);
}

QString valueText(sqlite3_value* v) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
    return QString::fromUtf8(p, sqlite3_value_bytes(v));
}

void sqlPathCount(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    sqlite3_result_int64(ctx, p ? pathCount(p, sqlite3_value_bytes(argv[0])) : 0);
}

void sqlFold(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    const QByteArray folded = TextFolding::fold(QString::fromUtf8(p, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text64(ctx, folded.constData(), folded.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void sqlRegexp(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        sqlite3_result_int(ctx, 0);
        return;
    }
    sqlite3_result_int(ctx, RegexCache::matchesWhole(valueText(argv[0]), valueText(argv[1])));
}

struct TableInfo {
    bool exists = false;
    QSet<QString> columns;
    bool hasIntegerKey = false;
};

TableInfo tableInfo(sqlite3* db, const char* table) {
    TableInfo info;
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = QByteArray("PRAGMA table_info(") + table + ")";
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        return info;
    while (sqlite3_step(s) == SQLITE_ROW) {
        info.exists = true;
        const QString name = textOf(s, 1);
        info.columns.insert(name);
        if (name == QLatin1String("pk") && textOf(s, 2).compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0 &&
            sqlite3_column_int(s, 5) == 1)
            info.hasIntegerKey = true;
    }
    sqlite3_finalize(s);
    return info;
}

QByteArray createTableSql(const char* table, const std::vector<Column>& columns) {
    const bool derivedTable = std::all_of(columns.begin(), columns.end(), [](const Column& c) { return c.derived; });
    QByteArray sql = QByteArray("CREATE TABLE ") + table +
                     (derivedTable ? " (pk INTEGER PRIMARY KEY" : " (pk INTEGER PRIMARY KEY AUTOINCREMENT");
    for (const Column& c : columns)
        sql += QByteArray(", ") + c.name + " " + c.decl;
    return sql + ")";
}

static_assert(ManagedObjectContext::kOpenAbandoned == SQLITE_INTERRUPT);

} // namespace

void StoreInternals::registerFunctions(sqlite3* db) {
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    sqlite3_create_function_v2(db, "tl_contains", 2, flags, nullptr, sqlContains, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tl_regexp", 2, flags, nullptr, sqlRegexp, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tl_contains2", 3, flags, nullptr, sqlContains2, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tl_fold", 1, flags, nullptr, sqlFold, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tl_path_count", 1, flags, nullptr, sqlPathCount, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "tl_contains_folding", 2, flags, nullptr, sqlContainsFolding, nullptr, nullptr,
                               nullptr);
}

std::unique_ptr<ManagedObjectContext> ManagedObjectContext::open(const QString& path, StoreError* error,
                                                                 QuickCheck::Wait wait) {
    return openFile(path, error, true, wait);
}

std::unique_ptr<ManagedObjectContext> ManagedObjectContext::openAnother(const QString& path, StoreError* error) {
    // Closing a descriptor of the file, as the check below does, would drop every lock this process
    // holds on it, the open connection's included: another process could then take the store for
    // one nobody uses and remove its log.
    return openFile(path, error, false, QuickCheck::Wait::Blocking);
}

std::unique_ptr<ManagedObjectContext> ManagedObjectContext::openFile(const QString& path, StoreError* error,
                                                                     bool checkFile, QuickCheck::Wait wait) {
    const QFileInfo info(path);
    if (const QString link = StoreFiles::linkAmong(path); !link.isEmpty()) {
        setError(error, SQLITE_CANTOPEN,
                 QCoreApplication::translate("ManagedObjectContext",
                                             "The store file %1 is a symbolic link, which is never written through")
                     .arg(link));
        return nullptr;
    }
    // Everything that decides whether the file is ours happens before anything is written to it.
    if (checkFile && info.exists() && info.size() > 0) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            setError(error, SQLITE_CANTOPEN,
                     QCoreApplication::translate("ManagedObjectContext", "Cannot read the store file %1: %2")
                         .arg(path, f.errorString()));
            return nullptr;
        }
        if (f.read(16) != QByteArray("SQLite format 3\0", 16)) {
            setError(error, SQLITE_NOTADB,
                     QCoreApplication::translate("ManagedObjectContext", "The file %1 is not a database").arg(path));
            return nullptr;
        }
    }
    // A store that cannot be written would fail every save: it is refused as one that cannot be opened.
    if (info.exists() && StoreFiles::isWriteProtected(path)) {
        setError(error, SQLITE_READONLY,
                 QCoreApplication::translate("ManagedObjectContext", "The store file %1 is read-only").arg(path));
        return nullptr;
    }
    QString fileError;
    if (!StoreFiles::makeFolder(info.absolutePath(), &fileError) || !StoreFiles::createFile(path, &fileError)) {
        setError(error, SQLITE_CANTOPEN, fileError);
        return nullptr;
    }

    std::unique_ptr<ManagedObjectContext> ctx(new ManagedObjectContext);
    ctx->m_path = path;
    Private& p = *ctx->d;
    int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &p.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc != SQLITE_OK) {
        setError(error, rc, errorText(p.db, rc));
        return nullptr;
    }
    sqlite3_extended_result_codes(p.db, 1);
    if (sqlite3_db_readonly(p.db, "main") == 1) {
        setError(error, SQLITE_READONLY,
                 QCoreApplication::translate("ManagedObjectContext", "The store file %1 cannot be written").arg(path));
        return nullptr;
    }
    sqlite3_busy_timeout(p.db, 2000);
    registerFunctions(p.db);

    bool ok = false;
    const qint64 version = p.scalar("PRAGMA user_version", &ok);
    if (!ok) {
        rc = sqlite3_errcode(p.db);
        setError(error, rc,
                 QCoreApplication::translate("ManagedObjectContext", "Cannot read the store %1: %2")
                     .arg(path, errorText(p.db, rc)));
        return nullptr;
    }
    if (version > kSchemaVersion) {
        setError(
            error, SQLITE_ERROR,
            QCoreApplication::translate("ManagedObjectContext",
                                        "The store %1 has schema version %2; this version of Tindralume reads up to %3")
                .arg(path, QString::number(version), QString::number(kSchemaVersion)));
        return nullptr;
    }
    const qint64 tableCount = p.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table'", &ok);
    if (!ok) {
        rc = sqlite3_errcode(p.db);
        setError(error, rc,
                 QCoreApplication::translate("ManagedObjectContext", "Cannot read the store %1: %2")
                     .arg(path, errorText(p.db, rc)));
        return nullptr;
    }
    if (version == 0 && tableCount > 0) {
        setError(
            error, SQLITE_ERROR,
            QCoreApplication::translate("ManagedObjectContext", "The database %1 is not a Tindralume store").arg(path));
        return nullptr;
    }
    const TableInfo items = tableInfo(p.db, "ClipboardItem");
    const TableInfo apps = tableInfo(p.db, "SourceApp");
    const TableInfo search = tableInfo(p.db, "ClipboardItemSearch");
    if ((items.exists && !items.hasIntegerKey) || (apps.exists && !apps.hasIntegerKey) ||
        (search.exists && !search.hasIntegerKey)) {
        setError(error, SQLITE_ERROR,
                 QCoreApplication::translate("ManagedObjectContext",
                                             "The store %1 has tables this version of Tindralume cannot migrate")
                     .arg(path));
        return nullptr;
    }

    // A damaged page would make every later save fail: SQLite's quick check reads each page once. A
    // store too large to be checked in the time allowed is used unchecked rather than holding up the
    // start; a damaged one is neither used nor written.
    if (version > 0) {
        const QuickCheck::Result check = QuickCheck::run(path, kQuickCheckBudgetMs, wait);
        if (check.outcome == QuickCheck::Outcome::Abandoned) {
            setError(error, kOpenAbandoned,
                     QStringLiteral("Opening the store %1 was abandoned: the application is quitting").arg(path));
            return nullptr;
        }
        if (check.outcome == QuickCheck::Outcome::Damaged) {
            setError(error, SQLITE_CORRUPT,
                     QCoreApplication::translate("ManagedObjectContext", "The store %1 is damaged: %2")
                         .arg(path, check.finding));
            return nullptr;
        }
    }

    // The file is ours (or new): from here on it may be written. A store of an older version may
    // still be readable by others.
    StoreFiles::restrictToOwner(path);
    // Deleted entries give their pages back to the file system (StoreSpace). Takes effect only
    // while the store has no table: an older store is converted by one VACUUM later.
    if (tableCount == 0)
        p.exec("PRAGMA auto_vacuum = INCREMENTAL", nullptr);
    p.exec("PRAGMA journal_mode = WAL", nullptr);
    // A WAL that grew with a large transaction shrinks back after the next checkpoint.
    p.exec("PRAGMA journal_size_limit = 67108864", nullptr);
    // Debian's SQLite overwrites every freed page with zeros: clearing an 800 MB history wrote
    // 800 MB on the main thread and as much into the WAL. The pages are handed back to the file
    // system instead (StoreSpace), so nothing deleted stays readable in this file.
    p.exec("PRAGMA secure_delete = FAST", nullptr);
    // In WAL mode NORMAL keeps every committed transaction across a crash of the process.
    p.exec("PRAGMA synchronous = NORMAL", nullptr);
    p.exec("PRAGMA foreign_keys = ON", nullptr);
    // Room for the search table and the indexes: a search then reads no page from the file twice.
    p.exec("PRAGMA cache_size = -32768", nullptr);

    StoreError migrateError;
    bool migrated = p.exec("BEGIN IMMEDIATE", &migrateError);
    bool derivedAdded = false;
    auto migrateTable = [&](const char* table, const TableInfo& t, const std::vector<Column>& columns) {
        if (!migrated)
            return;
        if (!t.exists) {
            migrated = p.exec(createTableSql(table, columns).constData(), &migrateError);
            // A derived table added to a store that already has entries must be filled.
            derivedAdded = derivedAdded || (version > 0 && std::all_of(columns.begin(), columns.end(),
                                                                       [](const Column& c) { return c.derived; }));
            return;
        }
        for (const Column& c : columns) {
            if (t.columns.contains(QLatin1String(c.name)))
                continue;
            const QByteArray sql = QByteArray("ALTER TABLE ") + table + " ADD COLUMN " + c.name + " " + c.decl;
            // A column with a REFERENCES clause can be added only with a NULL default, which it has.
            migrated = migrated && p.exec(sql.constData(), &migrateError);
            derivedAdded = derivedAdded || c.derived;
        }
    };
    migrateTable("SourceApp", apps, kAppColumns);
    migrateTable("ClipboardItem", items, kItemColumns);
    migrateTable("ClipboardItemSearch", search, kSearchColumns);
    for (const char* sql : kIndexes)
        migrated = migrated && p.exec(sql, &migrateError);
    if (migrated && version > 0 && version < 4)
        migrated = ctx->rebuildFileListSearchRows(&migrateError);
    if (migrated && version < kSchemaVersion)
        migrated = p.exec(QByteArray("PRAGMA user_version = " + QByteArray::number(kSchemaVersion)).constData(),
                          &migrateError);
    if (migrated)
        migrated = p.exec("COMMIT", &migrateError);
    if (!migrated) {
        p.exec("ROLLBACK", nullptr);
        setError(error, migrateError.code,
                 QCoreApplication::translate("ManagedObjectContext", "Cannot prepare the store %1: %2")
                     .arg(path, migrateError.message));
        return nullptr;
    }

    p.itemKeys.setLast(p.itemKeys.highestInStore(p.db, nullptr));
    p.appKeys.setLast(p.appKeys.highestInStore(p.db, nullptr));
    {
        sqlite3_stmt* s = nullptr;
        // From one type to the next through the type index: DISTINCT would read the whole index, 4 s
        // from the disk for 9 million entries.
        sqlite3_prepare_v2(p.db,
                           "WITH RECURSIVE t(type) AS (SELECT min(type) FROM ClipboardItem UNION ALL "
                           "SELECT (SELECT min(type) FROM ClipboardItem WHERE type > t.type) FROM t "
                           "WHERE t.type IS NOT NULL) SELECT type FROM t WHERE type IS NOT NULL",
                           -1, &s, nullptr);
        while (s && sqlite3_step(s) == SQLITE_ROW)
            p.knownTypes.insert(textOf(s, 0));
        sqlite3_finalize(s);
    }
    if (derivedAdded && !ctx->backfillDerivedColumns(error))
        return nullptr;
    return ctx;
}

// Search rows written before they held the names of a copy's further files. Only such copies are
// read, through the type index.
bool ManagedObjectContext::rebuildFileListSearchRows(StoreError* error) {
    Private& p = *d;
    sqlite3_stmt* sel = nullptr;
    int rc = sqlite3_prepare_v2(p.db,
                                "SELECT pk, preview, additionalFilePaths FROM ClipboardItem "
                                "WHERE type = 'file' AND additionalFilePaths IS NOT NULL",
                                -1, &sel, nullptr);
    while (rc == SQLITE_OK && (rc = sqlite3_step(sel)) == SQLITE_ROW) {
        ClipboardItem item;
        item.m_preview = optTextOf(sel, 1);
        item.m_additionalFilePaths = pathListOf(sel, 2);
        item.m_additionalFileCount = item.m_additionalFilePaths.size();
        sqlite3_stmt* ins = p.prepare(kSearchInsert, error);
        if (!ins)
            break;
        Stmt i(p.db, ins);
        i.bindAll(searchRow(item, sqlite3_column_int64(sel, 0)));
        rc = i.step() == SQLITE_DONE ? SQLITE_OK : sqlite3_errcode(p.db);
    }
    sqlite3_finalize(sel);
    if (rc == SQLITE_DONE)
        return true;
    if (error && error->message.isEmpty())
        setError(error, rc, errorText(p.db, rc));
    return false;
}

bool ManagedObjectContext::backfillDerivedColumns(StoreError* error) {
    Private& p = *d;
    if (!p.exec("BEGIN IMMEDIATE", error))
        return false;
    bool ok = true;
    {
        sqlite3_stmt* sel = nullptr;
        sqlite3_prepare_v2(p.db,
                           "SELECT pk, type, textContent, filePath, preview, imageData, originalImageData, "
                           "additionalFilePaths FROM ClipboardItem",
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
            item.m_additionalFilePaths = pathListOf(sel, 7);
            item.m_additionalFileCount = item.m_additionalFilePaths.size();
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
