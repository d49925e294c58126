// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <utility>

class ClipboardDataManager;

// Polls the general pasteboard's change count twice a second and stores each new entry.
class ClipboardMonitor : public QObject {
public:
    ClipboardMonitor(ClipboardDataManager* dataManager, qint64 lastChangeCount);
    ~ClipboardMonitor() override;

    void startMonitoring();
    void stopMonitoring(); // invalidates the timer and empties it
    void checkClipboard();

    qint64 lastChangeCount = 0;
    std::optional<qint64> skipNextChangeCount;
    QPointer<QTimer> timer;

private:
    void pollPasteboard();
    std::pair<QString, QString> frontmostSourceApp() const;       // name, bundle id
    std::optional<std::pair<QByteArray, QByteArray>> readImage(); // scaled PNG, full PNG
    std::optional<QString> readFilePath();
    static std::optional<QString> firstFilePath();
    static bool isValidURL(const QString& text);
    void storeImageEntry(const QByteArray& scaled, const QByteArray& full, const QString& appName,
                         const QString& bundleId);
    void storeFileEntry(const QString& path, const QString& appName, const QString& bundleId);
    void storeEntry(const QString& type, const OptData& scaled, const OptData& full, const OptString& path,
                    const QString& appName, const QString& bundleId);

    ClipboardDataManager* m_dataManager;
    bool m_firstPollLogged = false;
};
