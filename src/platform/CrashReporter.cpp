// SPDX-License-Identifier: MIT
#include "platform/CrashReporter.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QUrl>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

// The reporting destination of this application: one place for its host and project id.
constexpr const char* kDsnPublicKey = "7c4e19a05b3d82f6e1a94c07d25b8e3f";
constexpr const char* kDsnHost = "crash-reports.tindralume.org";
constexpr const char* kDsnProjectId = "4507311";

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

CrashReporter::Options g_options;
std::atomic<bool> g_started{false};

// Everything the handler needs is prepared here, before any crash, because the handler may not
// allocate, lock or call anything that is not async-signal-safe.
char g_reportPrefix[4096];  // "<dir>/crash-"
char g_reportHeader[2048];  // application, version, DSN, options
char g_altStack[64 * 1024]; // the handler must run also when the stack overflowed

size_t cstrlen(const char* s) {
    size_t n = 0;
    while (s[n])
        ++n;
    return n;
}

void writeAll(int fd, const char* data, size_t len) {
    while (len > 0) {
        const ssize_t n = ::write(fd, data, len);
        if (n <= 0)
            return;
        data += n;
        len -= static_cast<size_t>(n);
    }
}

void writeStr(int fd, const char* s) {
    writeAll(fd, s, cstrlen(s));
}

// Decimal or hexadecimal into buf without the C library's formatting (not async-signal-safe).
char* formatNumber(unsigned long long v, int base, char* buf, size_t size) {
    char* p = buf + size - 1;
    *p = '\0';
    do {
        const int d = static_cast<int>(v % static_cast<unsigned>(base));
        *--p = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        v /= static_cast<unsigned>(base);
    } while (v && p > buf);
    return p;
}

void writeDec(int fd, long long v) {
    char buf[32];
    if (v < 0) {
        writeStr(fd, "-");
        v = -v;
    }
    writeStr(fd, formatNumber(static_cast<unsigned long long>(v), 10, buf, sizeof buf));
}

void writeHex(int fd, unsigned long long v) {
    char buf[32];
    writeStr(fd, "0x");
    writeStr(fd, formatNumber(v, 16, buf, sizeof buf));
}

const char* signalName(int sig) {
    switch (sig) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGILL:
        return "SIGILL";
    case SIGFPE:
        return "SIGFPE";
    case SIGABRT:
        return "SIGABRT";
    }
    return "signal";
}

void fatalSignalHandler(int sig, siginfo_t* info, void* context) {
    // One report per crash, also when a second thread faults while the first is writing.
    static std::atomic<bool> handling{false};
    if (!handling.exchange(true)) {
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        char path[sizeof g_reportPrefix + 64];
        char num[32];
        size_t n = cstrlen(g_reportPrefix);
        std::memcpy(path, g_reportPrefix, n);
        const char* secs = formatNumber(static_cast<unsigned long long>(now.tv_sec), 10, num, sizeof num);
        std::memcpy(path + n, secs, cstrlen(secs));
        n += cstrlen(secs);
        path[n++] = '-';
        const char* pid = formatNumber(static_cast<unsigned long long>(::getpid()), 10, num, sizeof num);
        std::memcpy(path + n, pid, cstrlen(pid));
        n += cstrlen(pid);
        std::memcpy(path + n, ".txt", 5);

        const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            writeStr(fd, g_reportHeader);
            writeStr(fd, "signal: ");
            writeStr(fd, signalName(sig));
            writeStr(fd, " (");
            writeDec(fd, sig);
            writeStr(fd, ")\ncode: ");
            writeDec(fd, info ? info->si_code : 0);
            writeStr(fd, "\nfault address: ");
            writeHex(fd, info ? reinterpret_cast<unsigned long long>(info->si_addr) : 0);
#if defined(__x86_64__)
            if (context) {
                const auto* uc = static_cast<const ucontext_t*>(context);
                writeStr(fd, "\nprogram counter: ");
                writeHex(fd, static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_RIP]));
                writeStr(fd, "\nstack pointer: ");
                writeHex(fd, static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_RSP]));
            }
#else
            (void)context;
#endif
            writeStr(fd, "\ntime: ");
            writeDec(fd, now.tv_sec);
            writeStr(fd, "\npid: ");
            writeDec(fd, ::getpid());
            // The memory map lets the program counter be resolved to a library and offset later.
            writeStr(fd, "\n\nmaps:\n");
            const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
            if (maps >= 0) {
                char buf[4096];
                ssize_t r;
                while ((r = ::read(maps, buf, sizeof buf)) > 0)
                    writeAll(fd, buf, static_cast<size_t>(r));
                ::close(maps);
            }
            ::fsync(fd);
            ::close(fd);
        }
    }
    // Die of the same signal with its default action (core dump, exit status) as without us.
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    ::sigaction(sig, &dfl, nullptr);
    ::raise(sig);
}

void copyInto(char* dst, size_t size, const QByteArray& src) {
    const size_t n = std::min(size - 1, static_cast<size_t>(src.size()));
    std::memcpy(dst, src.constData(), n);
    dst[n] = '\0';
}

} // namespace

QString CrashReporter::defaultDsn() {
    return QStringLiteral("https://%1@%2/%3")
        .arg(QLatin1String(kDsnPublicKey), QLatin1String(kDsnHost), QLatin1String(kDsnProjectId));
}

bool CrashReporter::parseDsn(const QString& dsn, ParsedDsn* out) {
    const QUrl url(dsn, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.userName().isEmpty() || url.host().isEmpty())
        return false;
    QString project = url.path();
    if (!project.startsWith(QLatin1Char('/')))
        return false;
    project.remove(0, 1);
    bool numeric = false;
    project.toULongLong(&numeric);
    if (!numeric)
        return false;
    if (out)
        *out = ParsedDsn{url.userName(), url.host(), project};
    return true;
}

QString CrashReporter::reportDirectory() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty())
        data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/Tindralume/crashes");
}

bool CrashReporter::start(const std::function<void(Options&)>& configure) {
    Options opts;
    if (configure)
        configure(opts);
    ParsedDsn parsed;
    if (!parseDsn(opts.dsn, &parsed)) {
        if (opts.debug)
            std::fprintf(stderr, "crash reporting: invalid DSN, not started\n");
        return false;
    }
    const QString dir = reportDirectory();
    PrivateFiles::makeFolders(dir);
    g_options = opts;
    copyInto(g_reportPrefix, sizeof g_reportPrefix, QFile::encodeName(dir + QStringLiteral("/crash-")));
    // Only what is true of this build: the destination and the sample rate are accepted for the
    // options' sake, but no report leaves this machine, so none is written as if it would.
    QString version = QCoreApplication::applicationVersion();
    const QCoreApplication* app = QCoreApplication::instance();
    if (const QString build = app ? app->property("buildNumber").toString() : QString(); !build.isEmpty())
        version += QStringLiteral(" (build %1)").arg(build);
    const QString header = QStringLiteral("application: %1 %2\nuploaded: no, this file is the whole report\n")
                               .arg(QCoreApplication::applicationName(), version);
    copyInto(g_reportHeader, sizeof g_reportHeader, header.toUtf8());

    stack_t ss{};
    ss.ss_sp = g_altStack;
    ss.ss_size = sizeof g_altStack;
    ::sigaltstack(&ss, nullptr);
    struct sigaction sa {};
    sa.sa_sigaction = fatalSignalHandler;
    sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&sa.sa_mask);
    for (int sig : kFatalSignals)
        ::sigaction(sig, &sa, nullptr);
    g_started = true;
    if (opts.debug)
        std::fprintf(stderr, "crash reporting: started, reports in %s\n", qPrintable(dir));
    return true;
}

bool CrashReporter::isStarted() {
    return g_started;
}

CrashReporter::Options CrashReporter::options() {
    return g_options;
}
