// SPDX-License-Identifier: MIT
#include "platform/RelativeTime.h"

#include <QCoreApplication>

#include <climits>
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

// The phrases of each unit, past and future, as translation sources with Qt's plural forms.
struct UnitPhrases {
    const char* past;
    const char* future;
};
constexpr UnitPhrases kSeconds{QT_TRANSLATE_N_NOOP("RelativeTime", "%n sec. ago"),
                               QT_TRANSLATE_N_NOOP("RelativeTime", "in %n sec.")};
constexpr UnitPhrases kMinutes{QT_TRANSLATE_N_NOOP("RelativeTime", "%n min. ago"),
                               QT_TRANSLATE_N_NOOP("RelativeTime", "in %n min.")};
constexpr UnitPhrases kHours{QT_TRANSLATE_N_NOOP("RelativeTime", "%n hr. ago"),
                             QT_TRANSLATE_N_NOOP("RelativeTime", "in %n hr.")};
constexpr UnitPhrases kDays{QT_TRANSLATE_N_NOOP("RelativeTime", "%n days ago"),
                            QT_TRANSLATE_N_NOOP("RelativeTime", "in %n days")};
constexpr UnitPhrases kWeeks{QT_TRANSLATE_N_NOOP("RelativeTime", "%n wk. ago"),
                             QT_TRANSLATE_N_NOOP("RelativeTime", "in %n wk.")};
constexpr UnitPhrases kMonths{QT_TRANSLATE_N_NOOP("RelativeTime", "%n mo. ago"),
                              QT_TRANSLATE_N_NOOP("RelativeTime", "in %n mo.")};
constexpr UnitPhrases kYears{QT_TRANSLATE_N_NOOP("RelativeTime", "%n yr. ago"),
                             QT_TRANSLATE_N_NOOP("RelativeTime", "in %n yr.")};

QString phrase(qint64 n, bool past, const UnitPhrases& unit) {
    return QCoreApplication::translate("RelativeTime", past ? unit.past : unit.future, nullptr,
                                       int(std::min<qint64>(n, INT_MAX)));
}

QString named(const char* text) {
    return QCoreApplication::translate("RelativeTime", text);
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
        return years == 1 ? (past ? named(QT_TRANSLATE_NOOP("RelativeTime", "last year"))
                                  : named(QT_TRANSLATE_NOOP("RelativeTime", "next year")))
                          : phrase(years, past, kYears);

    const qint64 months =
        wholeUnits(earlier, later, 0, [](const QDateTime& d, qint64 n) { return d.addMonths(int(n)); });
    if (months > 0)
        return months == 1 ? (past ? named(QT_TRANSLATE_NOOP("RelativeTime", "last month"))
                                   : named(QT_TRANSLATE_NOOP("RelativeTime", "next month")))
                           : phrase(months, past, kMonths);

    const qint64 days = wholeUnits(earlier, later, earlier.date().daysTo(later.date()),
                                   [](const QDateTime& d, qint64 n) { return d.addDays(n); });
    if (days >= 7) {
        const qint64 weeks = days / 7;
        return weeks == 1 ? (past ? named(QT_TRANSLATE_NOOP("RelativeTime", "last week"))
                                  : named(QT_TRANSLATE_NOOP("RelativeTime", "next week")))
                          : phrase(weeks, past, kWeeks);
    }
    if (days > 0) {
        if (days == 1)
            return past ? named(QT_TRANSLATE_NOOP("RelativeTime", "yesterday"))
                        : named(QT_TRANSLATE_NOOP("RelativeTime", "tomorrow"));
        return phrase(days, past, kDays);
    }

    const qint64 seconds = earlier.secsTo(later);
    if (seconds >= 3600)
        return phrase(seconds / 3600, past, kHours);
    if (seconds >= 60)
        return phrase(seconds / 60, past, kMinutes);
    if (seconds > 0)
        return phrase(seconds, past, kSeconds);
    return named(QT_TRANSLATE_NOOP("RelativeTime", "now"));
}

} // namespace RelativeTime
