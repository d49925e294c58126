// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <map>
#include <optional>
#include <vector>

// Finds meta tags, the title element, JSON-LD blocks and charset declarations in page text.
//
// Each lookup gives exactly the first match (and its capture) of the page's regular expression for
// it, but is found by scanning instead of backtracking: the expressions are built from runs of
// [^>]* between literal parts, so every candidate start inside one '>'-free run shares the same
// possible matches, and one run is judged once from sorted lists of attribute positions. A hostile
// page (thousands of "<meta " without a '>') costs linear time instead of quadratic or worse.
//
// The view must outlive the scanner. Lists of positions are built on first use.
class MarkupScanner {
public:
    enum class KeyAttribute {
        Property,        // property="KEY"
        NameOrHttpEquiv, // name="KEY" or http-equiv="KEY"
    };

    explicit MarkupScanner(QStringView text);

    // The content value of the first meta tag whose key attribute equals key (case-insensitively),
    // written key first; else written content first. Values must be quoted; the value ends at the
    // first quote of either kind.
    std::optional<QString> metaContent(KeyAttribute attribute, const QString& key);
    std::optional<QString> metaContentKeyFirst(KeyAttribute attribute, const QString& key);
    std::optional<QString> metaContentContentFirst(KeyAttribute attribute, const QString& key);

    // The text between the first <title ...> and the next </title>, raw.
    std::optional<QString> titleElement();

    // The bodies of the first `maximum` <script type="application/ld+json"> blocks, raw.
    QStringList jsonLDBlocks(int maximum);

    // The charset named in the first meta tag that names one with charset=NAME.
    std::optional<QString> metaCharset();

    // The first "charset = NAME" (quotes optional) anywhere in the text.
    static std::optional<QString> charsetParameter(QStringView text);

    // Character classes as the page expressions define them.
    static bool isWordChar(QChar c);
    static bool isSpaceChar(QChar c);

private:
    struct Attribute {
        int start;      // where the attribute name begins
        int valueStart; // just after the opening quote (content) or the closing quote (key)
    };

    int nextGreaterThan(int from) const;
    int nextQuote(int from) const;
    bool wordBoundaryBefore(int pos) const;
    int skipSpaces(int pos) const;
    void ensureIndexes();
    const std::vector<int>& metaStarts(bool requireBoundary);
    const std::vector<Attribute>& contentAttributes();
    std::vector<Attribute> keyAttributes(KeyAttribute attribute, const QString& key);
    std::vector<int> occurrences(QStringView needle) const;

    QStringView m_text;
    int m_size = 0;
    bool m_indexed = false;
    std::vector<int> m_greaterThan;
    std::vector<int> m_quotes;
    std::optional<std::vector<int>> m_metaStartsBounded;
    std::optional<std::vector<int>> m_metaStartsAny;
    std::optional<std::vector<Attribute>> m_contents;
    std::map<QString, std::vector<int>> m_wordOccurrences;
};
