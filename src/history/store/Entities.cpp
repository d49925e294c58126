// SPDX-License-Identifier: MIT
#include "history/store/Entities.h"

#include "history/store/ManagedObjectContext.h"

#include <QJsonArray>
#include <QJsonDocument>

QString ManagedObject::objectID() const {
    return QStringLiteral("tindralume://%1/p%2").arg(entityName()).arg(m_key);
}

void ManagedObject::markUpdated(quint32 fieldMask) {
    m_dirtyFields |= fieldMask;
    if (m_inserted || m_deleted || !m_context)
        return;
    if (!m_updated) {
        m_updated = true;
        m_context->noteChanged(this);
    }
}

// SourceApp

OptData SourceApp::iconData() const {
    loadBlob(IconData);
    return m_iconData;
}

OptData SourceApp::dominantColorData() const {
    loadBlob(DominantColorData);
    return m_dominantColorData;
}

void SourceApp::loadBlob(Field field) const {
    if ((m_blobsPending & field) && m_context)
        m_context->loadBlob(*this, field);
    m_blobsPending &= ~quint32(field);
}

void SourceApp::setAppName(const OptString& v) {
    m_appName = v;
    markUpdated(AppName);
}

void SourceApp::setBundleId(const OptString& v) {
    m_bundleId = v;
    markUpdated(BundleId);
}

void SourceApp::setIconData(const OptData& v) {
    m_blobsPending &= ~quint32(IconData);
    m_iconData = v;
    markUpdated(IconData);
}

void SourceApp::setDominantColorData(const OptData& v) {
    m_blobsPending &= ~quint32(DominantColorData);
    m_dominantColorData = v;
    markUpdated(DominantColorData);
}

// ClipboardItem

QStringList storedPathList(const QByteArray& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json);
    QStringList out;
    for (const QJsonValue& v : doc.array()) {
        if (!v.isString())
            return {};
        out << v.toString();
    }
    return out;
}

QString lastPathComponent(const QString& path) {
    QString p = path;
    while (p.size() > 1 && p.endsWith(QLatin1Char('/')))
        p.chop(1);
    if (p == QLatin1String("/"))
        return p;
    return p.mid(p.lastIndexOf(QLatin1Char('/')) + 1);
}

const char* ClipboardItem::lazyColumn(Field field) {
    switch (field) {
    case TextContent:
        return "textContent";
    case RichTextData:
        return "richTextData";
    case ImageData:
        return "imageData";
    case OriginalImageData:
        return "originalImageData";
    case UrlPreviewImageData:
        return "urlPreviewImageData";
    case DocumentFormats:
        return "documentFormats";
    default:
        return nullptr;
    }
}

void ClipboardItem::loadBlob(Field field) const {
    if ((m_blobsPending & field) && m_context)
        m_context->loadBlob(*this, field);
    m_blobsPending &= ~quint32(field);
}

OptString ClipboardItem::textContent() const {
    if (m_largeText)
        return m_largeText->toString();
    loadBlob(TextContent);
    return m_textContent;
}

OptData ClipboardItem::richTextData() const {
    loadBlob(RichTextData);
    return m_richTextData;
}

OptData ClipboardItem::imageData() const {
    loadBlob(ImageData);
    return m_imageData;
}

OptData ClipboardItem::originalImageData() const {
    loadBlob(OriginalImageData);
    return m_originalImageData;
}

OptData ClipboardItem::urlPreviewImageData() const {
    loadBlob(UrlPreviewImageData);
    return m_urlPreviewImageData;
}

OptData ClipboardItem::documentFormats() const {
    loadBlob(DocumentFormats);
    return m_documentFormats;
}

SourceAppPtr ClipboardItem::sourceApp() const {
    if (!m_sourceApp && m_sourceAppKey != 0 && m_context)
        m_sourceApp = m_context->sourceAppForKey(m_sourceAppKey);
    return m_sourceApp;
}

void ClipboardItem::setId(const std::optional<QUuid>& v) {
    m_id = v;
    markUpdated(Id);
}

void ClipboardItem::setType(const OptString& v) {
    m_type = v;
    markUpdated(Type);
}

void ClipboardItem::setTextContent(const OptString& v) {
    m_blobsPending &= ~quint32(TextContent);
    m_largeText.reset();
    m_textContent = v;
    markUpdated(TextContent);
}

void ClipboardItem::setLargeTextContent(const LargeTextPtr& v) {
    if (!v) {
        setTextContent(std::nullopt);
        return;
    }
    m_blobsPending &= ~quint32(TextContent);
    m_textContent.reset();
    m_largeText = v;
    markUpdated(TextContent);
}

void ClipboardItem::setFilePath(const OptString& v) {
    m_filePath = v;
    markUpdated(FilePath);
}

QStringList ClipboardItem::additionalFilePaths() const {
    loadBlob(AdditionalFilePaths);
    return m_additionalFilePaths;
}

void ClipboardItem::setAdditionalFilePaths(const QStringList& v) {
    m_blobsPending &= ~quint32(AdditionalFilePaths);
    m_additionalFilePaths = v;
    m_additionalFileCount = v.size();
    markUpdated(AdditionalFilePaths);
}

void ClipboardItem::setPreview(const OptString& v) {
    m_preview = v;
    markUpdated(Preview);
}

void ClipboardItem::setTimestamp(const std::optional<QDateTime>& v) {
    m_timestamp = v;
    markUpdated(Timestamp);
}

void ClipboardItem::setIsFavorite(const std::optional<bool>& v) {
    m_isFavorite = v;
    markUpdated(IsFavorite);
}

void ClipboardItem::setUrlPreviewTitle(const OptString& v) {
    m_urlPreviewTitle = v;
    markUpdated(UrlPreviewTitle);
}

void ClipboardItem::setUrlPreviewDescription(const OptString& v) {
    m_urlPreviewDescription = v;
    markUpdated(UrlPreviewDescription);
}

void ClipboardItem::setRichTextData(const OptData& v) {
    m_blobsPending &= ~quint32(RichTextData);
    m_richTextData = v;
    markUpdated(RichTextData);
}

void ClipboardItem::setImageData(const OptData& v) {
    m_blobsPending &= ~quint32(ImageData);
    m_imageData = v;
    markUpdated(ImageData);
}

void ClipboardItem::setOriginalImageData(const OptData& v) {
    m_blobsPending &= ~quint32(OriginalImageData);
    m_originalImageData = v;
    markUpdated(OriginalImageData);
}

void ClipboardItem::setUrlPreviewImageData(const OptData& v) {
    m_blobsPending &= ~quint32(UrlPreviewImageData);
    m_urlPreviewImageData = v;
    markUpdated(UrlPreviewImageData);
}

void ClipboardItem::setDocumentFormats(const OptData& v) {
    m_blobsPending &= ~quint32(DocumentFormats);
    m_documentFormats = v;
    markUpdated(DocumentFormats);
}

void ClipboardItem::setSourceApp(const SourceAppPtr& app) {
    m_sourceApp = app;
    m_sourceAppKey = app ? app->primaryKey() : 0;
    markUpdated(SourceAppField);
}
