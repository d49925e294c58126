// SPDX-License-Identifier: MIT
#pragma once

#include "history/ClipboardDataManager.h"
#include "history/ColorArchive.h"
#include "history/store/ManagedObjectContext.h"
#include "platform/ImageUtils.h"
#include "support/TestEnvironment.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <memory>

// A real SQLite store in a fresh directory with the real store manager on it.
struct PanelTestStore {
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
    QDateTime now = QDateTime::currentDateTime();
    int added = 0;

    explicit PanelTestStore(const QString& name) {
        StoreError error;
        context = ManagedObjectContext::open(TestEnvironment::instance().freshDir(name) + "/Tindralume.sqlite", &error);
        if (!context)
            ADD_FAILURE() << "cannot open store: " << error.message.toStdString();
        else
            manager = std::make_unique<ClipboardDataManager>(context.get());
    }

    static QByteArray iconPng(const QColor& color) {
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(color);
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRect(4, 4, 56, 56), 12, 12);
        p.end();
        return ImageUtils::pngData(image).value_or(QByteArray());
    }

    SourceAppPtr app(const QString& bundleId, const QString& name, const QColor& iconColor,
                     std::optional<QColor> dominant = std::nullopt) {
        SourceAppPtr a = context->insertSourceApp();
        a->setBundleId(bundleId);
        a->setAppName(name);
        a->setIconData(iconPng(iconColor));
        if (dominant)
            a->setDominantColorData(ColorArchive::archivedData(*dominant));
        return a;
    }

    // Entries added later are older, so the first one added is the newest.
    ClipboardItemPtr add(const QString& type, const QString& text, bool favorite = false,
                         const SourceAppPtr& source = nullptr, const OptData& rtf = std::nullopt) {
        ClipboardItemPtr item = context->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(type);
        item->setTextContent(text);
        item->setPreview(text.left(100));
        item->setTimestamp(now.addSecs(-60LL * ++added));
        item->setIsFavorite(favorite);
        if (rtf)
            item->setRichTextData(rtf);
        if (source)
            item->setSourceApp(source);
        return item;
    }

    void addTexts(int count, const QString& prefix = QStringLiteral("entry ")) {
        for (int i = 0; i < count; ++i)
            add(QStringLiteral("text"), prefix + QString::number(added));
        save();
    }

    void save() {
        StoreError error;
        if (!context->save(&error))
            ADD_FAILURE() << "save failed: " << error.message.toStdString();
    }

    std::vector<ClipboardItemPtr> all() { return manager->fetchItems(std::nullopt, 0, false, std::nullopt); }
};
