// SPDX-License-Identifier: MIT
#include "platform/RelativeTime.h"

#include <gtest/gtest.h>

namespace {

QDateTime local(int y, int mo, int d, int h = 12, int mi = 0, int s = 0) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::LocalTime);
}

} // namespace

TEST(RelativeTime, ShortNamedStyle) {
    const QDateTime now = local(2026, 12, 7);
    struct Case {
        QDateTime date;
        const char* expected;
    };
    const Case cases[] = {
        {now, "now"},
        {now.addMSecs(-600), "now"},
        {now.addSecs(-1), "1 sec. ago"},
        {now.addSecs(-59), "59 sec. ago"},
        {now.addSecs(-60), "1 min. ago"},
        {now.addSecs(-120), "2 min. ago"},
        {now.addSecs(-3599), "59 min. ago"},
        {now.addSecs(-3600), "1 hr. ago"},
        {now.addSecs(-3 * 3600 - 59), "3 hr. ago"},
        {now.addSecs(-24 * 3600 + 1), "23 hr. ago"},
        {now.addDays(-1), "yesterday"},
        {now.addSecs(-47 * 3600), "yesterday"},
        {now.addDays(-2), "2 days ago"},
        {now.addDays(-6), "6 days ago"},
        {now.addDays(-7), "last week"},
        {now.addDays(-13), "last week"},
        {now.addDays(-14), "2 wk. ago"},
        {now.addDays(-21), "3 wk. ago"},
        {local(2026, 11, 7, 12, 0, 1), "4 wk. ago"}, // one second short of a month
        {local(2026, 11, 7), "last month"},
        {local(2026, 10, 7), "2 mo. ago"},
        {local(2026, 1, 8), "10 mo. ago"},
        {local(2025, 12, 8), "11 mo. ago"},
        {local(2025, 12, 7), "last year"},
        {local(2024, 12, 8), "last year"},
        {local(2024, 12, 7), "2 yr. ago"},
        {local(1990, 1, 1), "36 yr. ago"},
        {now.addSecs(5), "in 5 sec."},
        {now.addSecs(120), "in 2 min."},
        {now.addSecs(5 * 3600), "in 5 hr."},
        {now.addDays(1), "tomorrow"},
        {now.addDays(3), "in 3 days"},
        {now.addDays(7), "next week"},
        {now.addDays(15), "in 2 wk."},
        {local(2027, 1, 7), "next month"},
        {local(2027, 3, 7), "in 3 mo."},
        {local(2027, 12, 7), "next year"},
        {local(2030, 12, 7), "in 4 yr."},
        {now.toUTC().addSecs(-120), "2 min. ago"}, // UTC representation of the same moment
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date.toString(Qt::ISODateWithMs).toStdString());
        EXPECT_EQ(RelativeTime::shortString(c.date, now), QLatin1String(c.expected));
    }
}

TEST(RelativeTime, MonthEndsCountWholeMonths) {
    // 31 March back to 28 February is a whole month although February is shorter.
    EXPECT_EQ(RelativeTime::shortString(local(2026, 2, 28), local(2026, 3, 31)), QStringLiteral("last month"));
    // From the end of one month to the end of the next is a month; a day less is weeks.
    EXPECT_EQ(RelativeTime::shortString(local(2026, 1, 31), local(2026, 2, 28)), QStringLiteral("last month"));
    EXPECT_EQ(RelativeTime::shortString(local(2026, 1, 31), local(2026, 2, 27)), QStringLiteral("3 wk. ago"));
    // A leap day one year on.
    EXPECT_EQ(RelativeTime::shortString(local(2024, 2, 29), local(2025, 2, 28)), QStringLiteral("last year"));
}

TEST(RelativeTime, InvalidDatesGiveNoText) {
    EXPECT_TRUE(RelativeTime::shortString(QDateTime(), local(2026, 12, 7)).isEmpty());
    EXPECT_TRUE(RelativeTime::shortString(local(2026, 12, 7), QDateTime()).isEmpty());
}
