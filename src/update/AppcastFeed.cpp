// SPDX-License-Identifier: MIT
#include "update/AppcastFeed.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

#include <algorithm>

namespace AppcastFeed {

namespace {

bool isASCIIDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

qsizetype runEnd(QStringView text, qsizetype from, bool digits) {
    while (from < text.size() && isASCIIDigit(text[from]) == digits)
        ++from;
    return from;
}

// Numbers of any length compare by value: leading zeros dropped, then by length, then digit by digit.
int compareNumbers(QStringView left, QStringView right) {
    const auto significant = [](QStringView digits) {
        qsizetype zeros = 0;
        while (zeros < digits.size() && digits[zeros] == u'0')
            ++zeros;
        return digits.sliced(zeros);
    };
    left = significant(left);
    right = significant(right);
    if (left.size() != right.size())
        return left.size() < right.size() ? -1 : 1;
    const int c = left.compare(right);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

// A part is a run of number and letter pieces: "0b1" is 0, then "b", then 1. No leading number
// ranks below every number. Where one part ends first it ranks above the other, whose suffix makes
// it a pre-release ("0" > "0b1"), unless the ending comes where a number is due ("1a" < "1a5").
// Walks both parts once, with no copy.
int compareParts(QStringView left, QStringView right) {
    qsizetype l = 0, r = 0;
    for (;;) {
        const qsizetype lEnd = runEnd(left, l, true);
        const qsizetype rEnd = runEnd(right, r, true);
        const bool lNumber = lEnd > l, rNumber = rEnd > r;
        if (lNumber != rNumber)
            return lNumber ? 1 : -1;
        if (lNumber) {
            if (const int c = compareNumbers(left.sliced(l, lEnd - l), right.sliced(r, rEnd - r)); c != 0)
                return c;
        }
        l = lEnd;
        r = rEnd;
        if (l == left.size() || r == right.size())
            return (l == left.size()) == (r == right.size()) ? 0 : (l == left.size() ? 1 : -1);
        const qsizetype lLetters = runEnd(left, l, false);
        const qsizetype rLetters = runEnd(right, r, false);
        if (const int c = left.sliced(l, lLetters - l).compare(right.sliced(r, rLetters - r)); c != 0)
            return c < 0 ? -1 : 1;
        l = lLetters;
        r = rLetters;
    }
}

// The next dot-separated part from *position; a text that has run out gives "0" for ever.
QStringView nextPart(QStringView text, qsizetype* position) {
    if (*position > text.size())
        return u"0";
    qsizetype end = text.indexOf(u'.', *position);
    if (end < 0)
        end = text.size();
    const QStringView part = text.sliced(*position, end - *position);
    *position = end + 1;
    return part;
}

} // namespace

bool isPlainVersion(QStringView version) {
    if (version.isEmpty() || version.size() > maximumVersionLength)
        return false;
    return std::all_of(version.begin(), version.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return isASCIIDigit(c) || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || u == u'.' || u == u'+' ||
               u == u'-';
    });
}

int compareVersions(const QString& a, const QString& b) {
    const QStringView left = QStringView(a).trimmed();
    const QStringView right = QStringView(b).trimmed();
    qsizetype l = 0, r = 0;
    while (l <= left.size() || r <= right.size()) {
        const QStringView leftPart = nextPart(left, &l);
        const QStringView rightPart = nextPart(right, &r);
        if (const int c = compareParts(leftPart, rightPart); c != 0)
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
            if (!current.version.isEmpty() && !isPlainVersion(current.version)) {
                if (error)
                    *error = QCoreApplication::translate("AppcastFeed",
                                                         "The update feed names a version that is not a plain version "
                                                         "number (digits, letters, dots, + and -, at most %1 "
                                                         "characters).")
                                 .arg(maximumVersionLength);
                return std::nullopt;
            }
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
