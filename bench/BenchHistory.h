// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/ManagedObjectContext.h"

#include <QDateTime>
#include <QUuid>

// Fills a store with text entries of an ordinary length, one second apart, newest first, from one
// source application; every favoriteEvery-th entry is a favourite (0: none). Saves every 5,000.
inline void addBenchEntries(ManagedObjectContext& context, int entries, int favoriteEvery = 0) {
    StoreError error;
    const QDateTime now = QDateTime::currentDateTime();
    SourceAppPtr app = context.insertSourceApp();
    app->setBundleId(QStringLiteral("org.example.bench"));
    app->setAppName(QStringLiteral("Bench"));
    for (int i = 0; i < entries; ++i) {
        ClipboardItemPtr item = context.insertClipboardItem();
        const QString text = QStringLiteral("Entry %1: some copied text of an ordinary length").arg(i);
        item->setId(QUuid::createUuid());
        item->setType(QStringLiteral("text"));
        item->setTextContent(text);
        item->setPreview(text);
        item->setTimestamp(now.addSecs(-i - 1));
        item->setIsFavorite(favoriteEvery > 0 && i % favoriteEvery == 0);
        item->setSourceApp(app);
        if ((i % 5000 == 4999 || i == entries - 1) && !context.save(&error))
            qFatal("cannot save: %s", qPrintable(error.message));
    }
}
