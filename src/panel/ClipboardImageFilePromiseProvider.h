// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

class QMimeData;

// What an image card carries when it is dragged out: the entry's PNG as a file, prepared before the
// drag in a folder only the user can write (a content folder per SHA-256 of the bytes), handed to
// the drop target as a file URL; the PNG bytes themselves go to a target that asks for image data.
class ClipboardImageFilePromiseProvider {
public:
    static inline const QString folderName = QStringLiteral("Tindralume-DraggedImages");

    ClipboardImageFilePromiseProvider(QByteArray imageData, QString fileName);

    const QByteArray& imageData() const { return m_imageData; }
    const QString& fileName() const { return m_fileName; }

    // The drag's data; without a prepared file it carries the image data only. Caller owns it.
    QMimeData* makePasteboardWriter();
    // The same with the file prepared already (none: error says why).
    static QMimeData* makePasteboardWriter(const QByteArray& imageData, const std::optional<QString>& path,
                                           const QString& error);
    // The prepared copy's path; none with *error set when it cannot be made safely. sha256: the
    // image data's digest when known already (the store keeps it), else it is computed here.
    std::optional<QString> prepareTemporaryFile(QString* error, const QByteArray& sha256 = QByteArray());

    // The private folder the content folders live in: $XDG_RUNTIME_DIR when it is the user's own
    // and closed to others, else a 0700 folder of the user's in the temporary directory.
    static std::optional<QString> privateBaseDirectory(QString* error);

private:
    QByteArray m_imageData;
    QString m_fileName;
};
