// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

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

    // Cached by entry and content, so a card shows the result at once the next time.
    static std::optional<RichTextPreview> cached(const QString& key);
    static QString cacheKey(const QString& objectId, const QByteArray& data);
    // Reads on a background queue; the completion runs on the main thread while context lives.
    static void load(const QByteArray& data, const QString& key, QObject* context,
                     std::function<void(const RichTextPreview&)> completion);
    static void clearCache();
};
