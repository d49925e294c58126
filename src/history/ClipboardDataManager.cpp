// SPDX-License-Identifier: MIT
#include "history/ClipboardDataManager.h"

#include "common/AppNames.h"
#include "history/ClipboardMonitor.h"
#include "history/ColorArchive.h"
#include "history/ColorExtractor.h"
#include "history/DocumentFormats.h"
#include "history/store/StoreLog.h"
#include "history/store/StoreReader.h"
#include "history/store/StoreSpace.h"
#include "history/store/TextFolding.h"
#include "linkpreview/URLPreviewService.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "richtext/RtfReader.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTextBoundaryFinder>
#include <QUrl>
#include <sqlite3.h>

namespace {

const QStringList kTextTypes = {EntryType::text, EntryType::richText, EntryType::url};
const QStringList kPreviewSchemes = {QStringLiteral("http"), QStringLiteral("https")};
const QStringList kLinkSchemes = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                  QStringLiteral("ftps")};
constexpr int kPreviewLength = 100;
constexpr int kRetryIntervalMs = 10000;

// Trimmed of white space and newlines (Unicode white space, as the rest of the desktop trims).
QString trimmed(const QString& s) {
    return s.trimmed();
}

bool sameText(const QString& a, const QString& b) {
    return a == b || TextFolding::normalized(a, QString::NormalizationForm_C) ==
                         TextFolding::normalized(b, QString::NormalizationForm_C);
}

// The first n user-perceived characters; none when the text has no more than n. Only a growing
// beginning of the text is segmented, so a huge text costs no more than a short one.
std::optional<QString> truncatedToGraphemes(const QString& text, int n) {
    for (qsizetype window = 1024;; window *= 4) {
        const bool whole = window >= text.size();
        const QString part = whole ? text : text.left(window);
        QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, part);
        int count = 0;
        qsizetype pos = 0;
        while (count < n && (pos = finder.toNextBoundary()) >= 0)
            ++count;
        // A boundary before the end of the window is one in the whole text as well.
        if (count == n && (whole || pos < part.size()))
            return pos >= text.size() ? std::nullopt : std::optional<QString>(text.left(pos));
        if (whole)
            return std::nullopt;
    }
}

bool samePaths(const QStringList& a, const QStringList& b) {
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (!sameText(a[i], b[i]))
            return false;
    }
    return true;
}

} // namespace

ClipboardDataManager::ClipboardDataManager(ManagedObjectContext* context) : m_context(context) {
    // What did not fit is tried again now and then when no other copy comes (each one tries it
    // too): this thread's changes first, then the writer's, which keeps its large entries for last.
    // Asked from here, so that no save of this thread starts while the writer tries.
    m_retryTimer.setInterval(kRetryIntervalMs);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] {
        if (m_largeWriter && m_largeWriter->isBusy())
            return;
        saveContext();
        if (m_largePending && m_largeWriter)
            m_largeWriter->retry();
    });
    if (m_context && QFileInfo(m_context->path()).isFile()) {
        // A WAL left that the disk has no room to take into the store would fail every save.
        for (const qint64 bytes :
             StoreLog::settle(m_context->connection(), m_context->path(), LargeEntryWriter::largeBytes)) {
            // Told once start-up is over, when the alerts are listened for.
            Dispatch::onMain(this, [this, bytes] { tellGivenUp(bytes); });
        }
        m_space = std::make_unique<StoreSpace>(m_context->path());
        // Space a quit left unclaimed is given back now, in the background.
        if (StoreSpace::usage(m_context->path()).freePages > 0)
            m_space->reclaimInBackground();
    }
}

ClipboardDataManager::~ClipboardDataManager() {
    // What was handed over is written before the store closes.
    m_largeWriter.reset();
}

ClipboardMonitor* ClipboardDataManager::clipboardMonitor() const {
    return m_clipboardMonitor.data();
}

void ClipboardDataManager::setClipboardMonitor(ClipboardMonitor* monitor) {
    m_clipboardMonitor = monitor;
}

// Saving

void ClipboardDataManager::saveClipboardItem(const QString& type, const OptString& textContent,
                                             const OptData& richTextData, const OptData& imageData,
                                             const OptData& originalImageData, const OptString& filePath,
                                             const OptString& appName, const OptString& bundleId,
                                             const std::shared_ptr<PrecomputedContent>& precomputed,
                                             const OptData& documentFormats) {
    if (LargeEntryWriter::isLarge(textContent, richTextData, imageData, originalImageData, documentFormats) ||
        largeSaveInProgress()) {
        saveLargeEntry(type, textContent, richTextData, imageData, originalImageData, filePath, {},
                       bundleId.value_or(QString()), appName, precomputed, documentFormats);
        return;
    }
    SourceAppPtr sourceApp;
    if (bundleId && !bundleId->isEmpty())
        sourceApp = findOrCreateSourceApp(*bundleId, appName);

    if (ClipboardItemPtr duplicate = findDuplicate(type, textContent, imageData, originalImageData, filePath)) {
        duplicate->setTimestamp(QDateTime::currentDateTime());
        duplicate->setSourceApp(sourceApp);
        saveContext();
        if (needsLinkPreview(duplicate)) {
            const OptString text = duplicate->textContent() ? duplicate->textContent() : textContent;
            if (!text)
                return;
            const QString link = trimmed(*text);
            if (isWebURL(link, kPreviewSchemes))
                startLinkPreview(link, duplicate);
        }
        return;
    }

    ClipboardItemPtr item = m_context->insertClipboardItem();
    item->setId(QUuid::createUuid());
    item->setTimestamp(QDateTime::currentDateTime());
    item->setType(type);
    item->setTextContent(textContent);
    item->setRichTextData(richTextData);
    if (documentFormats)
        item->setDocumentFormats(documentFormats);
    item->setImageData(imageData);
    item->setOriginalImageData(originalImageData);
    item->setFilePath(filePath);
    item->setPreview(makePreview(type, textContent, filePath));
    item->setSourceApp(sourceApp);
    item->setIsFavorite(false);
    saveContext();
    if (kTextTypes.contains(type) && textContent && isWebURL(*textContent, kPreviewSchemes))
        startLinkPreview(trimmed(*textContent), item);
}

void ClipboardDataManager::saveLargeEntry(const QString& type, const OptString& textContent,
                                          const OptData& richTextData, const OptData& imageData,
                                          const OptData& originalImageData, const OptString& filePath,
                                          const QStringList& additionalFilePaths, const QString& bundleId,
                                          const OptString& appName,
                                          const std::shared_ptr<PrecomputedContent>& precomputed,
                                          const OptData& documentFormats) {
    LargeEntryWriter::Entry entry;
    entry.type = type;
    entry.text = textContent;
    entry.richTextData = richTextData;
    entry.documentFormats = documentFormats;
    entry.imageData = imageData;
    entry.originalImageData = originalImageData;
    entry.filePath = filePath;
    entry.additionalFilePaths = additionalFilePaths;
    entry.preview = makePreview(type, textContent, filePath);
    if (kTextTypes.contains(type) && textContent && isWebURL(*textContent, kPreviewSchemes))
        entry.link = trimmed(*textContent);
    entry.precomputed = precomputed;
    handToWriter(std::move(entry), bundleId, appName);
}

void ClipboardDataManager::saveLargeText(const QString& type, const LargeTextPtr& text, const OptData& richTextData,
                                         const OptString& appName, const OptString& bundleId,
                                         const OptData& documentFormats) {
    LargeEntryWriter::Entry entry;
    entry.type = type;
    entry.largeText = text;
    entry.richTextData = richTextData;
    entry.documentFormats = documentFormats;
    entry.preview = makePreview(*text);
    handToWriter(std::move(entry), bundleId.value_or(QString()), appName);
}

void ClipboardDataManager::handToWriter(LargeEntryWriter::Entry entry, const QString& bundleId,
                                        const OptString& appName) {
    const SourceAppPtr sourceApp = bundleId.isEmpty() ? nullptr : findSourceApp(bundleId);
    // The writer refers to a stored application by its row. One not stored yet is made by the
    // writer: inserting it here would wait for the writer's write lock to claim its key.
    if (sourceApp && sourceApp->isInserted())
        saveContext();
    if (sourceApp && !sourceApp->isInserted()) {
        entry.sourceAppKey = sourceApp->primaryKey();
    } else if (!bundleId.isEmpty()) {
        entry.newAppBundleId = bundleId;
        entry.newAppName = appName;
    }
    entry.timestamp = QDateTime::currentDateTime();
    writer().save(std::move(entry));
}

LargeEntryWriter& ClipboardDataManager::writer() {
    if (!m_largeWriter) {
        QPointer<ClipboardDataManager> self(this);
        m_largeWriter = std::make_unique<LargeEntryWriter>(
            m_context->path(),
            [self](const auto& outcome) {
                Dispatch::onMain([self, outcome] {
                    if (self)
                        self->largeEntrySaved(outcome);
                });
            },
            [self] {
                Dispatch::onMain([self] {
                    if (self)
                        self->takeSaveTurn();
                });
            });
    }
    return *m_largeWriter;
}

void ClipboardDataManager::largeEntrySaved(const LargeEntryWriter::Outcome& outcome) {
    if (outcome.errorCode != 0)
        consoleLine(QStringLiteral("Error saving context: ") + outcome.error);
    if (outcome.givenUpBytes > 0)
        tellGivenUp(outcome.givenUpBytes);
    m_largePending = outcome.pendingLeft;
    noteSaveOutcome(outcome.errorCode);
    if (!outcome.newAppBundleId.isEmpty())
        if (const SourceAppPtr app = findSourceApp(outcome.newAppBundleId))
            loadSourceAppIconAndColor(app, outcome.newAppBundleId);
    if (outcome.objectID.isEmpty())
        return;
    // Taken as a row another process saved: a live object of it shows the new time.
    m_context->rowSavedElsewhere(outcome.objectID, outcome.type);
    if (outcome.link.isEmpty())
        return;
    if (const ClipboardItemPtr item = m_context->existingClipboardItem(outcome.objectID);
        item && needsLinkPreview(item))
        startLinkPreview(outcome.link, item);
}

void ClipboardDataManager::tellGivenUp(qint64 bytes) {
    consoleLine(QStringLiteral("Error saving context: an entry of %1 bytes was given up, the disk has no room for it")
                    .arg(bytes));
    NotificationCenter::defaultCenter().post(Notifications::historyEntryGivenUp, this,
                                             {{Notifications::bytesKey, bytes}});
}

bool ClipboardDataManager::largeSaveInProgress() const {
    return m_largeWriter && m_largeWriter->isBusy();
}

bool ClipboardDataManager::finishLargeSaves(bool quitting) {
    if (!m_largeWriter)
        return true;
    if (quitting)
        m_largeWriter->retry(true);
    const bool saved = m_largeWriter->waitUntilIdle([this] { saveContext(); });
    // Outcomes still on their way are taken now, before anything reads the store.
    QCoreApplication::sendPostedEvents(nullptr, 0);
    return saved;
}

void ClipboardDataManager::takeSaveTurn() {
    if (!m_largeWriter || !m_largeWriter->holdsForTurn())
        return;
    saveContext();
    m_largeWriter->endTurn();
}

SourceAppPtr ClipboardDataManager::findSourceApp(const QString& bundleId) {
    FetchRequest request;
    request.entityName = QStringLiteral("SourceApp");
    request.predicate = Predicate::bundleIdEquals(bundleId);
    request.fetchLimit = 1;
    StoreError error;
    const std::vector<SourceAppPtr> found = m_context->fetchSourceApps(request, &error);
    if (error.code != 0)
        consoleLine(QStringLiteral("Error fetching SourceApp: ") + error.description());
    return found.empty() ? nullptr : found.front();
}

SourceAppPtr ClipboardDataManager::findOrCreateSourceApp(const QString& bundleId, const OptString& appName) {
    if (SourceAppPtr found = findSourceApp(bundleId))
        return found;
    SourceAppPtr app = m_context->insertSourceApp();
    app->setBundleId(bundleId);
    app->setAppName(appName);
    loadSourceAppIconAndColor(app, bundleId);
    return app;
}

void ClipboardDataManager::loadSourceAppIconAndColor(const SourceAppPtr& sourceApp, const QString& bundleId) {
    QPointer<ClipboardDataManager> self(this);
    Dispatch::onGlobal([self, sourceApp, bundleId] {
        if (!self)
            return;
        Workspace& workspace = Workspace::shared();
        const std::optional<QString> path = workspace.applicationPath(bundleId);
        if (!path)
            return;
        const QImage icon = workspace.iconForFile(*path);
        const std::optional<QByteArray> png = ImageUtils::pngData(icon);
        if (!png)
            return;
        const QColor color = ColorExtractor::dominantColor(icon, bundleId);
        const QByteArray archive = ColorArchive::archivedData(color);
        const OptData colorData = archive.isEmpty() ? std::nullopt : OptData(archive);
        Dispatch::onMain([self, sourceApp, png = *png, colorData] {
            if (!self)
                return;
            sourceApp->setIconData(png);
            sourceApp->setDominantColorData(colorData);
            self->saveContext();
            NotificationCenter::defaultCenter().post(Notifications::sourceAppUpdated, sourceApp.get());
        });
    });
}

ClipboardItemPtr ClipboardDataManager::findDuplicate(const QString& type, const OptString& textContent,
                                                     const OptData& imageData, const OptData& originalImageData,
                                                     const OptString& filePath,
                                                     const QStringList& additionalFilePaths) {
    return findDuplicateIn(*m_context, type, textContent, imageData, originalImageData, filePath, additionalFilePaths);
}

ClipboardItemPtr ClipboardDataManager::findDuplicateIn(ManagedObjectContext& context, const QString& type,
                                                       const OptString& textContent, const OptData& imageData,
                                                       const OptData& originalImageData, const OptString& filePath,
                                                       const QStringList& additionalFilePaths) {
    const bool isText = kTextTypes.contains(type);
    const bool isImage = type == EntryType::image;
    const bool isFile = type == EntryType::file;
    if (!isText && !isImage && !isFile)
        return nullptr;
    const OptData& givenBytes = originalImageData ? originalImageData : imageData;
    if ((isText && !textContent) || (isImage && !givenBytes) || (isFile && !filePath))
        return nullptr;

    // The digest only narrows the candidates; each one is confirmed by comparing the content.
    const QByteArray digest =
        ManagedObjectContext::contentDigest(type, textContent, imageData, originalImageData, filePath);
    StoreError error;
    const std::vector<ClipboardItemPtr> candidates = context.itemsWithDigest(type, digest, &error);
    if (error.code != 0) {
        consoleLine(QStringLiteral("Error finding duplicate item: ") + error.description());
        return nullptr;
    }
    for (const ClipboardItemPtr& item : candidates) {
        if (isText) {
            const OptString stored = item->textContent();
            if (stored && sameText(*stored, *textContent))
                return item;
        } else if (isImage) {
            OptData stored = item->originalImageData();
            if (!stored)
                stored = item->imageData();
            const OptString storedText = item->textContent();
            const bool sameBeside = storedText.has_value() == textContent.has_value() &&
                                    (!storedText || sameText(*storedText, *textContent));
            if (stored && *stored == *givenBytes && sameBeside)
                return item;
        } else {
            const OptString stored = item->filePath();
            if (stored && sameText(*stored, *filePath) && samePaths(item->additionalFilePaths(), additionalFilePaths))
                return item;
        }
    }
    return nullptr;
}

ClipboardItemPtr ClipboardDataManager::findLargeTextDuplicateIn(ManagedObjectContext& context, const QString& type,
                                                                const LargeText& text) {
    StoreError error;
    const std::vector<ClipboardItemPtr> candidates = context.itemsWithDigest(type, text.digest(), &error);
    if (error.code != 0) {
        consoleLine(QStringLiteral("Error finding duplicate item: ") + error.description());
        return nullptr;
    }
    // The digest is taken over the whole composed text, so texts that share it are the same text;
    // reading a stored one back to compare would take as much memory again.
    return candidates.empty() ? nullptr : candidates.front();
}

QString ClipboardDataManager::makePreview(const LargeText& text) {
    // Only the beginning is decoded and segmented; a text this large is always cut.
    const QString head = text.head(16 * 1024);
    return truncatedToGraphemes(head, kPreviewLength).value_or(head) + QStringLiteral("...");
}

QString ClipboardDataManager::makePreview(const QString& type, const OptString& textContent,
                                          const OptString& filePath) const {
    if (kTextTypes.contains(type)) {
        if (!textContent)
            return QStringLiteral("Empty text");
        if (isWebURL(*textContent, kLinkSchemes))
            return trimmed(*textContent);
        if (const std::optional<QString> cut = truncatedToGraphemes(*textContent, kPreviewLength))
            return *cut + QStringLiteral("...");
        return *textContent;
    }
    if (type == EntryType::image)
        return QStringLiteral("Image");
    if (type == EntryType::file) {
        if (!filePath || filePath->isEmpty())
            return QStringLiteral("File");
        return lastPathComponent(*filePath);
    }
    return QStringLiteral("Unknown type");
}

bool ClipboardDataManager::isWebURL(const QString& text, const QStringList& schemes) {
    const QStringView t = QStringView(text).trimmed();
    if (t.isEmpty())
        return false;
    // A link begins with one of the schemes and "://": looked at before parsing, so that a long text
    // that is no link costs nothing here.
    if (std::none_of(schemes.begin(), schemes.end(), [t](const QString& scheme) {
            return t.startsWith(scheme, Qt::CaseInsensitive) && t.mid(scheme.size()).startsWith(u"://");
        }))
        return false;
    const QUrl url(t.toString(), QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (!schemes.contains(scheme))
        return false;
    if (!t.startsWith(scheme + QStringLiteral("://"), Qt::CaseInsensitive))
        return false;
    return !url.host().isEmpty();
}

bool ClipboardDataManager::needsLinkPreview(const ClipboardItemPtr& item) const {
    const OptString title = item->urlPreviewTitle();
    const bool blankTitle = !title || trimmed(*title).isEmpty();
    const OptData image = item->urlPreviewImageData();
    return blankTitle && (!image || image->isEmpty());
}

void ClipboardDataManager::startLinkPreview(const QString& link, const ClipboardItemPtr& item) {
    const QString objectID = item->objectID();
    QPointer<ClipboardDataManager> self(this);
    URLPreviewService::shared().fetchPreview(link, [self, link, objectID](std::optional<URLPreview> preview) {
        if (self)
            self->handlePreviewResult(preview, link, objectID);
    });
}

void ClipboardDataManager::handlePreviewResult(const std::optional<URLPreview>& preview, const QString& urlString,
                                               const QString& objectID) {
    if (!preview) {
        consoleLine(QStringLiteral("[Preview] No preview for ") + urlString);
        return;
    }
    consoleLine(QStringLiteral("[Preview] Got preview for ") + urlString);
    consoleLine(QStringLiteral("[Preview] Title: ") + preview->title.value_or(QStringLiteral("nil")) +
                QStringLiteral(", Has Image: ") +
                (preview->imageData ? QStringLiteral("true") : QStringLiteral("false")));
    QPointer<ClipboardDataManager> self(this);
    m_context->performBlock([self, p = *preview, urlString, objectID] {
        if (self)
            self->storePreview(p, urlString, objectID);
    });
}

void ClipboardDataManager::storePreview(const URLPreview& preview, const QString& urlString, const QString& objectID) {
    const ClipboardItemPtr item = m_context->existingClipboardItem(objectID);
    if (!item) {
        consoleLine(QStringLiteral("[Preview] Item no longer exists for ") + urlString);
        return;
    }
    item->setUrlPreviewTitle(preview.title);
    item->setUrlPreviewDescription(preview.description);
    item->setUrlPreviewImageData(preview.imageData);
    // While the writer writes, the preview is saved at its next stop (see saveContext).
    if (!m_largeWriter || m_largeWriter->beginTurn()) {
        StoreError error;
        if (m_context->save(&error))
            consoleLine(QStringLiteral("[Preview] Saved to Core Data"));
        else
            consoleLine(QStringLiteral("[Preview] Save failed: ") + error.description());
        if (m_largeWriter)
            m_largeWriter->endTurn();
    }
    NotificationCenter::defaultCenter().post(Notifications::urlPreviewUpdated, item.get());
    consoleLine(QStringLiteral("[Preview] Posted notification"));
}

// Queries and edits

Predicate ClipboardDataManager::typeFilterPredicate(const QString& typeFilter) {
    if (typeFilter == EntryType::color)
        return Predicate::andOf({Predicate::typeIn(kTextTypes), Predicate::isColor()});
    return Predicate::typeEquals(typeFilter);
}

FetchRequest ClipboardDataManager::pageRequest(const QString& query, std::optional<int> limit, int offset,
                                               bool favoritesOnly, const std::optional<QString>& typeFilter) {
    const QString q = trimmed(query);
    FetchRequest request;
    request.sortByTimestampDescending = true;
    request.fetchLimit = limit;
    request.fetchOffset = offset;
    request.deferTextContent = true;
    std::vector<Predicate> parts;
    if (!q.isEmpty())
        parts.push_back(Predicate::orOf({Predicate::containsCD(Predicate::Field::TextContent, q),
                                         Predicate::containsCD(Predicate::Field::Preview, q),
                                         Predicate::containsCD(Predicate::Field::Type, q),
                                         Predicate::containsCD(Predicate::Field::SourceAppName, q)}));
    if (favoritesOnly)
        parts.push_back(Predicate::isFavorite());
    if (typeFilter)
        parts.push_back(typeFilterPredicate(*typeFilter));
    if (!parts.empty())
        request.predicate = Predicate::andOf(std::move(parts));
    return request;
}

std::vector<ClipboardItemPtr> ClipboardDataManager::fetchItems(std::optional<int> limit, int offset, bool favoritesOnly,
                                                               const std::optional<QString>& typeFilter) {
    StoreError error;
    std::vector<ClipboardItemPtr> result =
        m_context->fetchItems(pageRequest(QString(), limit, offset, favoritesOnly, typeFilter), &error);
    if (error.code != 0) {
        consoleLine(QStringLiteral("Error fetching clipboard items: ") + error.description());
        return {};
    }
    return result;
}

std::vector<ClipboardItemPtr> ClipboardDataManager::searchItems(const QString& query, std::optional<int> limit,
                                                                bool favoritesOnly,
                                                                const std::optional<QString>& typeFilter, int offset) {
    if (trimmed(query).isEmpty())
        return fetchItems(limit, offset, favoritesOnly, typeFilter);
    StoreError error;
    std::vector<ClipboardItemPtr> result =
        m_context->fetchItems(pageRequest(query, limit, offset, favoritesOnly, typeFilter), &error);
    if (error.code != 0) {
        consoleLine(QStringLiteral("Error searching clipboard items: ") + error.description());
        return {};
    }
    return result;
}

bool ClipboardDataManager::copyToPasteboard(const ClipboardItemPtr& item, bool plainText) {
    cancelPick();
    if (!item)
        return false;
    return writeToPasteboard(item, PickContent::of(*item, plainText));
}

void ClipboardDataManager::pickToPasteboard(const ClipboardItemPtr& item, bool plainText,
                                            std::function<void(bool)> done) {
    const quint64 ticket = ++m_pickTicket;
    m_pick = {};
    if (!item || m_context->path().isEmpty()) {
        const bool written = item && writeToPasteboard(item, PickContent::of(*item, plainText));
        if (done)
            done(written);
        return;
    }
    if (!m_pickQueue) {
        m_pickReader = std::make_shared<StoreReader>(m_context->path());
        m_pickQueue = std::make_unique<SerialQueue>();
    }
    m_pick = {ticket, item, plainText, std::move(done)};
    auto request = std::make_shared<const PickRequest>(*item, plainText);
    m_pickQueue->async([this, ticket, request, reader = m_pickReader] {
        auto wanted = [this, ticket] { return m_pickTicket.load() == ticket; };
        if (!wanted())
            return;
        auto content = std::make_shared<PickContent>();
        StoreError error;
        const bool read = request->read(*reader, wanted, content.get(), &error);
        Dispatch::onMain(this, [this, ticket, read, content] { finishPick(ticket, read, *content); });
    });
}

void ClipboardDataManager::cancelPick() {
    ++m_pickTicket;
    m_pick = {};
}

void ClipboardDataManager::finishPickReads() {
    if (m_pickQueue)
        m_pickQueue->waitForDone();
    QCoreApplication::sendPostedEvents(nullptr, 0);
}

void ClipboardDataManager::finishPick(quint64 ticket, bool read, const PickContent& content) {
    if (ticket != m_pickTicket.load() || m_pick.ticket != ticket)
        return;
    const Pick pick = std::exchange(m_pick, {});
    if (pick.item->isDeleted())
        return;
    // The reader could not give the entry (the store unreadable there, the row saved under another
    // key meanwhile): the entry's own context reads it instead.
    const bool written = writeToPasteboard(pick.item, read ? content : PickContent::of(*pick.item, pick.plainText));
    if (pick.done)
        pick.done(written);
}

bool ClipboardDataManager::writeToPasteboard(const ClipboardItemPtr& item, const PickContent& content) {
    // Every representation was prepared before anything changes: an entry that cannot be written
    // leaves the clipboard, its timestamp and the monitor's skip count as they were. A write the
    // system refuses leaves the timestamp too.
    if (content.isEmpty())
        return false;
    Pasteboard& pasteboard = Pasteboard::general();
    ClipboardMonitor* monitor = m_clipboardMonitor.data();
    if (monitor)
        monitor->skipNextChangeCount = pasteboard.changeCount() + 1;
    pasteboard.clearContents();
    if (content.rich)
        pasteboard.setData(RtfReader::isRtf(*content.rich) ? Pasteboard::Type::RTF : Pasteboard::Type::HTML,
                           *content.rich);
    if (content.html)
        pasteboard.setData(Pasteboard::Type::HTML, *content.html);
    if (content.text)
        pasteboard.setData(Pasteboard::Type::String, *content.text);
    if (content.png) {
        pasteboard.setData(Pasteboard::Type::PNG, *content.png);
        // TIFF is made only for a reader that asks for it.
        pasteboard.setDataProvider(Pasteboard::Type::TIFF, [bytes = *content.png] {
            QByteArray encoded;
            QBuffer buffer(&encoded);
            buffer.open(QIODevice::WriteOnly);
            const QImage image = ImageUtils::decode(bytes);
            if (image.isNull() || !image.save(&buffer, "TIFF"))
                return QByteArray();
            return encoded;
        });
    }
    if (!content.urls.isEmpty())
        pasteboard.setURLs(content.urls);
    for (const auto& [mime, bytes] : content.documentFormats)
        pasteboard.setFormat(mime, bytes);
    if (!pasteboard.lastWriteSucceeded()) {
        // Another client still holds the clipboard: its content was seen already, and the entry
        // stays where it was.
        if (monitor) {
            monitor->skipNextChangeCount.reset();
            monitor->lastChangeCount = pasteboard.changeCount();
        }
        return false;
    }
    const QDateTime now = QDateTime::currentDateTime();
    if (content.bytes() >= LargeEntryWriter::largeBytes && !item->isInserted() && !m_context->path().isEmpty()) {
        // SQLite writes the whole row again to change its time: the writer does that.
        LargeEntryWriter::Entry picked;
        picked.type = item->type().value_or(QString());
        picked.pickedObjectID = item->objectID();
        picked.pickedKey = item->primaryKey();
        picked.timestamp = now;
        writer().save(std::move(picked));
        return true;
    }
    item->setTimestamp(now);
    saveContext();
    return true;
}

void ClipboardDataManager::deleteItemsOlderThan(int days) {
    // Calendar days on local time: across a daylight-saving change the time of day is kept.
    const QDateTime cutoff = QDateTime::currentDateTime().addDays(-qint64(days));
    if (!cutoff.isValid())
        return;
    const Predicate old = Predicate::andOf({Predicate::timestampBefore(cutoff), Predicate::isNotFavorite()});
    StoreError error;
    qint64 deleted = 0;
    bool done = false;
    const bool now = !m_largeWriter || m_largeWriter->beginTurn();
    if (now) {
        // One statement per table rather than a deletion per entry: the main thread is not held
        // by the size of the history.
        done = m_context->deleteItemsMatching(old, &deleted, &error);
        if (m_largeWriter)
            m_largeWriter->endTurn();
    } else {
        // The writer holds the store: the entries become pending deletions, saved at its next
        // stop like any change (see saveContext).
        FetchRequest request;
        request.predicate = old;
        const std::vector<ClipboardItemPtr> items = m_context->fetchItems(request, &error);
        done = error.code == 0;
        for (const ClipboardItemPtr& item : items)
            m_context->deleteObject(item);
        deleted = qint64(items.size());
    }
    if (!done) {
        consoleLine(QStringLiteral("Error deleting old items: ") + error.description());
        return;
    }
    // Their space is given back once they are gone from the store; deletions that wait for the
    // writer leave it to the next launch rather than compete with the writer and the saves for locks.
    if (saveContext() && now && deleted > 0 && m_space)
        m_space->reclaimInBackground();
}

bool ClipboardDataManager::clearAllHistory() {
    // A large entry being written holds the store for as long as it takes, and it and the entries
    // waiting behind it were copied before the clear: they are written first, then cleared too.
    if (largeSaveInProgress())
        finishLargeSaves();
    // One statement in the store rather than a deletion per entry: the main thread is not held
    // by the size of the history.
    StoreError error;
    if (!m_context->deleteAllItems(&error)) {
        consoleLine(QStringLiteral("Error clearing all history: ") + error.description());
        return false;
    }
    // What was pending with the entries is gone with them.
    noteSaveOutcome(0);
    if (!saveContext())
        return false;
    if (m_space)
        m_space->reclaimInBackground();
    return true;
}

void ClipboardDataManager::finishStoreSpace() {
    if (!m_space)
        return;
    m_space.reset();
    StoreSpace::convertIfWorthIt(m_context->path());
}

void ClipboardDataManager::toggleFavorite(const ClipboardItemPtr& item) {
    const std::optional<bool> current = item->isFavorite();
    item->setIsFavorite(current ? !*current : true);
    saveContext();
    NotificationCenter::defaultCenter().post(Notifications::itemFavoriteStatusChanged, item.get());
}

bool ClipboardDataManager::saveContext() {
    if (!m_context->hasChanges())
        return true;
    // While the writer writes, the change is kept (and shown) here and saved when the writer stops
    // before its next write: the main thread never waits for the writer's write lock.
    if (m_largeWriter && !m_largeWriter->beginTurn())
        return true;
    StoreError error;
    const bool saved = m_context->save(&error);
    if (m_largeWriter)
        m_largeWriter->endTurn();
    if (!saved)
        consoleLine(QStringLiteral("Error saving context: ") + error.description());
    noteSaveOutcome(saved ? 0 : error.code);
    return saved;
}

void ClipboardDataManager::noteSaveOutcome(int errorCode) {
    if (errorCode == SQLITE_FULL) {
        // Said once until everything is saved again, not at every copy that cannot be.
        if (!m_reportedNoSpace) {
            m_reportedNoSpace = true;
            NotificationCenter::defaultCenter().post(Notifications::historyStoreFull, this);
        }
    } else if (errorCode == 0 && !m_context->hasChanges() && !m_largePending) {
        m_reportedNoSpace = false;
    }
    const bool retrying = m_largePending || (m_reportedNoSpace && m_context->hasChanges());
    if (!retrying)
        m_retryTimer.stop();
    else if (!m_retryTimer.isActive())
        m_retryTimer.start();
}

void ClipboardDataManager::refreshAllObjects() {
    m_context->refreshAllObjects();
}
