// SPDX-License-Identifier: MIT
#include "platform/CrashReporter.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace {

TEST(CrashReporterTest, DsnParsing) {
    const struct {
        const char* dsn;
        bool valid;
        const char* host;
        const char* project;
    } cases[] = {
        {"https://abc@reports.example.org/42", true, "reports.example.org", "42"},
        {"https://abc@reports.example.org:8443/42", true, "reports.example.org", "42"},
        {"http://abc@reports.example.org/42", false, "", ""}, // not the secure scheme
        {"https://reports.example.org/42", false, "", ""},    // no public key
        {"https://abc@reports.example.org/", false, "", ""},  // no project
        {"https://abc@reports.example.org/4x2", false, "", ""},
        {"https://abc@/42", false, "", ""},
        {"", false, "", ""},
        {"not a url at all", false, "", ""},
    };
    for (const auto& c : cases) {
        CrashReporter::ParsedDsn parsed;
        EXPECT_EQ(CrashReporter::parseDsn(QString::fromUtf8(c.dsn), &parsed), c.valid) << c.dsn;
        if (c.valid) {
            EXPECT_EQ(parsed.host, QString::fromUtf8(c.host));
            EXPECT_EQ(parsed.projectId, QString::fromUtf8(c.project));
        }
    }
    CrashReporter::ParsedDsn ours;
    ASSERT_TRUE(CrashReporter::parseDsn(CrashReporter::defaultDsn(), &ours));
    EXPECT_EQ(ours.publicKey, QStringLiteral("7c4e19a05b3d82f6e1a94c07d25b8e3f"));
}

TEST(CrashReporterTest, InvalidDsnInstallsNothing) {
    EXPECT_FALSE(CrashReporter::start([](CrashReporter::Options& o) { o.dsn = QStringLiteral("https://nokey/1"); }));
    EXPECT_FALSE(CrashReporter::isStarted());
}

QString crashDataHome(pid_t parent) {
    return QDir::tempPath() + QStringLiteral("/tindralume-crash-test-%1").arg(parent);
}

// The null store is the fault under test; the sanitizer's null check would end the child first.
[[noreturn]] __attribute__((no_sanitize("null"))) void crashWithReporter() {
    // Runs in the death-test child; the parent finds the report through its own pid.
    qputenv("XDG_DATA_HOME", crashDataHome(::getppid()).toUtf8());
    CrashReporter::start([](CrashReporter::Options& o) {
        o.dsn = CrashReporter::defaultDsn();
        o.tracesSampleRate = 1.0;
    });
    volatile int* nowhere = nullptr;
    *nowhere = 1;
    ::abort();
}

TEST(CrashReporterTest, FatalSignalWritesReportAndStillDies) {
    const QString dataHome = crashDataHome(::getpid());
    QDir(dataHome).removeRecursively();
    ::testing::FLAGS_gtest_death_test_style = "threadsafe";
    EXPECT_EXIT(crashWithReporter(), ::testing::KilledBySignal(SIGSEGV), "");

    const QDir dir(dataHome + QStringLiteral("/Tindralume/crashes"));
    const QStringList reports = dir.entryList({QStringLiteral("crash-*.txt")}, QDir::Files);
    ASSERT_EQ(reports.size(), 1) << qPrintable(dir.path());
    QFile f(dir.filePath(reports.first()));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray report = f.readAll();
    EXPECT_TRUE(report.contains("signal: SIGSEGV (11)")) << report.left(500).constData();
    EXPECT_TRUE(report.contains("fault address: 0x0\n")) << report.left(500).constData();
    // Nothing is uploaded, so nothing in the report may suggest an upload destination or sampling.
    EXPECT_FALSE(report.contains(CrashReporter::defaultDsn().toUtf8())) << report.left(500).constData();
    EXPECT_FALSE(report.contains("sample rate")) << report.left(500).constData();
    EXPECT_TRUE(report.contains("program counter: 0x"));
    // The memory map names our own executable, so the program counter can be resolved.
    EXPECT_TRUE(report.contains("test_platform_crash"));
    QDir(dataHome).removeRecursively();
}

} // namespace
