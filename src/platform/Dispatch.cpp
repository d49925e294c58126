// SPDX-License-Identifier: MIT
#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace Dispatch {

bool isMainThread() {
    auto* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void onMain(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void onMain(QObject* context, std::function<void()> fn) {
    QPointer<QObject> guard(context);
    onMain([guard, fn = std::move(fn)] {
        if (guard)
            fn();
    });
}

void afterOnMain(int milliseconds, QObject* context, std::function<void()> fn) {
    QPointer<QObject> guard(context);
    const bool hasContext = context != nullptr;
    auto run = [guard, hasContext, fn = std::move(fn)] {
        if (!hasContext || guard)
            fn();
    };
    if (isMainThread())
        QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(run));
    else
        onMain([milliseconds, run = std::move(run)]() mutable {
            QTimer::singleShot(milliseconds, QCoreApplication::instance(), std::move(run));
        });
}

void syncOnMain(const std::function<void()>& fn) {
    if (isMainThread()) {
        fn();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), fn, Qt::BlockingQueuedConnection);
}

QThreadPool* globalPool() {
    // Not Qt's global pool: Qt's raster painting splits work onto that one and waits for it on the
    // main thread, while our blocks may wait for the main thread (a fetch runs there). Sharing one
    // pool deadlocks once every worker waits on the main thread. Never destroyed, so ending the
    // process does not wait for blocks still in flight.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
        return p;
    }();
    return pool;
}

void onGlobal(std::function<void()> fn) {
    globalPool()->start(std::move(fn));
}

} // namespace Dispatch

SerialQueue::SerialQueue() : m_pool(std::make_unique<QThreadPool>()) {
    m_pool->setMaxThreadCount(1);
}

SerialQueue::~SerialQueue() {
    m_pool->waitForDone();
}

void SerialQueue::async(std::function<void()> fn) {
    m_pool->start(std::move(fn));
}

void SerialQueue::waitForDone() {
    m_pool->waitForDone();
}
