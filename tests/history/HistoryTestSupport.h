// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/ManagedObjectContext.h"
#include "support/StdoutCapture.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <unistd.h>

// A store file of its own for one test.
inline std::unique_ptr<ManagedObjectContext> openFreshStore(QString* pathOut = nullptr) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("store")) + "/Tindralume.sqlite";
    if (pathOut)
        *pathOut = path;
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    EXPECT_TRUE(ctx) << error.message.toStdString();
    return ctx;
}

inline FetchRequest where(Predicate predicate) {
    FetchRequest r;
    r.predicate = std::move(predicate);
    return r;
}
