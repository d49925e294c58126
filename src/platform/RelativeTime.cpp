// SPDX-License-Identifier: MIT
#include "platform/RelativeTime.h"

#include <functional>

namespace {

using Step = std::function<QDateTime(const QDateTime&, qint64)>;

// The largest n such that stepping n units from `from` toward `to` does not pass `to`.
qint64 wholeUnits(const QDateTime& from, const QDateTime& to, qint64 estimate, const Step& step) {
    const bool forward = to >= from;
    auto fits = [&](qint64 n) {
        const QDateTime t = step(from, forward ? n : -n);
        return forward ? t <= to : t >= to;
    };
    qint64 n = std::max<qint64>(estimate - 1, 0);
    while (n > 0 && !fits(n))
        --n;
    while (fits(n + 1))
        ++n;
    return n;
}

QString phrase(qint64 n, bool past, const char* unit) {
    const QString amount = QStringLiteral("%1 %2").arg(n).arg(QLatin1String(unit));
    return past ? amount + QStringLiteral(" ago") : QStringLiteral("in ") + amount;
}

} // namespace

namespace RelativeTime {

QString shortString(const QDateTime& dateIn, const QDateTime& nowIn) {
    if (!dateIn.isValid() || !nowIn.isValid())
        return {};
    const QDateTime date = dateIn.toLocalTime();
    const QDateTime now = nowIn.toLocalTime();
    const bool past = date < now;
    const QDateTime& earlier = past ? date : now;
    const QDateTime& later = past ? now : date;

    const qint64 years = wholeUnits(earlier, later, later.date().year() - earlier.date().year(),
                                    [](const QDateTime& d, qint64 n) { return d.addYears(int(n)); });
    if (years > 0)
        return years == 1 ? (past ? QStringLiteral("last year") : QStringLiteral("next year"))
                          : phrase(years, past, "yr.");

    const qint64 months =
        wholeUnits(earlier, later, 0, [](const QDateTime& d, qint64 n) { return d.addMonths(int(n)); });
    if (months > 0)
        return months == 1 ? (past ? QStringLiteral("last month") : QStringLiteral("next month"))
                           : phrase(months, past, "mo.");

    const qint64 days = wholeUnits(earlier, later, earlier.date().daysTo(later.date()),
                                   [](const QDateTime& d, qint64 n) { return d.addDays(n); });
    if (days >= 7) {
        const qint64 weeks = days / 7;
        return weeks == 1 ? (past ? QStringLiteral("last week") : QStringLiteral("next week"))
                          : phrase(weeks, past, "wk.");
    }
    if (days > 0) {
        if (days == 1)
            return past ? QStringLiteral("yesterday") : QStringLiteral("tomorrow");
        return phrase(days, past, "days");
    }

    const qint64 seconds = earlier.secsTo(later);
    if (seconds >= 3600)
        return phrase(seconds / 3600, past, "hr.");
    if (seconds >= 60)
        return phrase(seconds / 60, past, "min.");
    if (seconds > 0)
        return phrase(seconds, past, "sec.");
    return QStringLiteral("now");
}

} // namespace RelativeTime
