// SPDX-License-Identifier: MIT
#pragma once

#include <QTest>

#include <gtest/gtest.h>

// Event-loop waits whose timeout is a non-fatal failure: the test goes on and reports what else is
// wrong (QTRY_* stop the test at the first timeout).
#define TL_TRY_VERIFY(cond, ms)                                                                                        \
    EXPECT_TRUE(QTest::qWaitFor([&] { return bool(cond); }, ms)) << "timed out waiting for " #cond
#define TL_TRY_COMPARE(actual, expected, ms)                                                                           \
    do {                                                                                                               \
        (void)QTest::qWaitFor([&] { return (actual) == (expected); }, ms);                                             \
        EXPECT_EQ(actual, expected);                                                                                   \
    } while (0)
