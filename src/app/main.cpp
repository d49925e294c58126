// SPDX-License-Identifier: MIT
#include "app/AppDelegate.h"
#include "app/UnixSignalWatcher.h"
#include "platform/Localization.h"

#include <QApplication>

#include <csignal>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tindralume"));
    QApplication::setApplicationVersion(QStringLiteral(TINDRALUME_VERSION));
    app.setProperty("buildNumber", QStringLiteral(TINDRALUME_BUILD_NUMBER));
    QApplication::setDesktopFileName(QStringLiteral("tindralume"));
    // A background process: the panel and the settings come and go, the application stays.
    QApplication::setQuitOnLastWindowClosed(false);
    // The language is fixed for the run: a changed choice applies at the next start.
    Localization::installTranslators(&app);

    // Logging out or Ctrl+C ends the application through the same questions as any other quit.
    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::unixSignal, &app, [] { QCoreApplication::quit(); });

    AppDelegate delegate;
    if (!delegate.setUpApplication())
        return 1;
    return app.exec();
}
