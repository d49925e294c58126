// SPDX-License-Identifier: MIT
#include "platform/x11/ClipboardPasteboard.h"

#include "platform/PasteboardContents.h"
#include "platform/x11/QtClockKeeper.h"
#include "platform/x11/SelectionOwnerWatch.h"
#include "platform/x11/SelectionReader.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHash>
#include <QLoggingCategory>
#include <QMimeData>

#include <memory>
#include <optional>

Q_LOGGING_CATEGORY(lcPasteboard, "tindralume.pasteboard", QtWarningMsg)

namespace {

QClipboard* clipboard() {
    return QGuiApplication::clipboard();
}

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

ClipboardPasteboard::ClipboardPasteboard()
    : m_clock(std::make_unique<QtClockKeeper>([this] { onClockSettled(); })),
      m_owners(std::make_unique<SelectionOwnerWatch>([this] { onForeignOwner(); })),
      m_reader(std::make_unique<SelectionReader>()) {
    if (auto* cb = clipboard(); cb && !m_owners->isActive())
        connect(cb, &QClipboard::dataChanged, this, &ClipboardPasteboard::onClipboardChanged);
    // A read still going when the application quits ends there, before the event loop it reports to.
    if (auto* app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] {
            m_reader->cancel();
            m_readerQueue.waitForDone();
        });
}

ClipboardPasteboard::~ClipboardPasteboard() {
    // A read in flight gives up at once instead of running out its budget.
    m_reader->cancel();
    m_readerQueue.waitForDone();
}

void ClipboardPasteboard::onClipboardChanged() {
    // Our own publish is already counted by clearContents().
    if (m_publishing)
        return;
    if (auto* cb = clipboard(); cb && cb->ownsClipboard())
        return;
    onForeignOwner();
}

void ClipboardPasteboard::onForeignOwner() {
    // Another client took the selection: what we were writing is no longer on the pasteboard.
    m_pending.reset();
    ++m_changeCount;
    notifyChanged();
}

void ClipboardPasteboard::readContents(std::function<void(PasteboardContents&)> work) {
    SelectionReader* reader = m_reader.get();
    const qint64 ownWrites = m_ownWrites;
    m_readerQueue.async([this, reader, ownWrites, work = std::move(work)] {
        const auto deadline = SelectionReader::Clock::now() + std::chrono::milliseconds(readBudgetMs);
        // A write of our own since this read was asked for replaced what it was asked for: what is on
        // the clipboard now is ours, not another client's copy.
        if (!reader->begin(deadline) || m_ownWrites != ownWrites) {
            PasteboardContents nothing({}, {});
            work(nothing);
            return;
        }
        PasteboardContents contents(
            reader->targets(), [reader](const QString& mime) { return reader->read(mime); },
            [reader] { return reader->ownerChanged(); });
        work(contents);
    });
}

qint64 ClipboardPasteboard::clearContents() {
    ++m_changeCount;
    ++m_ownWrites;
    m_writeRefused = false;
    m_pending = std::make_unique<LazyMimeData>();
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
    // Qt stamps the selection with its connection's time, and answers TIMESTAMP and judges requests by
    // it. While that time is off the server's, Qt's own attempt would be refused: the owner is taken for
    // Qt's window at the server's time first, and the write is made again once Qt's time is right.
    m_publishAgain = m_clock->isUnsettled();
    if (m_publishAgain) {
        m_owners->takeClipboardForQt();
        m_clock->repair(); // settles only with a time after the owner just set
    }
    m_publishing = true;
    cb->setMimeData(copy, QClipboard::Clipboard);
    m_publishing = false;
    // Qt reports no refusal and goes on believing it owns the selection: the server decides.
    if (!m_owners->weOwnClipboard()) {
        // Refused: Qt's time is past the server's, or older than the current owner's.
        m_publishAgain = true;
        m_writeRefused = !m_owners->takeClipboardForQt();
        m_clock->repair();
    }
    if (m_writeRefused)
        qCWarning(lcPasteboard) << "the X server did not give us the clipboard; another client keeps it";
}

void ClipboardPasteboard::onClockSettled() {
    if (m_publishAgain && m_pending && !m_writeRefused)
        publish();
}

void ClipboardPasteboard::setData(Type type, const QByteArray& data) {
    if (!m_pending)
        clearContents();
    if (type == Type::String) {
        m_pending->setData(QStringLiteral("text/plain;charset=utf-8"), data);
        m_pending->setData(QStringLiteral("UTF8_STRING"), data);
        m_pending->setData(QStringLiteral("text/plain"), data);
    } else {
        m_pending->setData(PasteboardContents::mimeTypes(type).constFirst(), data);
    }
    publish();
}

void ClipboardPasteboard::setDataProvider(Type type, std::function<QByteArray()> make) {
    if (type == Type::String) { // cheap: written at once
        setData(type, make());
        return;
    }
    if (!m_pending)
        clearContents();
    m_pending->lazy.insert(PasteboardContents::mimeTypes(type).constFirst(),
                           std::make_shared<LazyMimeData::Provider>(LazyMimeData::Provider{std::move(make), {}}));
    publish();
}

void ClipboardPasteboard::setString(const QString& text) {
    setData(Type::String, text.toUtf8());
}

void ClipboardPasteboard::setFormat(const QString& mime, const QByteArray& data) {
    if (!m_pending)
        clearContents();
    m_pending->setData(mime, data);
    publish();
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
    m_pending->setData(PasteboardContents::gnomeCopiedFiles, gnome);
    setData(Type::FileURL, list);
}
