// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/ManagedObjectContext.h"
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

// Collects what the code under test prints on standard output (the console lines).
class StdoutCapture {
public:
    StdoutCapture() {
        std::fflush(stdout);
        m_path = TestEnvironment::instance().freshDir(QStringLiteral("stdout")) + "/out.txt";
        m_saved = dup(fileno(stdout));
        FILE* f = std::fopen(QFile::encodeName(m_path).constData(), "w");
        dup2(fileno(f), fileno(stdout));
        std::fclose(f);
    }
    ~StdoutCapture() { finish(); }
    // The printed lines that begin with prefix.
    QStringList linesStartingWith(const QString& prefix) {
        QStringList out;
        for (const QString& line : lines())
            if (line.startsWith(prefix))
                out << line;
        return out;
    }

    // What was printed so far; the capture goes on.
    QStringList lines() {
        std::fflush(stdout);
        QFile f(m_path);
        f.open(QIODevice::ReadOnly);
        QStringList out = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
        if (!out.isEmpty() && out.last().isEmpty())
            out.removeLast();
        return out;
    }

private:
    void finish() {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, fileno(stdout));
        close(m_saved);
        m_saved = -1;
        // Show what was captured (test failures included) on the real output as well.
        QFile f(m_path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray all = f.readAll();
            std::fwrite(all.constData(), 1, size_t(all.size()), stdout);
            std::fflush(stdout);
        }
    }
    QString m_path;
    int m_saved = -1;
};
