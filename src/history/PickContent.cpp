// SPDX-License-Identifier: MIT
#include "history/PickContent.h"

#include "common/AppNames.h"
#include "history/store/StoreReader.h"
#include "platform/ImageUtils.h"
#include "richtext/RtfHtml.h"
#include "richtext/RtfReader.h"

#include <QByteArrayView>

#include <algorithm>

namespace {

using Field = ClipboardItem::Field;
using Attribute = std::function<OptData(Field)>;

constexpr Field kBlobFields[] = {ClipboardItem::RichTextData, ClipboardItem::ImageData,
                                 ClipboardItem::OriginalImageData, ClipboardItem::DocumentFormats};

// The bytes of a stored text as the entry's text gives them (decoding drops a leading byte-order
// mark and replaces invalid sequences), without the UTF-16 round trip for a usual text.
QByteArray asPicked(QByteArray stored) {
    if (!stored.startsWith("\xEF\xBB\xBF") && QByteArrayView(stored).isValidUtf8())
        return stored;
    return QString::fromUtf8(stored).toUtf8();
}

// Rich text kept as RTF also goes back as HTML: the owner's own when the entry kept it, else made
// from the RTF. Rich text kept as HTML is written as HTML already.
OptData htmlBeside(const OptData& rich, const Attribute& get) {
    if (!rich || !RtfReader::isRtf(*rich))
        return std::nullopt;
    if (const OptData kept = get(ClipboardItem::DocumentFormats)) {
        for (const auto& [mime, bytes] : DocumentFormats::decode(*kept))
            if (mime == DocumentFormats::html)
                return bytes;
    }
    QByteArray made = RtfHtml::fromRtf(*rich);
    return made.isEmpty() ? std::nullopt : OptData(std::move(made));
}

PickContent gather(const QString& type, bool plainText, const QList<QUrl>& urls, const Attribute& get) {
    PickContent c;
    if (type == EntryType::text || type == EntryType::url) {
        c.text = get(ClipboardItem::TextContent);
    } else if (type == EntryType::richText) {
        if (!plainText) {
            c.rich = get(ClipboardItem::RichTextData);
            c.html = htmlBeside(c.rich, get);
        }
        c.text = get(ClipboardItem::TextContent);
    } else if (type == EntryType::image) {
        // A picture copied together with its text (a spreadsheet range, a web fragment) goes back
        // with all of it, so each program takes the form it prefers; as plain text only the text.
        c.text = get(ClipboardItem::TextContent);
        if (!plainText) {
            c.rich = get(ClipboardItem::RichTextData);
            if (const OptData kept = get(ClipboardItem::DocumentFormats))
                c.documentFormats = DocumentFormats::decode(*kept);
        }
        if (!plainText || !c.text) {
            OptData bytes = get(ClipboardItem::OriginalImageData);
            if (!bytes)
                bytes = get(ClipboardItem::ImageData);
            // The header is enough to refuse bytes that are no image: decoding a photograph again on
            // every pick would cost more than the pick may take.
            if (bytes && ImageUtils::looksDecodable(*bytes))
                c.png = bytes;
        }
    } else if (type == EntryType::file) {
        c.urls = urls;
    }
    return c;
}

QList<QUrl> fileURLs(const ClipboardItem& item) {
    QList<QUrl> urls;
    if (item.type() != EntryType::file)
        return urls;
    if (const OptString path = item.filePath()) {
        urls = {QUrl::fromLocalFile(*path)};
        for (const QString& more : item.additionalFilePaths())
            urls << QUrl::fromLocalFile(more);
    }
    return urls;
}

} // namespace

qint64 PickContent::bytes() const {
    qint64 total = 0;
    for (const OptData* data : {&text, &rich, &png})
        total += *data ? (*data)->size() : 0;
    for (const auto& [mime, data] : documentFormats)
        total += data.size();
    return std::max(total, storedBytes);
}

PickContent PickContent::of(const ClipboardItem& item, bool plainText) {
    return gather(item.type().value_or(QString()), plainText, fileURLs(item), [&item](Field field) -> OptData {
        switch (field) {
        case ClipboardItem::TextContent:
            if (const LargeTextPtr& large = item.largeTextContent())
                return large->utf8();
            if (const OptString text = item.textContent())
                return text->toUtf8();
            return std::nullopt;
        case ClipboardItem::RichTextData:
            return item.richTextData();
        case ClipboardItem::ImageData:
            return item.imageData();
        case ClipboardItem::OriginalImageData:
            return item.originalImageData();
        case ClipboardItem::DocumentFormats:
            return item.documentFormats();
        default:
            return std::nullopt;
        }
    });
}

PickRequest::PickRequest(const ClipboardItem& item, bool plainText)
    : m_key(item.primaryKey()), m_type(item.type().value_or(QString())), m_plainText(plainText),
      m_largeText(item.largeTextContent()) {
    // A list of many files is read with the rest, off this thread.
    m_moreFilesStored =
        m_type == EntryType::file && item.filePath() && !item.isLoaded(ClipboardItem::AdditionalFilePaths);
    if (m_moreFilesStored)
        m_firstFile = *item.filePath();
    else
        m_urls = fileURLs(item);
    // Only shallow copies here: the conversions happen where the rest is read.
    if (!m_largeText && item.isLoaded(ClipboardItem::TextContent))
        m_text = item.textContent();
    for (const Field field : kBlobFields) {
        if (!item.isLoaded(field))
            continue;
        switch (field) {
        case ClipboardItem::RichTextData:
            m_blobs[field] = item.richTextData();
            break;
        case ClipboardItem::ImageData:
            m_blobs[field] = item.imageData();
            break;
        case ClipboardItem::OriginalImageData:
            m_blobs[field] = item.originalImageData();
            break;
        default:
            m_blobs[field] = item.documentFormats();
            break;
        }
    }
}

bool PickRequest::read(StoreReader& reader, const std::function<bool()>& wanted, PickContent* out,
                       StoreError* error) const {
    bool ok = true;
    auto stored = [&](Field field) -> OptData {
        if (!ok || !wanted()) {
            ok = false;
            return std::nullopt;
        }
        OptData value;
        bool found = false;
        if (!reader.attribute(m_key, ClipboardItem::lazyColumn(field), &value, &found, error) || !found) {
            ok = false;
            return std::nullopt;
        }
        return value;
    };
    QList<QUrl> urls = m_urls;
    if (m_moreFilesStored) {
        OptData list;
        bool found = false;
        if (!wanted() || !reader.attribute(m_key, "additionalFilePaths", &list, &found, error) || !found)
            return false;
        urls = {QUrl::fromLocalFile(m_firstFile)};
        for (const QString& more : storedPathList(list.value_or(QByteArray())))
            urls << QUrl::fromLocalFile(more);
    }
    *out = gather(m_type, m_plainText, urls, [&](Field field) -> OptData {
        if (field == ClipboardItem::TextContent) {
            if (m_largeText)
                return m_largeText->utf8();
            if (m_text)
                return *m_text ? OptData((*m_text)->toUtf8()) : std::nullopt;
            const OptData bytes = stored(field);
            return bytes ? OptData(asPicked(*bytes)) : std::nullopt;
        }
        if (const auto it = m_blobs.find(field); it != m_blobs.end())
            return it->second;
        return stored(field);
    });
    // A plain-text pick of a photograph reads only its text, yet a new time rewrites the photograph.
    qint64 binary = 0;
    if (ok && reader.binaryBytes(m_key, &binary, nullptr))
        out->storedBytes = (out->text ? out->text->size() : 0) + binary;
    return ok;
}
