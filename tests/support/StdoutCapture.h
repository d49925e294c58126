// SPDX-License-Identifier: MIT
#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

// Sends standard output to a file while alive, so a test can read the console lines printed.
class StdoutCapture {
public:
    StdoutCapture() {
        m_file.open();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    // Failure messages of the test were captured too: show everything when the test failed.
    ~StdoutCapture() {
        restore();
        if (::testing::Test::HasFailure()) {
            const QByteArray text = lines().join(u'\n').toUtf8();
            std::fprintf(stderr, "--- captured output ---\n%s\n---\n", text.constData());
        }
    }

    // The lines printed so far; the capture goes on.
    QStringList lines() {
        std::fflush(stdout);
        QFile file(m_file.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList result = QString::fromUtf8(file.readAll()).split(u'\n');
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }

    QStringList linesStartingWith(const QString& prefix) {
        QStringList out;
        for (const QString& line : lines())
            if (line.startsWith(prefix))
                out << line;
        return out;
    }

    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
};
