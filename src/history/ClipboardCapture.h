// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QImage>
#include <QStringList>

#include <memory>
#include <optional>
#include <utility>

class PasteboardContents;
class PrecomputedContent;

// What one clipboard change becomes, decided off the main thread: the readers in their order of
// precedence (image, file, rich text, plain text), with images decoded, fitted and encoded here.
struct CapturedEntry {
    enum class Kind { Nothing, Image, File, Text };
    Kind kind = Kind::Nothing;
    QString type; // entry type string
    OptString text;
    LargeTextPtr largeText;  // instead of text, a text too large for a UTF-16 copy
    OptData richTextData;    // RTF or HTML, as the owner offered it
    OptData documentFormats; // beside a picture or RTF: the owner's own formats (encoded)
    QByteArray scaledImage, fullImage;
    QString filePath;
    QStringList additionalFilePaths; // the other files of a copy of several
    // What the store works out from a large image or text, done here rather than on the main thread.
    std::shared_ptr<PrecomputedContent> precomputed;
};

class ClipboardCapture {
public:
    // Safe on any thread; reads only what the decision needs.
    static CapturedEntry capture(PasteboardContents& contents);

    static std::optional<std::pair<QByteArray, QByteArray>> readImage(PasteboardContents& contents); // scaled, full
    static std::optional<QString> readFilePath(PasteboardContents& contents);
    // Every file of a copy, in order, when it names more than one file of this machine; else empty.
    static QStringList readFilePaths(PasteboardContents& contents);
    static bool isValidURL(const QString& text);

    // Image files are read only when regular and at most this large: a FIFO or a device named like
    // a picture would block or never end.
    static constexpr qint64 maxFileBytes = 256LL * 1024 * 1024;

private:
    static std::optional<QString> firstFilePath(PasteboardContents& contents);
    static void readText(PasteboardContents& contents, CapturedEntry& entry);
    static LargeTextPtr readLargeText(PasteboardContents& contents, OptString* text);
    static OptData readDocumentFormats(PasteboardContents& contents);
    static OptData readHtmlBesideRtf(PasteboardContents& contents, const OptData& rich);
};
