// SPDX-License-Identifier: MIT
#pragma once

// Force-included into every test: QTest's checks (and so the QTRY_* waits built on them) report to
// GoogleTest. Outside a QTest run a failing QVERIFY would only return from the test, silently.
#include <QTest>

#include <gtest/gtest.h>

#undef QVERIFY
#undef QVERIFY2
#undef QCOMPARE
#undef QFAIL
#define QVERIFY(statement) ASSERT_TRUE(static_cast<bool>(statement)) << #statement
#define QVERIFY2(statement, description)                                                                               \
    ASSERT_TRUE(static_cast<bool>(statement)) << #statement << ": " << qPrintable(QString(description))
#define QCOMPARE(actual, expected) ASSERT_EQ(actual, expected)
#define QFAIL(message) FAIL() << (message)
