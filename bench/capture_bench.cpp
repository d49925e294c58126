// SPDX-License-Identifier: MIT
// Capture on a real X server (its own Xvfb with openbox; xclip as the copying client): copies
// recorded out of 200 at 0.1-0.6 s gaps and the application's CPU per text copy; copy -> stored
// and the longest main-thread block for a text and two PNG sizes, and for URI lists of one 10 MB
// line and of 100,000 files (copy and the panel's opening); hot key -> panel shown while
// hostile owners hold the clipboard; peak memory while a 100 MB text is captured.
// Run: ./build/bench/capture_bench  (about three minutes)
#include "BenchSupport.h"
#include "app/AppDelegate.h"
#include "history/ClipboardMonitor.h"
#include "history/store/ManagedObjectContext.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelWindowController.h"
#include "platform/FileIcons.h"
#include "support/HostileClipboardOwner.h"
#include "support/XvfbSession.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

QTemporaryDir* g_root = nullptr;

QString freshDir(const QString& name) {
    static int n = 0;
    const QString dir = g_root->filePath(name + QString::number(++n));
    QDir().mkpath(dir);
    return dir;
}

// Runs the event loop until done() or the time-out; false on time-out.
template <typename Done> bool spinUntil(Done done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return true;
}

// One xclip per copy, serving the CLIPBOARD until another client takes it.
class Copier {
public:
    ~Copier() {
        for (auto& p : m_clients) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    void copy(const QByteArray& mime, const QByteArray& data) { copyFile(mime, stage(data)); }
    // The file xclip will serve, written ahead so that writing it is not measured.
    static QString stage(const QByteArray& data) {
        const QString file = freshDir(QStringLiteral("clip")) + QStringLiteral("/contents.bin");
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        f.write(data);
        f.close();
        return file;
    }
    void copyFile(const QByteArray& mime, const QString& file) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("xclip"),
                 {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                  QStringLiteral("-t"), QString::fromLatin1(mime), QStringLiteral("-i"), file});
        p->waitForStarted();
        m_clients.push_back(std::move(p));
        // Ended xclips are reaped as we go, so 200 copies do not keep 200 processes.
        std::erase_if(m_clients, [](const std::unique_ptr<QProcess>& c) {
            return c->state() == QProcess::NotRunning && c->waitForFinished(0);
        });
    }

private:
    std::vector<std::unique_ptr<QProcess>> m_clients;
};

QByteArray bigText(qsizetype size) {
    QByteArray big;
    big.reserve(size + 64);
    for (int i = 0; big.size() < size; ++i)
        big += "line " + QByteArray::number(i) + " of a long text copied in pieces\n";
    return big;
}

// The application in this process, as the launch wires it, on a store of its own.
struct InProcessApp {
    InProcessApp() : delegate(freshDir(QStringLiteral("store")) + QStringLiteral("/Tindralume.sqlite")) {
        delegate.setUpApplication();
        // The show after launch comes and goes before measuring.
        spinUntil([&] { return delegate.panelController()->isVisible(); }, 5000);
        delegate.panelController()->hidePanel();
        spinUntil([&] { return !delegate.panelController()->window()->isVisible(); }, 5000);
    }
    // Counted without reading the rows, so the poll itself does not block the main thread.
    size_t rows() { return size_t(delegate.persistentContainer()->count(FetchRequest{})); }
    AppDelegate delegate;
};

void BM_CopyToStored(benchmark::State& state) {
    InProcessApp app;
    Copier copier;
    MainThreadProbe probe(1);
    const int kind = int(state.range(0));
    double worstBlock = 0;
    quint32 seed = 1;
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray data = kind == 0   ? QByteArray("copied text number ") + QByteArray::number(seed++)
                                : kind == 1 ? photoPng(1920, 1080, seed++)
                                : kind == 2 ? photoPng(4000, 3000, seed++)
                                            : QByteArray::number(seed++) + bigText(100LL * 1024 * 1024);
        const QString file = Copier::stage(data);
        const size_t before = app.rows();
        probe.start();
        state.ResumeTiming();
        copier.copyFile(kind == 0 || kind == 3 ? "UTF8_STRING" : "image/png", file);
        if (!spinUntil([&] { return app.rows() > before; }, 120000))
            state.SkipWithError("not stored");
        state.PauseTiming();
        worstBlock = std::max(worstBlock, probe.stopMs());
        state.ResumeTiming();
    }
    state.counters["longest_block_ms"] = worstBlock;
}
BENCHMARK(BM_CopyToStored)
    ->ArgName("text0_png1920x1080_1_png4000x3000_2_text100MB_3")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The default hot key, pressed through XTest as a keyboard would.
class HotKey {
public:
    HotKey() : m_dpy(XOpenDisplay(nullptr)) {
        m_keys = {XKeysymToKeycode(m_dpy, XK_Super_L), XKeysymToKeycode(m_dpy, XK_Shift_L),
                  XKeysymToKeycode(m_dpy, XK_v)};
    }
    ~HotKey() { XCloseDisplay(m_dpy); }
    void press() {
        for (KeyCode k : m_keys)
            XTestFakeKeyEvent(m_dpy, k, True, CurrentTime);
        for (auto it = m_keys.rbegin(); it != m_keys.rend(); ++it)
            XTestFakeKeyEvent(m_dpy, *it, False, CurrentTime);
        XFlush(m_dpy);
    }

private:
    Display* m_dpy;
    std::vector<KeyCode> m_keys;
};

bool panelExposed(AppDelegate& delegate) {
    QWidget* w = delegate.panelController()->window();
    return w && w->isVisible() && w->windowHandle() && w->windowHandle()->isExposed();
}

// A URI list copied: one line of 10 MB naming no file that can exist, or 100,000 files. The longest
// main-thread block from the copy until it is dealt with (stored, or the capture over), then while
// the panel opens on it.
void BM_UriListCopy(benchmark::State& state) {
    InProcessApp app;
    Copier copier;
    MainThreadProbe probe(1, 300);
    const bool oneLongLine = state.range(0) == 0;
    // The first file card of a process loads the MIME database and the icon theme, whatever the copy.
    FileIcons::iconForFile(QStringLiteral("/home/someone/IMG_1.jpeg"));
    double copyBlock = 0, showBlock = 0;
    int n = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QByteArray list;
        if (oneLongLine) {
            list = "file:///" + QByteArray::number(++n) + QByteArray(10 * 1024 * 1024, 'a') + "\r\n";
        } else {
            const QByteArray dir = "file:///home/someone/Pictures/holiday " + QByteArray::number(++n) + "/IMG_";
            for (int i = 0; i < 100000; ++i)
                list += dir + QByteArray::number(100000 + i) + ".jpeg\r\n";
        }
        const QString file = Copier::stage(list);
        const size_t before = app.rows();
        ClipboardMonitor* monitor = app.delegate.clipboardMonitor();
        const qint64 count = monitor->lastChangeCount;
        probe.start();
        state.ResumeTiming();
        copier.copyFile("text/uri-list", file);
        spinUntil([&] { return monitor->lastChangeCount != count && !monitor->isCapturing(); }, 60000);
        if (!oneLongLine && !spinUntil([&] { return app.rows() > before; }, 60000))
            state.SkipWithError("not stored");
        state.PauseTiming();
        copyBlock = std::max(copyBlock, probe.stopMs());
        probe.start();
        app.delegate.panelController()->showPanel();
        spinUntil([&] { return panelExposed(app.delegate); }, 30000);
        showBlock = std::max(showBlock, probe.stopMs());
        app.delegate.panelController()->hidePanel();
        spinUntil([&] { return !app.delegate.panelController()->window()->isVisible(); }, 5000);
        state.ResumeTiming();
    }
    state.counters["rows"] = double(app.rows());
    state.counters["copy_longest_block_ms"] = copyBlock;
    state.counters["show_longest_block_ms"] = showBlock;
}

BENCHMARK(BM_UriListCopy)
    ->ArgName("line10MB0_files100000_1")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Hot key -> panel shown while an owner of each kind holds the clipboard: 20 times, and on for as
// long as its change is being read and stored.
void BM_HotKeyWhileOwnerActive(benchmark::State& state) {
    InProcessApp app;
    Copier copier;
    HotKey hotKey;
    std::unique_ptr<HostileOwner> owner;
    const int kind = int(state.range(0));
    const QString fifo = freshDir(QStringLiteral("fifo")) + QStringLiteral("/x.png");
    ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
    switch (kind) {
    case 1:
        owner = std::make_unique<HostileOwner>(HostileOwner::Mode::Hang);
        break;
    case 2:
        owner = std::make_unique<HostileOwner>(HostileOwner::Mode::SlowRefuse, HostileOwner::manyImageTargets(40));
        break;
    case 3:
        copier.copy("text/uri-list", QUrl::fromLocalFile(fifo).toEncoded() + "\r\n");
        break;
    case 4:
        copier.copy("UTF8_STRING", bigText(100LL * 1024 * 1024));
        break;
    default:
        break;
    }
    if (owner)
        spinUntil([&] { return owner->dataRequests() > 0; }, 10000);
    else if (kind != 0)
        spinUntil([&] { return app.delegate.clipboardMonitor()->isCapturing(); }, 10000);
    std::vector<double> shown, hidden;
    int duringRead = 0;
    for (auto _ : state) {
        // At least 20 presses, and on until the change has been read and stored.
        auto working = [&] { return app.delegate.clipboardMonitor()->isCapturing() || (kind == 4 && app.rows() == 0); };
        for (int i = 0; i < 20 || (working() && i < 1000); ++i) {
            QElapsedTimer t;
            t.start();
            hotKey.press();
            if (!spinUntil([&] { return panelExposed(app.delegate); }, 30000)) {
                state.SkipWithError("panel not shown");
                return;
            }
            shown.push_back(double(t.nsecsElapsed()) / 1e6);
            duringRead += app.delegate.clipboardMonitor()->isCapturing() ? 1 : 0;
            t.restart();
            hotKey.press();
            spinUntil([&] { return !app.delegate.panelController()->window()->isVisible(); }, 30000);
            hidden.push_back(double(t.nsecsElapsed()) / 1e6);
        }
    }
    std::sort(hidden.begin(), hidden.end());
    state.counters["hide_worst_ms"] = hidden.back();
    std::sort(shown.begin(), shown.end());
    state.counters["median_ms"] = shown[shown.size() / 2];
    state.counters["worst_ms"] = shown.back();
    state.counters["presses"] = double(shown.size());
    state.counters["shown_while_reading"] = duringRead;
}
BENCHMARK(BM_HotKeyWhileOwnerActive)
    ->ArgName("none0_hang1_slowrefuse40_2_fifo3_incr100MB4")
    ->DenseRange(0, 4)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The built application as a process of its own.
class LaunchedApp {
public:
    LaunchedApp() {
        const QString home = freshDir(QStringLiteral("app"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        m_store = home + QStringLiteral("/data/Tindralume/Tindralume.sqlite");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TINDRALUME_APP_PATH), {});
        process.waitForStarted();
        QThread::msleep(1500);
    }
    ~LaunchedApp() {
        process.terminate();
        process.waitForFinished(20000);
    }
    // Rows of the store, read as another program would.
    int rows() {
        sqlite3* db = nullptr;
        int count = 0;
        if (sqlite3_open_v2(QFile::encodeName(m_store).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_busy_timeout(db, 5000);
            sqlite3_stmt* st = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT COUNT(*) FROM ClipboardItem", -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW)
                count = sqlite3_column_int(st, 0);
            sqlite3_finalize(st);
        }
        sqlite3_close(db);
        return count;
    }
    qint64 statusKb(const char* field) const {
        QFile f(QStringLiteral("/proc/%1/status").arg(process.processId()));
        f.open(QIODevice::ReadOnly);
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (line.startsWith(field))
                return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLongLong();
        }
        return -1;
    }
    // User and system CPU so far, in milliseconds.
    double cpuMs() const {
        QFile f(QStringLiteral("/proc/%1/stat").arg(process.processId()));
        f.open(QIODevice::ReadOnly);
        const QByteArray line = f.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        return double(fields.value(11).toLongLong() + fields.value(12).toLongLong()) * 1000.0 /
               double(sysconf(_SC_CLK_TCK));
    }
    QProcess process;

private:
    QString m_store;
};

void BM_TwoHundredCopies(benchmark::State& state) {
    LaunchedApp app;
    Copier copier;
    QRandomGenerator rng(12);
    int recorded = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = app.cpuMs();
        for (int i = 0; i < 200; ++i) {
            copier.copy("UTF8_STRING", "copy " + QByteArray::number(i) + " of 200");
            QThread::msleep(100 + rng.bounded(501));
        }
        QThread::msleep(2000);
        cpu = app.cpuMs() - cpuBefore;
        recorded = app.rows();
    }
    state.counters["recorded_of_200"] = recorded;
    state.counters["cpu_ms_per_copy"] = cpu / 200.0;
}
BENCHMARK(BM_TwoHundredCopies)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_PeakMemoryHundredMegabyteText(benchmark::State& state) {
    LaunchedApp app;
    Copier copier;
    const qsizetype size = 100LL * 1024 * 1024;
    for (auto _ : state) {
        const qint64 baseKb = app.statusKb("VmRSS:");
        copier.copy("UTF8_STRING", bigText(size));
        QElapsedTimer t;
        t.start();
        while (app.rows() < 1 && t.elapsed() < 120000)
            QThread::msleep(50);
        const qint64 peakKb = app.statusKb("VmHWM:");
        state.counters["rss_before_MB"] = double(baseKb) / 1024.0;
        state.counters["peak_MB"] = double(peakKb) / 1024.0;
        state.counters["growth_x_text"] = double(peakKb - baseKb) * 1024.0 / double(size);
        state.counters["stored_s"] = double(t.elapsed()) / 1000.0;
    }
}
BENCHMARK(BM_PeakMemoryHundredMegabyteText)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir root;
    g_root = &root;
    for (const char* sub : {"data", "config", "runtime"})
        QDir().mkpath(root.filePath(QString::fromLatin1(sub)));
    QFile::setPermissions(root.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_DATA_HOME", root.filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", root.filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", root.filePath(QStringLiteral("runtime")).toUtf8());
    XvfbSession xserver;
    if (!xserver.start(QStringLiteral("1920x1080x24"))) {
        fprintf(stderr, "%s\n", qPrintable(xserver.error()));
        return 1;
    }
    xserver.startWindowManager();
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
