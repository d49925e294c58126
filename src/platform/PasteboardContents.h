// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Pasteboard.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// What one clipboard change holds, by MIME type, read lazily: each format is fetched at most once,
// when a reader first asks for it. Not thread-safe: one reader at a time, on the thread that the
// pasteboard hands it to. Maps the application's pasteboard types (Pasteboard::Type) onto the X11
// clipboard's MIME types and target atoms.
class PasteboardContents {
public:
    // Returns a format's bytes, or none when the owner refused it, went away or ran out of time.
    using Fetch = std::function<std::optional<QByteArray>(const QString& mime)>;

    // stale tells whether another owner took over while the formats were read.
    PasteboardContents(const QStringList& formats, Fetch fetch, std::function<bool()> stale = {});
    // Contents already in memory (formats in the order given by the map).
    static PasteboardContents fromData(const QMap<QString, QByteArray>& data);

    const QStringList& formats() const { return m_formats; }
    std::optional<QByteArray> format(const QString& mime);

    QList<Pasteboard::Type> types();
    // Bytes of one type. PNG also answers with any other image/* format when no PNG is offered.
    std::optional<QByteArray> data(Pasteboard::Type type);
    // The text as its owner holds it: UTF8_STRING first, since GTK serves its text/plain variants
    // with CRLF line ends; STRING is Latin-1.
    std::optional<QString> string();
    // The text's own bytes, when they are at least minBytes long, ended at a NUL as string() ends
    // them and let go here, so the caller holds the only copy; latin1 tells how they are encoded.
    // None for a shorter text (string() reads it) or none at all.
    std::optional<QByteArray> largeTextBytes(qsizetype minBytes, bool* latin1);
    // The URLs offered as a URI list, in order, parsed once; empty when there are none. A line too
    // long to name a file of this system is left out.
    QList<QUrl> urls();
    // A password manager marked this copy as a secret: it must not be recorded.
    bool isConcealed();
    // Another owner took the selection while formats were read: what was read may mix two copies,
    // and the newer copy is a change of its own.
    bool isStale() const { return m_stale && m_stale(); }

    // The MIME types each pasteboard type is written as and read from, in order of preference.
    static QStringList mimeTypes(Pasteboard::Type type);
    static inline const QString uriList = QStringLiteral("text/uri-list");
    static inline const QString gnomeCopiedFiles = QStringLiteral("x-special/gnome-copied-files");
    static inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

private:
    std::optional<QByteArray> firstOf(const QStringList& mimes);
    QList<QUrl> parseUrls();

    QStringList m_formats;
    Fetch m_fetch;
    std::function<bool()> m_stale;
    QHash<QString, std::optional<QByteArray>> m_cache;
    std::optional<std::optional<QString>> m_text; // set once string() has looked
    QString m_textMime;                           // the format whose bytes were let go for m_text
    std::optional<QList<QUrl>> m_urls;
};
