// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Workspace.h"

#include <QHash>
#include <QList>
#include <QMutex>

// In-memory workspace for unit tests: a settable front application and a table of known apps.
class MemoryWorkspace : public Workspace {
public:
    std::optional<RunningApplication> frontmostApplication() override { return front; }
    std::optional<QString> applicationPath(const QString& bundleIdentifier) override {
        QMutexLocker lock(&mutex);
        ++pathLookups;
        auto it = paths.find(bundleIdentifier);
        return it == paths.end() ? std::nullopt : std::optional<QString>(*it);
    }
    QImage iconForFile(const QString& path) override {
        QMutexLocker lock(&mutex);
        return icons.value(path);
    }
    bool openUrl(const QUrl& url) override {
        QMutexLocker lock(&mutex);
        opened.append(url);
        return true;
    }

    std::optional<RunningApplication> front;
    QHash<QString, QString> paths; // bundle id -> path
    QHash<QString, QImage> icons;  // path -> icon
    QList<QUrl> opened;
    int pathLookups = 0;
    QMutex mutex;
};
