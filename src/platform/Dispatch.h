// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QThreadPool>

#include <functional>
#include <memory>

// Where work runs: the main queue is the GUI thread's event loop, the global queue a pool of worker
// threads of its own, a serial queue a one-thread pool.
namespace Dispatch {

bool isMainThread();

// Runs fn on the main thread later (never inline). With a context, fn is dropped once the context
// is destroyed, so a queued call never reaches a deleted owner.
void onMain(std::function<void()> fn);
void onMain(QObject* context, std::function<void()> fn);
void afterOnMain(int milliseconds, QObject* context, std::function<void()> fn);

// Runs fn on the main thread and waits for it; runs it inline when already on the main thread.
void syncOnMain(const std::function<void()>& fn);

// The global queue: its own pool of workers, separate from Qt's global thread pool.
void onGlobal(std::function<void()> fn);
QThreadPool* globalPool();

} // namespace Dispatch

// A queue that runs its blocks one after another, in order, on one worker thread.
class SerialQueue {
public:
    SerialQueue();
    ~SerialQueue();
    void async(std::function<void()> fn);
    void waitForDone();

private:
    std::unique_ptr<QThreadPool> m_pool;
};
