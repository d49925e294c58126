// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

// Crash reporting: started once at launch with its options. On a fatal signal (SIGSEGV, SIGBUS,
// SIGILL, SIGFPE, SIGABRT) a report file is written into <data dir>/Tindralume/crashes/ and the
// signal is raised again with its default action, so the process still dies as it would have.
class CrashReporter {
public:
    struct Options {
        QString dsn;                        // validated and kept; reports stay on disk
        bool debug = false;                 // print what the reporter does on standard error
        bool enableAppHangTracking = false; // accepted for completeness; hang detection is not built
        double tracesSampleRate = 0.0;      // accepted; nothing is traced or uploaded
    };

    // The application's destination: the public key, the host and the project id live here only.
    static QString defaultDsn();

    // Validates the options and installs the fatal-signal handler. A DSN that is not of the form
    // https://<key>@<host>/<numeric project id> is refused: false and nothing is installed.
    static bool start(const std::function<void(Options&)>& configure);
    static bool isStarted();
    static Options options();
    // Where reports go; created by start().
    static QString reportDirectory();

    struct ParsedDsn {
        QString publicKey;
        QString host;
        QString projectId;
    };
    static bool parseDsn(const QString& dsn, ParsedDsn* out);
};
