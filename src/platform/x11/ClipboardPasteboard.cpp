// SPDX-License-Identifier: MIT
#include "platform/x11/ClipboardPasteboard.h"

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMimeData>

#include <memory>

namespace {

const QStringList kStringMimes{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("UTF8_STRING"),
                               QStringLiteral("text/plain"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
const QStringList kRtfMimes{QStringLiteral("text/rtf"), QStringLiteral("text/richtext"),
                            QStringLiteral("application/rtf")};
const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnomeFiles = QStringLiteral("x-special/gnome-copied-files");
const QStringList kPseudoTargets{QStringLiteral("TARGETS"), QStringLiteral("MULTIPLE"), QStringLiteral("TIMESTAMP"),
                                 QStringLiteral("SAVE_TARGETS")};

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

// Well below the X clipboard time-out (5 s), well above any owner that answers at all.
constexpr qint64 kUnresponsiveMs = 1000;

} // namespace

// What we put on the clipboard: plain formats, and formats whose bytes are made on the first
// request for them (and kept).
class LazyMimeData : public QMimeData {
public:
    struct Provider {
        std::function<QByteArray()> make;
        std::optional<QByteArray> made;
    };
    QHash<QString, std::shared_ptr<Provider>> lazy;

    QStringList formats() const override {
        QStringList all = QMimeData::formats();
        for (auto it = lazy.cbegin(); it != lazy.cend(); ++it)
            if (!all.contains(it.key()))
                all.append(it.key());
        return all;
    }
    bool hasFormat(const QString& mime) const override { return lazy.contains(mime) || QMimeData::hasFormat(mime); }

protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override {
        if (auto it = lazy.constFind(mime); it != lazy.cend()) {
            Provider& provider = **it;
            if (!provider.made)
                provider.made = provider.make();
            return *provider.made;
        }
        return QMimeData::retrieveData(mime, type);
    }
};

ClipboardPasteboard::ClipboardPasteboard() {
    if (auto* cb = clipboard())
        connect(cb, &QClipboard::dataChanged, this, &ClipboardPasteboard::onClipboardChanged);
}

ClipboardPasteboard::~ClipboardPasteboard() = default;

void ClipboardPasteboard::onClipboardChanged() {
    // Our own publish is already counted by clearContents().
    if (m_publishing)
        return;
    if (auto* cb = clipboard(); cb && cb->ownsClipboard())
        return;
    // Another client took the selection: what we were writing is no longer on the pasteboard.
    delete m_pending;
    m_pending = nullptr;
    ++m_changeCount;
}

const QStringList& ClipboardPasteboard::formats() {
    if (m_cachedFor != m_changeCount) {
        m_cachedFor = m_changeCount;
        m_cache.clear();
        m_formats.clear();
        m_ownerUnresponsive = false;
        if (auto* cb = clipboard()) {
            if (const QMimeData* md = cb->mimeData(QClipboard::Clipboard)) {
                for (const QString& f : md->formats()) {
                    if (!kPseudoTargets.contains(f))
                        m_formats.append(f);
                }
            }
        }
    }
    return m_formats;
}

std::optional<QByteArray> ClipboardPasteboard::readFormat(const QString& mime) {
    if (!formats().contains(mime))
        return std::nullopt;
    auto it = m_cache.find(mime);
    if (it != m_cache.end())
        return *it;
    std::optional<QByteArray> value;
    if (m_ownerUnresponsive)
        return value;
    if (auto* cb = clipboard()) {
        if (const QMimeData* md = cb->mimeData(QClipboard::Clipboard)) {
            QElapsedTimer elapsed;
            elapsed.start();
            const QByteArray bytes = md->data(mime);
            // A format that was announced but answered nothing (timed out, owner gone) reads as absent.
            if (!bytes.isNull())
                value = bytes;
            // An owner that let a request run into the time-out is not asked again for this change:
            // each further format would block the main thread for the whole time-out once more.
            else if (elapsed.elapsed() >= kUnresponsiveMs)
                m_ownerUnresponsive = true;
        }
    }
    m_cache.insert(mime, value);
    return value;
}

std::optional<QByteArray> ClipboardPasteboard::readFirst(const QStringList& mimes) {
    for (const QString& m : mimes) {
        if (auto v = readFormat(m))
            return v;
    }
    return std::nullopt;
}

QList<Pasteboard::Type> ClipboardPasteboard::types() {
    const QStringList& f = formats();
    QList<Type> out;
    auto any = [&f](const QStringList& list) {
        return std::any_of(list.begin(), list.end(), [&f](const QString& m) { return f.contains(m); });
    };
    if (any(kStringMimes))
        out.append(Type::String);
    if (any(kRtfMimes))
        out.append(Type::RTF);
    if (f.contains(QStringLiteral("image/tiff")))
        out.append(Type::TIFF);
    if (std::any_of(f.begin(), f.end(), [](const QString& m) { return m.startsWith(QLatin1String("image/")); }))
        out.append(Type::PNG);
    if (f.contains(kUriList) || f.contains(kGnomeFiles)) {
        const QList<QUrl> list = urls();
        if (std::any_of(list.begin(), list.end(), [](const QUrl& u) { return u.isLocalFile(); }))
            out.append(Type::FileURL);
    }
    return out;
}

std::optional<QByteArray> ClipboardPasteboard::data(Type type) {
    switch (type) {
    case Type::String: {
        auto s = string();
        return s ? std::optional<QByteArray>(s->toUtf8()) : std::nullopt;
    }
    case Type::RTF:
        return readFirst(kRtfMimes);
    case Type::TIFF:
        return readFormat(QStringLiteral("image/tiff"));
    case Type::PNG: {
        if (auto png = readFormat(QStringLiteral("image/png")))
            return png;
        for (const QString& m : formats()) {
            if (m.startsWith(QLatin1String("image/")) && m != QLatin1String("image/tiff")) {
                if (auto v = readFormat(m))
                    return v;
            }
        }
        return std::nullopt;
    }
    case Type::FileURL: {
        if (auto list = readFormat(kUriList))
            return list;
        return readFormat(kGnomeFiles);
    }
    }
    return std::nullopt;
}

std::optional<QString> ClipboardPasteboard::string() {
    auto bytes = readFirst(kStringMimes);
    if (!bytes)
        return std::nullopt;
    // Invalid UTF-8 becomes U+FFFD: visible, never a crash.
    return QString::fromUtf8(*bytes);
}

QList<QUrl> ClipboardPasteboard::urls() {
    QList<QUrl> out;
    QByteArray raw;
    if (auto list = readFormat(kUriList)) {
        raw = *list;
    } else if (auto gnome = readFormat(kGnomeFiles)) {
        // First line is the operation ("copy" or "cut"), then one URI per line.
        QList<QByteArray> lines = gnome->split('\n');
        if (!lines.isEmpty())
            lines.removeFirst();
        raw = lines.join('\n');
    } else {
        return out;
    }
    for (const QByteArray& line : raw.split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.isEmpty() || t.startsWith('#'))
            continue;
        const QUrl url = QUrl::fromEncoded(t, QUrl::TolerantMode);
        if (url.isValid())
            out.append(url);
    }
    return out;
}

qint64 ClipboardPasteboard::clearContents() {
    ++m_changeCount;
    delete m_pending;
    m_pending = new LazyMimeData;
    publish();
    return m_changeCount;
}

void ClipboardPasteboard::publish() {
    auto* cb = clipboard();
    if (!cb || !m_pending)
        return;
    // QClipboard takes ownership of what it is given, so it gets a copy and we keep building ours.
    auto* copy = new LazyMimeData;
    for (const QString& f : m_pending->QMimeData::formats())
        copy->setData(f, m_pending->QMimeData::data(f));
    copy->lazy = m_pending->lazy;
    m_publishing = true;
    cb->setMimeData(copy, QClipboard::Clipboard);
    m_publishing = false;
    // Our own write is what is on the pasteboard now; serve reads from it.
    m_cachedFor = m_changeCount;
    m_formats = copy->formats();
    m_cache.clear();
}

void ClipboardPasteboard::setData(Type type, const QByteArray& data) {
    if (!m_pending)
        clearContents();
    switch (type) {
    case Type::String:
        m_pending->setData(QStringLiteral("text/plain;charset=utf-8"), data);
        m_pending->setData(QStringLiteral("UTF8_STRING"), data);
        m_pending->setData(QStringLiteral("text/plain"), data);
        break;
    case Type::RTF:
        m_pending->setData(QStringLiteral("text/rtf"), data);
        break;
    case Type::TIFF:
        m_pending->setData(QStringLiteral("image/tiff"), data);
        break;
    case Type::PNG:
        m_pending->setData(QStringLiteral("image/png"), data);
        break;
    case Type::FileURL:
        m_pending->setData(kUriList, data);
        break;
    }
    publish();
}

void ClipboardPasteboard::setDataProvider(Type type, std::function<QByteArray()> make) {
    if (!m_pending)
        clearContents();
    QString mime;
    switch (type) {
    case Type::TIFF:
        mime = QStringLiteral("image/tiff");
        break;
    case Type::PNG:
        mime = QStringLiteral("image/png");
        break;
    default: // the text formats are cheap: written at once
        setData(type, make());
        return;
    }
    m_pending->lazy.insert(mime, std::make_shared<LazyMimeData::Provider>(LazyMimeData::Provider{std::move(make), {}}));
    publish();
}

void ClipboardPasteboard::setString(const QString& text) {
    setData(Type::String, text.toUtf8());
}

void ClipboardPasteboard::setURLs(const QList<QUrl>& urls) {
    QByteArray list;
    QByteArray gnome = "copy";
    for (const QUrl& u : urls) {
        list += u.toEncoded() + "\r\n";
        gnome += '\n' + u.toEncoded();
    }
    if (!m_pending)
        clearContents();
    m_pending->setData(kGnomeFiles, gnome);
    setData(Type::FileURL, list);
}
