// SPDX-License-Identifier: MIT
#include "panel/RichTextPreview.h"

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

QString RichTextPreview::cacheKey(const QString& objectId, const QByteArray& data) {
    // Both ends and the length stand for the content without hashing megabytes on the main thread.
    constexpr qsizetype edge = 4096;
    const size_t head = qHash(QByteArrayView(data).first(std::min(edge, data.size())));
    const size_t tail = qHash(QByteArrayView(data).last(std::min(edge, data.size())));
    return QStringLiteral("%1|%2|%3|%4").arg(objectId).arg(data.size()).arg(head).arg(tail);
}

std::optional<RichTextPreview> RichTextPreview::cached(const QString& key) {
    Cache& c = cache();
    QMutexLocker lock(&c.mutex);
    if (const RichTextPreview* hit = c.entries.object(key))
        return *hit;
    return std::nullopt;
}

void RichTextPreview::load(const QByteArray& data, const QString& key, QObject* context,
                           std::function<void(const RichTextPreview&)> completion) {
    QPointer<QObject> weak(context);
    queue().async([data, key, weak, completion = std::move(completion)] {
        const RichTextPreview preview = make(data);
        {
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
