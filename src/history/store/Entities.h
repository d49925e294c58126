// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/LargeText.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUuid>
#include <QVariant>

#include <memory>
#include <optional>

class ManagedObjectContext;
class SourceApp;

// Absent attributes are std::nullopt; an empty string or empty data is a present value.
using OptString = std::optional<QString>;
using OptData = std::optional<QByteArray>;

// Common part of a stored object: its context, its row key and its life-cycle flags. Objects are
// owned through std::shared_ptr and are unique per row within their context (identity map).
// All attribute access happens on the context's (main) thread; lazily read binary attributes are
// fetched through the main thread when read elsewhere.
class ManagedObject : public std::enable_shared_from_this<ManagedObject> {
public:
    virtual ~ManagedObject() = default;

    // Stable for the object's whole life, also before the first save; never reused for another row.
    // One exception: an object inserted while the store could not be written gets a new key at its
    // first save when another process has taken its key meanwhile.
    // Form: "tindralume://<Entity>/p<key>"; used as a cache key and by existingObject().
    QString objectID() const;
    qint64 primaryKey() const { return m_key; }
    virtual QString entityName() const = 0;
    ManagedObjectContext* managedObjectContext() const { return m_context; }

    bool isInserted() const { return m_inserted; } // inserted and not yet saved
    bool isDeleted() const { return m_deleted; }   // deleted (pending or saved)
    bool hasChanges() const { return m_inserted || m_updated || (m_deleted && !m_deletedSaved); }

protected:
    friend class ManagedObjectContext;
    // Records a change of the attributes in fieldMask (bits of the entity's Field enum).
    void markUpdated(quint32 fieldMask);

    ManagedObjectContext* m_context = nullptr;
    qint64 m_key = 0;
    bool m_inserted = false;
    bool m_updated = false;
    bool m_deleted = false;
    bool m_deletedSaved = false;
    quint32 m_dirtyFields = 0;          // attributes changed since the last save
    mutable quint32 m_blobsPending = 0; // binary attributes not read from the store yet
};

// An application entries were copied from; one per bundle identifier.
class SourceApp : public ManagedObject {
public:
    enum Field : quint32 { AppName = 1, BundleId = 2, IconData = 4, DominantColorData = 8 };

    QString entityName() const override { return QStringLiteral("SourceApp"); }

    OptString appName() const { return m_appName; }
    OptString bundleId() const { return m_bundleId; }
    OptData iconData() const;          // read from the store on first use
    OptData dominantColorData() const; // read from the store on first use

    void setAppName(const OptString& v);
    void setBundleId(const OptString& v);
    void setIconData(const OptData& v);
    void setDominantColorData(const OptData& v);

private:
    friend class ManagedObjectContext;
    void loadBlob(Field field) const;

    OptString m_appName;
    OptString m_bundleId;
    mutable OptData m_iconData;
    mutable OptData m_dominantColorData;
};

using SourceAppPtr = std::shared_ptr<SourceApp>;

// One clipboard entry. Binary attributes are read from the store when first used, never with a page.

// The name a path ends in, as a file entry shows it.
QString lastPathComponent(const QString& path);
// An entry's further files from their stored form (a JSON array of strings); anything else, a
// damaged row, gives none.
QStringList storedPathList(const QByteArray& json);
class ClipboardItem : public ManagedObject {
public:
    enum Field : quint32 {
        FilePath = 1 << 0,
        Id = 1 << 1,
        ImageData = 1 << 2,
        IsFavorite = 1 << 3,
        OriginalImageData = 1 << 4,
        Preview = 1 << 5,
        RichTextData = 1 << 6,
        TextContent = 1 << 7,
        Timestamp = 1 << 8,
        Type = 1 << 9,
        UrlPreviewDescription = 1 << 10,
        UrlPreviewImageData = 1 << 11,
        UrlPreviewTitle = 1 << 12,
        SourceAppField = 1 << 13,
        AdditionalFilePaths = 1 << 14,
        DocumentFormats = 1 << 15,
    };

    QString entityName() const override { return QStringLiteral("ClipboardItem"); }
    // The store's column of an attribute read on first use (the text and the binary ones); null for
    // the others.
    static const char* lazyColumn(Field field);

    std::optional<QUuid> id() const { return m_id; }
    OptString type() const { return m_type; }
    OptString textContent() const;
    // A large text set by setLargeTextContent and not saved yet, kept as UTF-8; else null.
    const LargeTextPtr& largeTextContent() const { return m_largeText; }
    OptString filePath() const { return m_filePath; }
    // The files after filePath when several were copied at once; empty for a single file. A page
    // of entries reads only how many there are; the list itself is read from the store on first use.
    QStringList additionalFilePaths() const;
    qsizetype additionalFileCount() const { return m_additionalFileCount; }
    OptString preview() const { return m_preview; }
    std::optional<QDateTime> timestamp() const { return m_timestamp; }
    std::optional<bool> isFavorite() const { return m_isFavorite; }
    OptString urlPreviewTitle() const { return m_urlPreviewTitle; }
    OptString urlPreviewDescription() const { return m_urlPreviewDescription; }
    OptData richTextData() const;
    OptData imageData() const;
    OptData originalImageData() const;
    OptData urlPreviewImageData() const;
    // The copying program's own formats of the same content, kept beside a picture (encoded list).
    OptData documentFormats() const;
    SourceAppPtr sourceApp() const;
    // False while a binary attribute has not been read from the store yet (reading it would).
    bool isLoaded(Field field) const { return !(m_blobsPending & field); }

    void setId(const std::optional<QUuid>& v);
    void setType(const OptString& v);
    void setTextContent(const OptString& v);
    // The store takes the text as it is kept: no UTF-16 copy of it is made to save it.
    void setLargeTextContent(const LargeTextPtr& v);
    void setFilePath(const OptString& v);
    void setAdditionalFilePaths(const QStringList& v);
    void setPreview(const OptString& v);
    void setTimestamp(const std::optional<QDateTime>& v);
    void setIsFavorite(const std::optional<bool>& v);
    void setUrlPreviewTitle(const OptString& v);
    void setUrlPreviewDescription(const OptString& v);
    void setRichTextData(const OptData& v);
    void setImageData(const OptData& v);
    void setOriginalImageData(const OptData& v);
    void setUrlPreviewImageData(const OptData& v);
    void setDocumentFormats(const OptData& v);
    void setSourceApp(const SourceAppPtr& app);

private:
    friend class ManagedObjectContext;
    void loadBlob(Field field) const;

    std::optional<QUuid> m_id;
    OptString m_type;
    mutable OptString m_textContent;
    LargeTextPtr m_largeText;
    OptString m_filePath;
    mutable QStringList m_additionalFilePaths;
    qsizetype m_additionalFileCount = 0;
    OptString m_preview;
    std::optional<QDateTime> m_timestamp;
    std::optional<bool> m_isFavorite;
    OptString m_urlPreviewTitle;
    OptString m_urlPreviewDescription;
    mutable OptData m_richTextData;
    mutable OptData m_imageData;
    mutable OptData m_originalImageData;
    mutable OptData m_urlPreviewImageData;
    mutable OptData m_documentFormats;
    mutable SourceAppPtr m_sourceApp;
    mutable qint64 m_sourceAppKey = 0; // row key of the source app (0: none), resolved on first use
};

using ClipboardItemPtr = std::shared_ptr<ClipboardItem>;
