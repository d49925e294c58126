// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <optional>

// An appcast-style update feed: an RSS channel whose items each name a version and where to get it:
//   <item><title>…</title><version>1.2.0</version><link>https://…/download</link></item>
// The version may also come as a "version" or "shortVersionString" attribute or element in any
// namespace, and the link as an <enclosure url="…">.
namespace AppcastFeed {

struct Item {
    QString version;
    QString title;
    QUrl downloadPage; // http or https only
};

// The item with the highest version. None, with a reason in *error, when the feed is not well-formed
// RSS or holds no item with a version and a web link.
std::optional<Item> newestItem(const QByteArray& xml, QString* error);

constexpr qsizetype maximumVersionLength = 64;

// Digits, ASCII letters, dots, "+" and "-", at most maximumVersionLength of them. A feed naming any
// other version is refused whole: nothing else it says can be trusted either.
bool isPlainVersion(QStringView version);

// Compares dotted versions number by number ("1.10" > "1.9", "1.2" == "1.2.0"); a part with a suffix
// is a pre-release of its number ("1.2.0b1" < "1.2.0"). Linear in the lengths, with no copy.
int compareVersions(const QString& a, const QString& b);

} // namespace AppcastFeed
