// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

// How long ago (or how far ahead) a moment is, in the short English style with named days,
// weeks, months and years: "now", "2 min. ago", "3 hr. ago", "yesterday", "2 days ago",
// "last week", "3 wk. ago", "last month", "2 mo. ago", "last year", "2 yr. ago", "in 2 min.".
// Only the largest calendar unit that differs is named, counted in local time. The phrases go
// through the translation tables (context "RelativeTime").
namespace RelativeTime {

QString shortString(const QDateTime& date, const QDateTime& now);

} // namespace RelativeTime
