// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Writes one of the application's console lines to standard output and flushes at once, so the
// line is there also when stdout is a file or a pipe. Safe from any thread; lines never interleave.
void consoleLine(const QString& line);
