// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class ClipboardItem;
class QTextDocument;

// What a card shows of a rich-text entry, read once off the main thread and kept per entry: the
// first 200 characters as a document (light appearance: the document's own fonts, colours and tab
// stops) and as plain text (dark appearance, list nesting as tabs). Rich-text data is RTF when it
// begins, after white space, with "{\rtf"; anything else is HTML.
struct RichTextPreview {
    static constexpr int limit = 200;
    static constexpr int maxHtmlBytes = 512 * 1024; // the beginning of an HTML entry that is read

    bool ok = false; // false: the data could not be read; the card shows the plain preview
    // Without pictures: nothing is loaded when it is drawn. It belongs to the main thread and is
    // only read there; never changed once made.
    std::shared_ptr<const QTextDocument> document;
    QString plain;

    static bool isRtf(const QByteArray& data);
    // The work itself; safe on any thread.
    static RichTextPreview make(const QByteArray& data);

    // Cached per entry, so a card shows the result at once the next time. An entry's rich text is
    // set when it is made and never changed, so the entry (its store and row, and its identifier,
    // which a row key taken over from another process does not share) stands for its content.
    static std::optional<RichTextPreview> cached(const QString& key);
    static QString cacheKey(const QString& storePath, const QString& objectId, const QString& entryId);
    // Runs read (which gives the data, std::nullopt when there is none or it cannot be read) and
    // the work on a background queue; the completion runs on the main thread while context lives.
    // failed: the data could not be read; such a result is not kept.
    using Reader = std::function<std::optional<QByteArray>(bool* failed)>;
    // An entry's rich text: as it is in memory when it has been read already, else read from the
    // store on its own read-only connection, so its size never holds the main thread.
    static Reader readerOf(const ClipboardItem& item);
    static QString cacheKeyOf(const ClipboardItem& item);
    static void load(Reader read, const QString& key, QObject* context,
                     std::function<void(const RichTextPreview&)> completion);
    static void clearCache();
};
