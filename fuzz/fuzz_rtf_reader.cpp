// SPDX-License-Identifier: MIT
// The RTF reader on arbitrary bytes (after a "{\rtf1" prefix), read whole and to a limit, and made
// into HTML.
#include "richtext/RtfHtml.h"
#include "richtext/RtfReader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

namespace {

// Only tabs and line ends among the control characters; valid UTF-16.
bool clean(const QString& text) {
    if (!text.isValidUtf16())
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n') || (u >= 0x7F && u <= 0x9F))
            return false;
    }
    return true;
}

QString withoutReplacements(QString text) {
    return text.remove(QChar::ReplacementCharacter);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const qsizetype limit = data[0];
    const QByteArray rtf = "{\\rtf1" + QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    bool truncated = false;
    const QString full = RtfReader::plainText(rtf, -1, &truncated);
    const QString beginning = RtfReader::plainText(rtf, limit, &truncated);
    if (!clean(full) || !clean(beginning))
        std::abort();
    // The limited read is the beginning of the whole one, all of it when nothing was left out (a
    // character cut in half by the limit may be left out rather than replaced). Compared without
    // the list indents of the plain text: a paragraph cut short may not reach the format its end
    // gives it, so its nesting tabs may differ.
    QTextDocument fullDocument;
    QTextDocument document;
    if (!RtfReader::read(rtf, &fullDocument) || !RtfReader::read(rtf, &document, limit, &truncated) ||
        document.characterCount() - 1 > limit + 1)
        std::abort();
    const QString fullText = withoutReplacements(fullDocument.toPlainText());
    const QString beginningText = withoutReplacements(document.toPlainText());
    if (!fullText.startsWith(beginningText) || (!truncated && beginningText != fullText) ||
        (truncated && document.toPlainText() == fullDocument.toPlainText()))
        std::abort();
    // Only our own markup: the input's "<" is always escaped.
    const QByteArray html = RtfHtml::fromRtf(rtf);
    if (!html.endsWith("</body></html>") || html.contains("<script"))
        std::abort();
    return 0;
}
