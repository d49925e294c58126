// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

// SQLite's quick check of a store file, held to a time budget whatever the SQLite in use does: it
// runs on a connection and thread of its own, and once the budget is spent (or the application quits
// while the caller waits) its reads fail and its statement is interrupted, so it ends within one page
// read. Debian 12's SQLite walks every page inside one step, where neither a progress handler nor an
// interrupt reaches it.
class QuickCheck {
public:
    enum class Outcome {
        Passed,
        // finding: SQLite's first finding, on one line.
        Damaged,
        // Stopped unfinished: nothing is known of the pages it did not read.
        OutOfTime,
        // The application quit while the caller waited.
        Abandoned,
    };
    struct Result {
        Outcome outcome = Outcome::Passed;
        QString finding;
    };
    // Blocking: the caller waits. HandlingEvents (main thread, with a QCoreApplication): the caller's
    // event loop keeps running meanwhile, and a quit of the application abandons the check.
    enum class Wait { Blocking, HandlingEvents };

    // Opens the file read-only; writes nothing and holds nothing open on return.
    static Result run(const QString& path, int budgetMs, Wait wait);

    // Test seam: runs on the check's thread before each read of the file; empty for none. Set it
    // while no check runs.
    static void setReadHookForTesting(std::function<void()> hook);
};
