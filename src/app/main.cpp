// SPDX-License-Identifier: MIT
#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "app/UnixSignalWatcher.h"
#include "history/store/ManagedObjectContext.h"
#include "platform/Console.h"
#include "platform/Localization.h"
#include "platform/LoginItem.h"

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

    // Where no tray shows the menu, a desktop's menu entry or a terminal reaches the settings.
    const bool openSettings = app.arguments().contains(QStringLiteral("--settings"));
    const bool atLogin = app.arguments().contains(LoginItem::atLoginArgument);
    // A second launch on the same history and display shows the running one's panel (or its
    // settings) and ends before it touches the store.
    SingleInstance instance(ManagedObjectContext::defaultStorePath(), qEnvironmentVariable("DISPLAY"));
    const SingleInstance::Request request = openSettings ? SingleInstance::Request::OpenSettings
                                            : atLogin    ? SingleInstance::Request::StayQuiet
                                                         : SingleInstance::Request::ShowPanel;
    switch (instance.claim(5000, request)) {
    case SingleInstance::Role::HandedOver:
        return 0;
    case SingleInstance::Role::Failed:
        consoleLine(instance.errorString());
        return 1;
    case SingleInstance::Role::Running:
        break;
    }

    AppDelegate delegate;
    // The login's autostart entry passes this: the panel waits for the hot key or the tray.
    // Asked for the settings, the panel would hold the keyboard the settings window needs.
    delegate.setShowsPanelAfterLaunch(!atLogin && !openSettings);
    delegate.answerLaterLaunches(instance);
    // Logging out, Ctrl+C or the terminal closed: save once and end, asking nothing.
    UnixSignalWatcher signalWatcher({SIGTERM, SIGINT, SIGHUP});
    QObject::connect(&signalWatcher, &UnixSignalWatcher::unixSignal, &delegate, &AppDelegate::terminateFromSignal);

    if (!delegate.setUpApplication())
        return delegate.exitStatus();
    if (openSettings)
        delegate.openSettings();
    return app.exec();
}
