// SPDX-License-Identifier: MIT
#pragma once

#include "platform/UserDefaults.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

// Runs the registered benchmarks inside a widget application (offscreen unless told otherwise),
// with settings in a throw-away file so the user's own are never touched.
inline int runWidgetBenchmarks(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settings;
    UserDefaults::setStandardPath(settings.path() + "/bench.conf");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
