// SPDX-License-Identifier: MIT
#include "update/AppcastFeed.h"

#include <QCoreApplication>
#include <QStringList>
#include <QXmlStreamReader>

namespace AppcastFeed {

namespace {

// A part is its leading number (none: below every number) and a suffix; "0b1" is a pre-release of
// "0", so a suffix ranks below no suffix. Suffixes compare by their letters, then their numbers.
int compareParts(const QString& left, const QString& right) {
    const auto split = [](const QString& part) {
        qsizetype digits = 0;
        while (digits < part.size() && digits < 18 && part[digits].isDigit())
            ++digits;
        return std::pair<qlonglong, QString>(digits ? part.left(digits).toLongLong() : -1, part.mid(digits));
    };
    const auto [ln, ls] = split(left);
    const auto [rn, rs] = split(right);
    if (ln != rn)
        return ln < rn ? -1 : 1;
    if (ls.isEmpty() || rs.isEmpty())
        return ls.isEmpty() == rs.isEmpty() ? 0 : (ls.isEmpty() ? 1 : -1);
    const auto letters = [](const QString& text) {
        qsizetype n = 0;
        while (n < text.size() && !text[n].isDigit())
            ++n;
        return n;
    };
    const qsizetype ll = letters(ls);
    const qsizetype rl = letters(rs);
    if (const int c = QStringView(ls).left(ll).compare(QStringView(rs).left(rl)); c != 0)
        return c < 0 ? -1 : 1;
    return compareParts(ls.mid(ll), rs.mid(rl));
}

} // namespace

int compareVersions(const QString& a, const QString& b) {
    const QStringList left = a.trimmed().split(QLatin1Char('.'));
    const QStringList right = b.trimmed().split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(left.size(), right.size()); ++i) {
        const int c = compareParts(i < left.size() ? left[i] : QStringLiteral("0"),
                                   i < right.size() ? right[i] : QStringLiteral("0"));
        if (c != 0)
            return c;
    }
    return 0;
}

std::optional<Item> newestItem(const QByteArray& xml, QString* error) {
    QXmlStreamReader reader(xml);
    std::optional<Item> newest;
    Item current;
    bool inItem = false;
    bool sawRss = false;
    int items = 0;
    const auto isVersion = [](QStringView name) {
        return name == QLatin1String("version") || name == QLatin1String("shortVersionString");
    };
    const auto webLink = [](const QString& text) {
        const QUrl url(text.trimmed(), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
                       !url.host().isEmpty()
                   ? url
                   : QUrl();
    };
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const QStringView name = reader.name();
            if (name == QLatin1String("rss"))
                sawRss = true;
            if (name == QLatin1String("item")) {
                inItem = true;
                current = Item{};
                ++items;
                continue;
            }
            if (!inItem)
                continue;
            for (const QXmlStreamAttribute& attribute : reader.attributes()) {
                if (isVersion(attribute.name()) && current.version.isEmpty())
                    current.version = attribute.value().toString().trimmed();
            }
            if (name == QLatin1String("enclosure") && current.downloadPage.isEmpty())
                current.downloadPage = webLink(reader.attributes().value(QLatin1String("url")).toString());
            else if (name == QLatin1String("link"))
                current.downloadPage = webLink(reader.readElementText(QXmlStreamReader::SkipChildElements));
            else if (name == QLatin1String("title"))
                current.title = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
            else if (isVersion(name))
                current.version = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
        } else if (reader.isEndElement() && reader.name() == QLatin1String("item")) {
            inItem = false;
            if (!current.version.isEmpty() && !current.downloadPage.isEmpty() &&
                (!newest || compareVersions(current.version, newest->version) > 0))
                newest = current;
        }
    }
    if (reader.hasError()) {
        if (error)
            *error = QCoreApplication::translate("AppcastFeed", "The update feed is not valid XML (line %1: %2).")
                         .arg(reader.lineNumber())
                         .arg(reader.errorString());
        return std::nullopt;
    }
    if (!sawRss) {
        if (error)
            *error = QCoreApplication::translate("AppcastFeed", "The update feed is not an RSS feed.");
        return std::nullopt;
    }
    if (!newest && error)
        *error = items ? QCoreApplication::translate(
                             "AppcastFeed", "No item of the update feed names a version and a web download page.")
                       : QCoreApplication::translate("AppcastFeed", "The update feed lists no versions.");
    return newest;
}

} // namespace AppcastFeed
