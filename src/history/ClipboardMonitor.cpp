// SPDX-License-Identifier: MIT
#include "history/ClipboardMonitor.h"

#include "common/AppNames.h"
#include "history/ClipboardCapture.h"
#include "history/ClipboardDataManager.h"
#include "platform/Dispatch.h"
#include "platform/Pasteboard.h"
#include "platform/PasteboardContents.h"
#include "platform/Workspace.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QUuid>

Q_LOGGING_CATEGORY(lcMonitor, "tindralume.monitor", QtWarningMsg)

namespace {

constexpr int kPollIntervalMs = 500;

} // namespace

ClipboardMonitor::ClipboardMonitor(ClipboardDataManager* dataManager, qint64 lastChangeCount)
    : lastChangeCount(lastChangeCount), m_dataManager(dataManager) {}

ClipboardMonitor::~ClipboardMonitor() {
    stopMonitoring();
}

void ClipboardMonitor::startMonitoring() {
    stopMonitoring();
    auto* t = new QTimer(this);
    t->setInterval(kPollIntervalMs);
    connect(t, &QTimer::timeout, this, &ClipboardMonitor::pollPasteboard);
    t->start();
    timer = t;
    m_firstPollLogged = false;
    // A change is read as soon as the pasteboard reports it, so copies between two ticks are not
    // folded into one; the tick stays for pasteboards that report nothing.
    Pasteboard::general().setChangeHandler([self = QPointer<ClipboardMonitor>(this)] {
        if (self && self->timer)
            self->pollPasteboard();
    });
    qCDebug(lcMonitor) << "monitoring started at" << QDateTime::currentMSecsSinceEpoch();
}

void ClipboardMonitor::stopMonitoring() {
    if (timer) {
        Pasteboard::general().setChangeHandler({});
        timer->stop();
        delete timer.data();
    }
    timer = nullptr;
}

void ClipboardMonitor::pollPasteboard() {
    if (!m_firstPollLogged) {
        m_firstPollLogged = true;
        qCDebug(lcMonitor) << "first poll at" << QDateTime::currentMSecsSinceEpoch();
    }
    const qint64 count = Pasteboard::general().changeCount();
    if (count == lastChangeCount)
        return;
    lastChangeCount = count;
    if (skipNextChangeCount && *skipNextChangeCount == count) {
        skipNextChangeCount.reset();
        return;
    }
    checkClipboard();
}

void ClipboardMonitor::checkClipboard() {
    // The application in front at the change, noted before the read goes off the main thread.
    const auto [appName, bundleId] = frontmostSourceApp();
    ++m_pendingCaptures;
    QPointer<ClipboardMonitor> self(this);
    Pasteboard::general().readContents([self, appName, bundleId](PasteboardContents& contents) {
        QElapsedTimer elapsed;
        elapsed.start();
        const CapturedEntry entry = ClipboardCapture::capture(contents);
        qCDebug(lcMonitor) << "change read and prepared in" << elapsed.elapsed() << "ms";
        // Reads finish in the order they were asked for, and so arrive here in that order.
        Dispatch::onMain([self, entry, appName, bundleId] {
            if (!self)
                return;
            --self->m_pendingCaptures;
            self->storeCaptured(entry, appName, bundleId);
        });
    });
}

std::pair<QString, QString> ClipboardMonitor::frontmostSourceApp() const {
    const std::optional<RunningApplication> app = Workspace::shared().frontmostApplication();
    QString name = app ? app->localizedName : QString();
    if (name.isEmpty())
        name = QStringLiteral("Unknown");
    return {name, app ? app->bundleIdentifier : QString()};
}

void ClipboardMonitor::storeCaptured(const CapturedEntry& entry, const QString& appName, const QString& bundleId) {
    QElapsedTimer elapsed;
    elapsed.start();
    switch (entry.kind) {
    case CapturedEntry::Kind::Nothing:
        return;
    case CapturedEntry::Kind::Image:
    case CapturedEntry::Kind::File:
        storeEntry(entry, appName, bundleId);
        break;
    case CapturedEntry::Kind::Text:
        if (entry.largeText) {
            m_dataManager->saveLargeText(entry.type, entry.largeText, entry.richTextData, appName, bundleId,
                                         entry.documentFormats);
            break;
        }
        m_dataManager->saveClipboardItem(entry.type, entry.text, entry.richTextData, std::nullopt, std::nullopt,
                                         std::nullopt, appName, bundleId, entry.precomputed, entry.documentFormats);
        break;
    }
    qCDebug(lcMonitor) << "change stored in" << elapsed.elapsed() << "ms, done at"
                       << QDateTime::currentMSecsSinceEpoch();
}

// Image and file entries: a repeat moves the existing entry to the top with this copy's source
// application; anything else becomes a new entry. They never start a link preview.
void ClipboardMonitor::storeEntry(const CapturedEntry& entry, const QString& appName, const QString& bundleId) {
    const bool image = entry.kind == CapturedEntry::Kind::Image;
    const OptData scaled = image ? OptData(entry.scaledImage) : std::nullopt;
    const OptData full = image ? OptData(entry.fullImage) : std::nullopt;
    const OptString path = image ? std::nullopt : OptString(entry.filePath);
    if (LargeEntryWriter::isLarge(entry.text, entry.richTextData, scaled, full, entry.documentFormats,
                                  entry.additionalFilePaths) ||
        m_dataManager->largeSaveInProgress()) {
        m_dataManager->saveLargeEntry(entry.type, entry.text, entry.richTextData, scaled, full, path,
                                      entry.additionalFilePaths, bundleId, appName, entry.precomputed,
                                      entry.documentFormats);
        return;
    }
    SourceAppPtr app;
    if (!bundleId.isEmpty())
        app = m_dataManager->findOrCreateSourceApp(bundleId, appName);
    if (ClipboardItemPtr existing =
            m_dataManager->findDuplicate(entry.type, entry.text, scaled, full, path, entry.additionalFilePaths)) {
        existing->setTimestamp(QDateTime::currentDateTime());
        existing->setSourceApp(app);
        m_dataManager->saveContext();
        return;
    }
    ClipboardItemPtr item = m_dataManager->context()->insertClipboardItem();
    item->setId(QUuid::createUuid());
    item->setTimestamp(QDateTime::currentDateTime());
    item->setType(entry.type);
    item->setTextContent(entry.text);
    item->setRichTextData(entry.richTextData);
    if (entry.documentFormats)
        item->setDocumentFormats(entry.documentFormats);
    item->setImageData(scaled);
    item->setOriginalImageData(full);
    item->setFilePath(path);
    if (!entry.additionalFilePaths.isEmpty())
        item->setAdditionalFilePaths(entry.additionalFilePaths);
    item->setPreview(m_dataManager->makePreview(entry.type, std::nullopt, path));
    item->setSourceApp(app);
    item->setIsFavorite(false);
    m_dataManager->saveContext();
}
