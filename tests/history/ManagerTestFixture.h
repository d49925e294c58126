// SPDX-License-Identifier: MIT
#pragma once
// The store manager over a fresh store file and in-memory clipboard and workspace.
#include "HistoryTestSupport.h"

#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/ClipboardMonitor.h"
#include "history/ColorArchive.h"
#include "platform/ImageUtils.h"
#include "platform/NotificationCenter.h"
#include "support/memory/MemoryPasteboard.h"
#include "support/memory/MemoryWorkspace.h"

#include <QFileInfo>
#include <QTimeZone>
#include <QtConcurrent>
#include <QtTest>

#include <sqlite3.h>

// A link whose preview request ends at once with nothing: the port is closed on this machine.
inline const QString kDeadLink = QStringLiteral("http://127.0.0.1:1/page");

inline QByteArray png(const QColor& color, int w = 20, int h = 20) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    return *ImageUtils::pngData(image);
}

class ManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = openFreshStore();
        ASSERT_TRUE(context);
        auto pb = std::make_unique<MemoryPasteboard>();
        pasteboard = pb.get();
        Pasteboard::setGeneral(std::move(pb));
        auto ws = std::make_unique<MemoryWorkspace>();
        workspace = ws.get();
        Workspace::setShared(std::move(ws));
        manager = std::make_unique<ClipboardDataManager>(context.get());
    }
    void TearDown() override {
        manager.reset();
        QCoreApplication::processEvents();
    }

    void saveText(const QString& text, const QString& type = QStringLiteral("text"),
                  const OptString& bundleId = std::nullopt, const OptData& rtf = std::nullopt) {
        manager->saveClipboardItem(type, text, rtf, std::nullopt, std::nullopt, std::nullopt,
                                   bundleId ? OptString(*bundleId + " App") : std::nullopt, bundleId);
    }
    std::vector<ClipboardItemPtr> all() { return manager->fetchItems(std::nullopt, 0, false, std::nullopt); }
    // Stamps the given entries one minute apart in the past, the first newest.
    void restamp(const std::vector<ClipboardItemPtr>& newestFirst) {
        const QDateTime now = QDateTime::currentDateTime();
        for (size_t i = 0; i < newestFirst.size(); ++i)
            newestFirst[i]->setTimestamp(now.addSecs(-60 * qint64(i + 1)));
        manager->saveContext();
    }
    // Makes the store fail on writes that need a new page.
    void fillDisk() {
        sqlite3* db = context->connection();
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &s, nullptr);
        sqlite3_step(s);
        const QByteArray pages = QByteArray::number(sqlite3_column_int(s, 0));
        sqlite3_finalize(s);
        sqlite3_exec(db, ("PRAGMA max_page_count = " + pages).constData(), nullptr, nullptr, nullptr);
    }
    void freeDisk() {
        sqlite3_exec(context->connection(), "PRAGMA max_page_count = 1073741823", nullptr, nullptr, nullptr);
    }

    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
    MemoryPasteboard* pasteboard = nullptr;
    MemoryWorkspace* workspace = nullptr;
};

struct Observed {
    QObject owner;
    std::vector<const void*> objects;
    Observed(const QString& name) {
        NotificationCenter::defaultCenter().addObserver(&owner, name,
                                                        [this](const Notification& n) { objects.push_back(n.object); });
    }
};
