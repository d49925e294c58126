// SPDX-License-Identifier: MIT
#include "platform/PasteboardContents.h"

#include <climits>

namespace {

const QString kUtf8String = QStringLiteral("UTF8_STRING");
const QString kLatin1String = QStringLiteral("STRING");
constexpr qsizetype kKeepBytesBelow = 1024 * 1024;
// Longer than any file URL whose path the system accepts (every byte of it percent-encoded, and a
// host name): such a line is no file of this machine and is not parsed.
constexpr qsizetype kMaxUriBytes = 3 * PATH_MAX + 512;

bool isImageMime(const QString& mime) {
    return mime.startsWith(QLatin1String("image/"));
}

// Some owners send text as a C string, terminating NUL included; kept, it reaches the next paste as a
// stray character.
QByteArray endAtNul(QByteArray bytes) {
    if (const qsizetype nul = bytes.indexOf('\0'); nul >= 0)
        bytes.truncate(nul);
    return bytes;
}

// RTF may carry binary picture data (\bin) with NULs inside: only the trailing ones go.
QByteArray withoutTrailingNuls(QByteArray bytes) {
    qsizetype end = bytes.size();
    while (end > 0 && bytes.at(end - 1) == '\0')
        --end;
    bytes.truncate(end);
    return bytes;
}

} // namespace

PasteboardContents::PasteboardContents(const QStringList& formats, Fetch fetch, std::function<bool()> stale)
    : m_formats(formats), m_fetch(std::move(fetch)), m_stale(std::move(stale)) {}

PasteboardContents PasteboardContents::fromData(const QMap<QString, QByteArray>& data) {
    return PasteboardContents(data.keys(), [data](const QString& mime) -> std::optional<QByteArray> {
        const auto it = data.find(mime);
        return it == data.end() ? std::nullopt : std::optional<QByteArray>(*it);
    });
}

QStringList PasteboardContents::mimeTypes(Pasteboard::Type type) {
    switch (type) {
    case Pasteboard::Type::String:
        return {kUtf8String, QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"), kLatin1String,
                QStringLiteral("TEXT")};
    case Pasteboard::Type::RTF:
        return {QStringLiteral("text/rtf"), QStringLiteral("text/richtext"), QStringLiteral("application/rtf")};
    case Pasteboard::Type::HTML:
        return {QStringLiteral("text/html")};
    case Pasteboard::Type::TIFF:
        return {QStringLiteral("image/tiff")};
    case Pasteboard::Type::PNG:
        return {QStringLiteral("image/png")};
    case Pasteboard::Type::FileURL:
        return {uriList, gnomeCopiedFiles};
    }
    return {};
}

std::optional<QByteArray> PasteboardContents::format(const QString& mime) {
    if (!m_formats.contains(mime))
        return std::nullopt;
    if (mime == m_textMime && m_text && *m_text)
        return mime == kLatin1String ? (*m_text)->toLatin1() : (*m_text)->toUtf8();
    const auto it = m_cache.constFind(mime);
    if (it != m_cache.constEnd())
        return *it;
    std::optional<QByteArray> value = m_fetch ? m_fetch(mime) : std::nullopt;
    m_cache.insert(mime, value);
    return value;
}

std::optional<QByteArray> PasteboardContents::firstOf(const QStringList& mimes) {
    for (const QString& m : mimes) {
        if (auto v = format(m))
            return v;
    }
    return std::nullopt;
}

QList<Pasteboard::Type> PasteboardContents::types() {
    QList<Pasteboard::Type> out;
    auto offers = [this](Pasteboard::Type type) {
        const QStringList mimes = mimeTypes(type);
        return std::any_of(mimes.begin(), mimes.end(), [this](const QString& m) { return m_formats.contains(m); });
    };
    for (Pasteboard::Type type :
         {Pasteboard::Type::String, Pasteboard::Type::RTF, Pasteboard::Type::HTML, Pasteboard::Type::TIFF}) {
        if (offers(type))
            out.append(type);
    }
    if (std::any_of(m_formats.begin(), m_formats.end(), isImageMime))
        out.append(Pasteboard::Type::PNG);
    if (offers(Pasteboard::Type::FileURL)) {
        const QList<QUrl> list = urls();
        if (std::any_of(list.begin(), list.end(), [](const QUrl& u) { return u.isLocalFile(); }))
            out.append(Pasteboard::Type::FileURL);
    }
    return out;
}

std::optional<QByteArray> PasteboardContents::data(Pasteboard::Type type) {
    switch (type) {
    case Pasteboard::Type::String: {
        const auto s = string();
        return s ? std::optional<QByteArray>(s->toUtf8()) : std::nullopt;
    }
    case Pasteboard::Type::PNG: {
        if (auto png = format(QStringLiteral("image/png")))
            return png;
        const QStringList offered = m_formats;
        for (const QString& m : offered) {
            if (isImageMime(m) && m != QLatin1String("image/tiff")) {
                if (auto v = format(m))
                    return v;
            }
        }
        return std::nullopt;
    }
    case Pasteboard::Type::HTML: {
        const auto html = firstOf(mimeTypes(type));
        return html ? std::optional<QByteArray>(endAtNul(*html)) : std::nullopt;
    }
    case Pasteboard::Type::RTF: {
        const auto rtf = firstOf(mimeTypes(type));
        return rtf ? std::optional<QByteArray>(withoutTrailingNuls(*rtf)) : std::nullopt;
    }
    default:
        return firstOf(mimeTypes(type));
    }
}

std::optional<QString> PasteboardContents::string() {
    if (m_text)
        return *m_text;
    m_text.emplace();
    for (const QString& m : mimeTypes(Pasteboard::Type::String)) {
        if (const std::optional<QByteArray> bytes = format(m)) {
            // Invalid UTF-8 becomes U+FFFD: visible, never a crash.
            const QByteArray text = endAtNul(*bytes);
            *m_text = m == kLatin1String ? QString::fromLatin1(text) : QString::fromUtf8(text);
            // A large text is kept once, as the string: its bytes are made again if asked for.
            if (bytes->size() >= kKeepBytesBelow) {
                m_cache.remove(m);
                m_textMime = m;
            }
            break;
        }
    }
    return *m_text;
}

std::optional<QByteArray> PasteboardContents::largeTextBytes(qsizetype minBytes, bool* latin1) {
    if (m_text)
        return std::nullopt;
    for (const QString& m : mimeTypes(Pasteboard::Type::String)) {
        std::optional<QByteArray> bytes = format(m);
        if (!bytes)
            continue;
        if (bytes->size() < minBytes)
            return std::nullopt;
        m_cache.remove(m);
        *latin1 = m == kLatin1String;
        return endAtNul(std::move(*bytes));
    }
    return std::nullopt;
}

QList<QUrl> PasteboardContents::urls() {
    if (!m_urls)
        m_urls = parseUrls();
    return *m_urls;
}

QList<QUrl> PasteboardContents::parseUrls() {
    QList<QUrl> out;
    QByteArray raw;
    if (auto list = format(uriList)) {
        raw = *list;
    } else if (auto gnome = format(gnomeCopiedFiles)) {
        // First line is the operation ("copy" or "cut"), then one URI per line.
        QList<QByteArray> lines = gnome->split('\n');
        if (!lines.isEmpty())
            lines.removeFirst();
        raw = lines.join('\n');
    } else {
        return out;
    }
    // File managers send the list as a C string, terminating NUL included: it ends the list.
    if (const qsizetype nul = raw.indexOf('\0'); nul >= 0)
        raw.truncate(nul);
    for (const QByteArray& line : raw.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.isEmpty() || t.startsWith('#') || t.size() > kMaxUriBytes)
            continue;
        const QUrl url = QUrl::fromEncoded(t, QUrl::TolerantMode);
        if (url.isValid())
            out.append(url);
    }
    return out;
}

bool PasteboardContents::isConcealed() {
    const std::optional<QByteArray> hint = format(passwordManagerHint);
    return hint && hint->trimmed() == "secret";
}
