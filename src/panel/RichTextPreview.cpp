// SPDX-License-Identifier: MIT
#include "panel/RichTextPreview.h"

#include "history/store/ManagedObjectContext.h"
#include "history/store/StoreReader.h"
#include "platform/Dispatch.h"
#include "richtext/RtfReader.h"

#include <QCache>
#include <QCoreApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>

namespace {

class OfflineDocument : public QTextDocument {
protected:
    QVariant loadResource(int, const QUrl&) override { return {}; }
};

QString firstGraphemes(const QString& text, int count, bool* cut) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int n = 0;
    while (finder.toNextBoundary() != -1) {
        if (++n == count) {
            const int end = finder.position();
            *cut = end < text.size();
            return text.left(end);
        }
    }
    *cut = false;
    return text;
}

QString decodeHtml(const QByteArray& data) {
    const QByteArray head = data.left(RichTextPreview::maxHtmlBytes);
    auto encoding = QStringConverter::encodingForHtml(head);
    QStringDecoder decoder(encoding.value_or(QStringConverter::Utf8));
    return decoder.decode(head);
}

struct Cache {
    QMutex mutex;
    QCache<QString, RichTextPreview> entries{500};
};

Cache& cache() {
    static auto* c = new Cache;
    return *c;
}

SerialQueue& queue() {
    static auto* q = new SerialQueue;
    return *q;
}

// The document is handed to the main thread, where the cards draw it; whichever thread lets go of
// it last, it is deleted on the main thread.
std::shared_ptr<const QTextDocument> handedToMainThread(QTextDocument* document) {
    if (QCoreApplication* app = QCoreApplication::instance())
        document->moveToThread(app->thread());
    return std::shared_ptr<const QTextDocument>(document, [](const QTextDocument* doc) {
        auto* owned = const_cast<QTextDocument*>(doc);
        if (owned->thread() == QThread::currentThread())
            delete owned;
        else
            owned->deleteLater();
    });
}

// One reader for the store in use, made on the main thread and used on the queue.
std::shared_ptr<StoreReader> storeReader(const QString& path) {
    static std::shared_ptr<StoreReader> reader;
    static QString readerPath;
    if (!reader || readerPath != path) {
        reader = std::make_shared<StoreReader>(path);
        readerPath = path;
    }
    return reader;
}

} // namespace

bool RichTextPreview::isRtf(const QByteArray& data) {
    qsizetype i = 0;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n'))
        ++i;
    return data.mid(i, 5) == "{\\rtf";
}

RichTextPreview RichTextPreview::make(const QByteArray& data) {
    RichTextPreview result;
    auto document = std::make_unique<OfflineDocument>();
    bool truncated = false;
    QString plain;
    const bool rtf = isRtf(data);
    if (rtf) {
        // Only the beginning is read: enough characters for 200 user-perceived ones.
        if (!RtfReader::read(data, document.get(), 4 * limit, &truncated))
            return result;
        // The document holds list nesting as margins only; the reader's text keeps it as tabs.
        plain = RtfReader::plainText(data, 4 * limit);
    } else {
        const QString html = decodeHtml(data);
        if (html.trimmed().isEmpty())
            return result;
        document->setHtml(html);
    }
    // Pictures and other embedded objects are not part of a card's text.
    for (QTextCursor found = document->find(QString(QChar::ObjectReplacementCharacter)); !found.isNull();
         found = document->find(QString(QChar::ObjectReplacementCharacter), found))
        found.removeSelectedText();
    if (!rtf)
        plain = document->toPlainText();

    bool cut = false;
    result.plain = firstGraphemes(plain, limit, &cut);
    if (cut || truncated)
        result.plain += QStringLiteral("...");

    QTextCursor cursor(document.get());
    const int length = document->characterCount() - 1; // without the final paragraph separator
    if (length > limit || truncated) {
        cursor.setPosition(std::min(length, limit));
        cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        cursor.insertText(QStringLiteral("..."), QTextCharFormat());
    }
    cursor.select(QTextCursor::Document);
    QTextBlockFormat left;
    left.setAlignment(Qt::AlignLeft);
    cursor.mergeBlockFormat(left);
    result.document = handedToMainThread(document.release());
    result.ok = true;
    return result;
}

QString RichTextPreview::cacheKey(const QString& storePath, const QString& objectId, const QString& entryId) {
    return storePath + QLatin1Char('|') + objectId + QLatin1Char('|') + entryId;
}

QString RichTextPreview::cacheKeyOf(const ClipboardItem& item) {
    const ManagedObjectContext* context = item.managedObjectContext();
    return cacheKey(context ? context->path() : QString(), item.objectID(),
                    item.id() ? item.id()->toString(QUuid::WithoutBraces) : QString());
}

RichTextPreview::Reader RichTextPreview::readerOf(const ClipboardItem& item) {
    const ManagedObjectContext* context = item.managedObjectContext();
    if (item.isLoaded(ClipboardItem::RichTextData) || !context)
        return [data = item.richTextData()](bool*) { return data; };
    return [reader = storeReader(context->path()), key = item.primaryKey()](bool* failed) {
        OptData data;
        StoreError error;
        if (!reader->itemBlob(key, ClipboardItem::RichTextData, &data, &error)) {
            qWarning("Error reading rich text: %s", qPrintable(error.description()));
            *failed = true;
        }
        return data;
    };
}

std::optional<RichTextPreview> RichTextPreview::cached(const QString& key) {
    Cache& c = cache();
    QMutexLocker lock(&c.mutex);
    if (const RichTextPreview* hit = c.entries.object(key))
        return *hit;
    return std::nullopt;
}

void RichTextPreview::load(Reader read, const QString& key, QObject* context,
                           std::function<void(const RichTextPreview&)> completion) {
    QPointer<QObject> weak(context);
    queue().async([read = std::move(read), key, weak, completion = std::move(completion)] {
        // Asked for again before the first result came (a card shown twice): read only once.
        if (const std::optional<RichTextPreview> hit = cached(key)) {
            Dispatch::onMain([weak, preview = *hit, completion] {
                if (weak)
                    completion(preview);
            });
            return;
        }
        bool failed = false;
        std::optional<QByteArray> data = read(&failed);
        const RichTextPreview preview = data ? make(*data) : RichTextPreview();
        data.reset(); // not held while the main thread applies the result
        if (!failed) {
            Cache& c = cache();
            QMutexLocker lock(&c.mutex);
            c.entries.insert(key, new RichTextPreview(preview));
        }
        Dispatch::onMain([weak, preview, completion] {
            if (weak)
                completion(preview);
        });
    });
}

void RichTextPreview::clearCache() {
    Cache& c = cache();
    QMutexLocker lock(&c.mutex);
    c.entries.clear();
}
