// SPDX-License-Identifier: MIT
#include "history/ColorPattern.h"
#include "history/store/RegexCache.h"
#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstring>

namespace {

// A colour is a few characters between white space: only such a text is decoded to be matched.
bool isColorText(const LargeText& text) {
    const QByteArray& bytes = text.utf8();
    const QByteArrayView core = QByteArrayView(bytes).trimmed();
    if (core.size() > 64)
        return false;
    return RegexCache::matchesWhole(ColorPattern::wholeText, text.toString());
}

} // namespace

namespace StoreInternals {

QVariant optVariant(const OptString& v) {
    return v ? QVariant(*v) : QVariant();
}
QVariant optVariant(const OptData& v) {
    return v ? QVariant(*v) : QVariant();
}

QVariant pathListVariant(const QStringList& paths) {
    if (paths.isEmpty())
        return {};
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(paths)).toJson(QJsonDocument::Compact));
}

// Anything but an array of strings (a damaged row) reads as no further files.
QStringList pathListOf(sqlite3_stmt* s, int col) {
    if (sqlite3_column_type(s, col) == SQLITE_NULL)
        return {};
    return storedPathList(textOf(s, col).toUtf8());
}

qint64 pathCount(const char* json, qsizetype size) {
    // Only what pathListOf() reads in full counts: an array of strings and nothing after it.
    qsizetype i = 0;
    const auto skipSpace = [&] {
        while (i < size && (json[i] == ' ' || json[i] == '\t' || json[i] == '\n' || json[i] == '\r'))
            ++i;
    };
    skipSpace();
    if (i >= size || json[i] != '[')
        return 0;
    ++i;
    skipSpace();
    qint64 count = 0;
    if (i < size && json[i] == ']') {
        ++i;
    } else {
        for (;;) {
            if (i >= size || json[i] != '"')
                return 0;
            // The string ends at the next quote after an even number of backslashes.
            for (++i;;) {
                const auto* quote = static_cast<const char*>(std::memchr(json + i, '"', size_t(size - i)));
                if (!quote)
                    return 0;
                const qsizetype at = quote - json;
                qsizetype backslashes = 0;
                while (at - backslashes > i && json[at - backslashes - 1] == '\\')
                    ++backslashes;
                i = at + 1;
                if (backslashes % 2 == 0)
                    break;
            }
            ++count;
            skipSpace();
            if (i < size && json[i] == ',') {
                ++i;
                skipSpace();
                continue;
            }
            if (i < size && json[i] == ']') {
                ++i;
                break;
            }
            return 0;
        }
    }
    skipSpace();
    return i == size ? count : 0;
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
    if (n == QLatin1String("additionalFilePaths"))
        return pathListVariant(item.additionalFilePaths());
    if (n == QLatin1String("preview"))
        return optVariant(item.preview());
    if (n == QLatin1String("urlPreviewTitle"))
        return optVariant(item.urlPreviewTitle());
    if (n == QLatin1String("urlPreviewDescription"))
        return optVariant(item.urlPreviewDescription());
    const LargeTextPtr& large = item.largeTextContent();
    if (n == QLatin1String("contentDigest")) {
        const QString type = item.type().value_or(QString());
        if (large && type != QLatin1String("image") && type != QLatin1String("file"))
            return large->digest();
        const bool image = type == QLatin1String("image");
        const QByteArray digest =
            ManagedObjectContext::contentDigest(type, item.textContent(), image ? item.imageData() : std::nullopt,
                                                image ? item.originalImageData() : std::nullopt, item.filePath());
        return digest.isEmpty() ? QVariant() : QVariant(digest);
    }
    if (n == QLatin1String("isColor") && large)
        return qint64(isColorText(*large));
    if (n == QLatin1String("isColor"))
        return item.textContent()
                   ? QVariant(qint64(RegexCache::matchesWhole(ColorPattern::wholeText, *item.textContent())))
                   : QVariant(qint64(0));
    if (n == QLatin1String("textContent") && large)
        return QVariant::fromValue(Utf8Value{large->utf8()});
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
    if (n == QLatin1String("documentFormats"))
        return optVariant(item.documentFormats());
    return {};
}

QVariantList searchRow(const ClipboardItem& item, qint64 key) {
    const LargeTextPtr& large = item.largeTextContent();
    if (const OptString whole = large ? std::nullopt : item.textContent();
        (large && large->utf16Size() >= kUnfoldedTextSize) || (whole && whole->size() >= kUnfoldedTextSize)) {
        const OptString preview = item.preview();
        return {key, QVariant(), preview ? QVariant(TextFolding::fold(*preview)) : QVariant(), qint64(3)};
    }
    const QString text = item.textContent() ? TextFolding::fold(*item.textContent()) : QString();
    QVariantList row{key, item.textContent() ? QVariant(text) : QVariant()};
    // A copy of several files is found by any file's name, as by the first one's, its preview.
    QString names;
    if (item.additionalFileCount() > 0)
        for (const QString& path : item.additionalFilePaths())
            names += QLatin1Char('\n') + TextFolding::fold(lastPathComponent(path));
    if (!names.isEmpty()) {
        row << QVariant(TextFolding::fold(item.preview().value_or(QString())) + names) << qint64(0);
        return row;
    }
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
    add(ClipboardItem::AdditionalFilePaths, "additionalFilePaths");
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
    add(ClipboardItem::DocumentFormats, "documentFormats");
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

} // namespace StoreInternals
