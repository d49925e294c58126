// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>
#include <utility>

class ClipboardDataManager;
class PrecomputedContent;
struct CapturedEntry;

// Watches the general pasteboard's change count, twice a second and whenever the pasteboard reports
// a change, and stores each new entry. The pasteboard is read and the entry prepared off the main
// thread; entries are stored on it, in the order of the changes.
class ClipboardMonitor : public QObject {
public:
    ClipboardMonitor(ClipboardDataManager* dataManager, qint64 lastChangeCount);
    ~ClipboardMonitor() override;

    void startMonitoring();
    void stopMonitoring(); // invalidates the timer and empties it
    void checkClipboard();
    // Whether a change is still being read or prepared.
    bool isCapturing() const { return m_pendingCaptures > 0; }

    qint64 lastChangeCount = 0;
    std::optional<qint64> skipNextChangeCount;
    QPointer<QTimer> timer;

private:
    void pollPasteboard();
    std::pair<QString, QString> frontmostSourceApp() const; // name, bundle id
    void storeCaptured(const CapturedEntry& entry, const QString& appName, const QString& bundleId);
    void storeEntry(const CapturedEntry& entry, const QString& appName, const QString& bundleId);

    ClipboardDataManager* m_dataManager;
    int m_pendingCaptures = 0;
    bool m_firstPollLogged = false;
};
