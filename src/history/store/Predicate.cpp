// SPDX-License-Identifier: MIT
#include "history/store/Predicate.h"

#include "history/ColorPattern.h"

#include "history/store/Entities.h"
#include "history/store/RegexCache.h"
#include "history/store/TextFolding.h"

namespace {

QString quoted(const QString& s) {
    QString escaped = s;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\")).replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString fieldName(Predicate::Field field) {
    switch (field) {
    case Predicate::Field::TextContent:
        return QStringLiteral("textContent");
    case Predicate::Field::Preview:
        return QStringLiteral("preview");
    case Predicate::Field::Type:
        return QStringLiteral("type");
    case Predicate::Field::SourceAppName:
        return QStringLiteral("sourceApp.appName");
    }
    return {};
}

} // namespace

Predicate Predicate::typeEquals(const QString& type) {
    Predicate p;
    p.m_kind = Kind::TypeEquals;
    p.m_string = type;
    return p;
}

Predicate Predicate::typeIn(const QStringList& types) {
    Predicate p;
    p.m_kind = Kind::TypeIn;
    p.m_strings = types;
    return p;
}

Predicate Predicate::isFavorite() {
    Predicate p;
    p.m_kind = Kind::IsFavorite;
    return p;
}

Predicate Predicate::isNotFavorite() {
    Predicate p;
    p.m_kind = Kind::IsNotFavorite;
    return p;
}

Predicate Predicate::timestampBefore(const QDateTime& cutoff) {
    Predicate p;
    p.m_kind = Kind::TimestampBefore;
    p.m_date = cutoff;
    return p;
}

Predicate Predicate::textMatches(const QString& regularExpression) {
    Predicate p;
    p.m_kind = Kind::TextMatches;
    p.m_string = regularExpression;
    return p;
}

Predicate Predicate::isColor() {
    Predicate p;
    p.m_kind = Kind::IsColor;
    p.m_string = ColorPattern::wholeText;
    return p;
}

Predicate Predicate::containsCD(Field field, const QString& needle) {
    Predicate p;
    p.m_kind = Kind::ContainsCD;
    p.m_field = field;
    p.m_string = needle;
    return p;
}

Predicate Predicate::bundleIdEquals(const QString& bundleId) {
    Predicate p;
    p.m_kind = Kind::BundleIdEquals;
    p.m_string = bundleId;
    return p;
}

Predicate Predicate::andOf(std::vector<Predicate> parts) {
    Predicate p;
    p.m_kind = Kind::And;
    p.m_parts = std::move(parts);
    return p;
}

Predicate Predicate::orOf(std::vector<Predicate> parts) {
    Predicate p;
    p.m_kind = Kind::Or;
    p.m_parts = std::move(parts);
    return p;
}

QString Predicate::format() const {
    switch (m_kind) {
    case Kind::And:
    case Kind::Or: {
        if (m_parts.empty())
            return m_kind == Kind::And ? QStringLiteral("TRUEPREDICATE") : QStringLiteral("FALSEPREDICATE");
        QStringList out;
        for (const Predicate& part : m_parts) {
            const bool compound = (part.kind() == Kind::And || part.kind() == Kind::Or) && part.parts().size() > 1;
            out << (compound ? QLatin1Char('(') + part.format() + QLatin1Char(')') : part.format());
        }
        return out.join(m_kind == Kind::And ? QStringLiteral(" AND ") : QStringLiteral(" OR "));
    }
    case Kind::TypeEquals:
        return QStringLiteral("type == ") + quoted(m_string);
    case Kind::TypeIn: {
        QStringList items;
        for (const QString& s : m_strings)
            items << quoted(s);
        return QStringLiteral("type IN {") + items.join(QStringLiteral(", ")) + QLatin1Char('}');
    }
    case Kind::IsFavorite:
        return QStringLiteral("isFavorite == YES");
    case Kind::IsNotFavorite:
        return QStringLiteral("isFavorite != YES");
    case Kind::TimestampBefore:
        return QStringLiteral("timestamp < %1").arg(m_date.toMSecsSinceEpoch() / 1000.0, 0, 'f', 3);
    case Kind::TextMatches:
    case Kind::IsColor:
        return QStringLiteral("textContent MATCHES ") + quoted(m_string);
    case Kind::ContainsCD:
        return fieldName(m_field) + QStringLiteral(" CONTAINS[cd] ") + quoted(m_string);
    case Kind::BundleIdEquals:
        return QStringLiteral("bundleId == ") + quoted(m_string);
    }
    return {};
}

bool Predicate::evaluate(const ClipboardItem& item) const {
    switch (m_kind) {
    case Kind::And:
        for (const Predicate& p : m_parts)
            if (!p.evaluate(item))
                return false;
        return true;
    case Kind::Or:
        for (const Predicate& p : m_parts)
            if (p.evaluate(item))
                return true;
        return false;
    case Kind::TypeEquals:
        return item.type() && *item.type() == m_string;
    case Kind::TypeIn:
        return item.type() && m_strings.contains(*item.type());
    case Kind::IsFavorite:
        return item.isFavorite().value_or(false);
    case Kind::IsNotFavorite:
        return !item.isFavorite().value_or(false);
    case Kind::TimestampBefore:
        return item.timestamp() && m_date.isValid() &&
               item.timestamp()->toMSecsSinceEpoch() < m_date.toMSecsSinceEpoch();
    case Kind::TextMatches:
    case Kind::IsColor:
        return item.textContent() && RegexCache::matchesWhole(m_string, *item.textContent());
    case Kind::ContainsCD: {
        OptString haystack;
        switch (m_field) {
        case Field::TextContent:
            haystack = item.textContent();
            break;
        case Field::Preview:
            haystack = item.preview();
            // A copy of several files is found by any file's name, as by the first one's, its preview.
            if (item.additionalFileCount() > 0) {
                const QString needle = TextFolding::fold(m_string);
                for (const QString& path : item.additionalFilePaths())
                    if (TextFolding::containsFolded(TextFolding::fold(lastPathComponent(path)), needle))
                        return true;
            }
            break;
        case Field::Type:
            haystack = item.type();
            break;
        case Field::SourceAppName:
            if (auto app = item.sourceApp())
                haystack = app->appName();
            break;
        }
        return haystack && TextFolding::containsFolded(TextFolding::fold(*haystack), TextFolding::fold(m_string));
    }
    case Kind::BundleIdEquals:
        return false;
    }
    return false;
}

bool Predicate::evaluate(const SourceApp& app) const {
    switch (m_kind) {
    case Kind::And:
        for (const Predicate& p : m_parts)
            if (!p.evaluate(app))
                return false;
        return true;
    case Kind::Or:
        for (const Predicate& p : m_parts)
            if (p.evaluate(app))
                return true;
        return false;
    case Kind::BundleIdEquals:
        return app.bundleId() && *app.bundleId() == m_string;
    default:
        return false;
    }
}
