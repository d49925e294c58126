// SPDX-License-Identifier: MIT
#pragma once

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>

// A photo-like picture (gradients with mild noise), so PNG work is realistic; seed makes it unique.
inline QByteArray photoPng(int w, int h, quint32 seed) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(12));
            line[x] = qRgb((x * 255 / w + n) & 255, (y * 255 / h + n) & 255, ((x + y) * 255 / (w + h) + n) & 255);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The longest time the main thread's event loop went without running a timer of intervalMs.
// settleMs: the loop runs that long more before stopping, so a block that ends the span is counted.
class MainThreadProbe {
public:
    explicit MainThreadProbe(int intervalMs, int settleMs = 0) : m_settleNs(qint64(settleMs) * 1'000'000) {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
    }
    void start() {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }
    double stopMs() {
        const qint64 until = m_clock.nsecsElapsed() + m_settleNs;
        while (m_clock.nsecsElapsed() < until)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        m_timer.stop();
        return double(m_longest) / 1e6;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0, m_longest = 0;
    const qint64 m_settleNs;
};
