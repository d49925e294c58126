// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QTemporaryDir>

// Points HOME and the XDG directories of this test process at a fresh temporary directory, so
// no test reads or writes the user's real history or settings.
class TestEnvironment {
public:
    static TestEnvironment& instance();

    QString root() const { return m_dir.path(); }
    QString dataHome() const;   // $XDG_DATA_HOME
    QString configHome() const; // $XDG_CONFIG_HOME
    // A fresh, empty directory below root() for one test.
    QString freshDir(const QString& name) const;

private:
    TestEnvironment();
    QTemporaryDir m_dir;
};

// The X server of this test process when the test was registered as needing X, else null.
class XvfbSession;
XvfbSession* testXServer();
