// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

class ClipboardItem;
class SourceApp;

// A typed fetch predicate over "ClipboardItem" (or "SourceApp" for bundleIdEquals). Each kind has a
// readable form (in the comments below, e.g. "type == %@"); format() gives that form back, filled
// in, for logging and tests. The store compiles it to SQL.
class Predicate {
public:
    enum class Kind {
        And,
        Or,
        TypeEquals,      // "type == %@"
        TypeIn,          // "type IN %@"
        IsFavorite,      // "isFavorite == YES"
        IsNotFavorite,   // "isFavorite != YES"
        TimestampBefore, // "timestamp < %@"
        TextMatches,     // "textContent MATCHES %@" (whole-text regular expression)
        IsColor,         // "textContent MATCHES <ColorPattern::wholeText>"
        ContainsCD,      // "<field> CONTAINS[cd] %@"
        BundleIdEquals,  // "bundleId == %@" (SourceApp)
    };
    // Fields a CONTAINS[cd] test may name.
    enum class Field { TextContent, Preview, Type, SourceAppName };

    static Predicate typeEquals(const QString& type);
    static Predicate typeIn(const QStringList& types);
    static Predicate isFavorite();
    static Predicate isNotFavorite();
    static Predicate timestampBefore(const QDateTime& cutoff);
    static Predicate textMatches(const QString& regularExpression);
    // The text is a colour code (ColorPattern.h).
    static Predicate isColor();
    static Predicate containsCD(Field field, const QString& needle);
    static Predicate bundleIdEquals(const QString& bundleId);
    static Predicate andOf(std::vector<Predicate> parts);
    static Predicate orOf(std::vector<Predicate> parts);

    Kind kind() const { return m_kind; }
    Field field() const { return m_field; }
    const QString& string() const { return m_string; }
    const QStringList& strings() const { return m_strings; }
    const QDateTime& date() const { return m_date; }
    const std::vector<Predicate>& parts() const { return m_parts; }

    // The predicate's format string, e.g. `type == "text" AND isFavorite == YES`.
    QString format() const;

    // In-memory evaluation with the store's semantics (used for objects with unsaved changes).
    // Predicates that do not apply to an entity are false for it.
    bool evaluate(const ClipboardItem& item) const;
    bool evaluate(const SourceApp& app) const;

private:
    Kind m_kind = Kind::And;
    Field m_field = Field::TextContent;
    QString m_string;
    QStringList m_strings;
    QDateTime m_date;
    std::vector<Predicate> m_parts;
};

// A fetch of one entity, optionally filtered, sorted by "timestamp" descending (ClipboardItem),
// with an optional limit and an offset.
struct FetchRequest {
    QString entityName = QStringLiteral("ClipboardItem");
    std::optional<Predicate> predicate;
    bool sortByTimestampDescending = false;
    std::optional<int> fetchLimit;
    int fetchOffset = 0;
    // Entries read without their text, which is read on first use: a page of cards shows only
    // previews, and a text may be hundreds of megabytes.
    bool deferTextContent = false;
};
