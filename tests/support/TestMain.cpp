// SPDX-License-Identifier: MIT
// Shared main for every test executable: a private environment, a private X server for tests
// registered as needing X (offscreen otherwise), and a QApplication for the event loop.
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <memory>

namespace {
std::unique_ptr<XvfbSession> g_xserver;
}

XvfbSession* testXServer() {
    return g_xserver.get();
}

int main(int argc, char** argv) {
    TestEnvironment::instance();
    if (qEnvironmentVariableIntValue("TINDRALUME_TEST_X11") == 1) {
        g_xserver = std::make_unique<XvfbSession>();
        // A test registered for a particular screen names its size (e.g. "1366x768x24").
        const QString screen = qEnvironmentVariable("TINDRALUME_TEST_SCREEN", QStringLiteral("1280x800x24"));
        if (!g_xserver->start(screen)) {
            fprintf(stderr, "cannot start Xvfb: %s\n", qPrintable(g_xserver->error()));
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    } else if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QStandardPaths::setTestModeEnabled(false); // tests use the private XDG dirs set above
    ::testing::InitGoogleTest(&argc, argv);
    int rc = 0;
    {
        QApplication app(argc, argv);
        rc = RUN_ALL_TESTS();
    }
    g_xserver.reset();
    return rc;
}
