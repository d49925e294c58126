// SPDX-License-Identifier: MIT
#include "platform/Dispatch.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

// Every worker of the global queue waits for the main thread (as a store fetch does) while the main
// thread waits for work on Qt's own pool (as raster painting does). The two must not share workers.
TEST(Dispatch, GlobalQueueBlockedOnMainDoesNotStarveQtsPool) {
    const int workers = Dispatch::globalPool()->maxThreadCount();
    std::atomic<int> waiting{0};
    std::atomic<int> done{0};
    for (int i = 0; i < workers; ++i)
        Dispatch::onGlobal([&] {
            ++waiting;
            Dispatch::syncOnMain([] {});
            ++done;
        });
    QElapsedTimer t;
    t.start();
    while (waiting < workers && t.elapsed() < 10000)
        QThread::msleep(5);
    ASSERT_EQ(waiting.load(), workers);

    QSemaphore ran;
    QThreadPool::globalInstance()->start([&] { ran.release(); });
    EXPECT_TRUE(ran.tryAcquire(1, 5000)) << "Qt's pool had no free worker";

    while (done < workers && t.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(done.load(), workers);
}

TEST(Dispatch, SerialQueueRunsBlocksInOrderOneAtATime) {
    SerialQueue queue;
    std::vector<int> order;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};
    for (int i = 0; i < 50; ++i)
        queue.async([&, i] {
            if (++running > 1)
                overlapped = true;
            order.push_back(i);
            --running;
        });
    queue.waitForDone();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped.load());
}

TEST(Dispatch, MainQueueBlocksDropWithTheirContext) {
    int ran = 0;
    auto* context = new QObject;
    Dispatch::onMain(context, [&] { ++ran; });
    Dispatch::afterOnMain(10, context, [&] { ++ran; });
    delete context;
    QObject keeper;
    Dispatch::onMain(&keeper, [&] { ran += 10; });
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(ran, 10);
}
