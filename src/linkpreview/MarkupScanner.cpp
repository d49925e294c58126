// SPDX-License-Identifier: MIT
#include "linkpreview/MarkupScanner.h"

#include <algorithm>

namespace {

bool isQuote(QChar c) {
    return c == u'"' || c == u'\'';
}

bool isWordOrDash(QChar c) {
    return c == u'-' || MarkupScanner::isWordChar(c);
}

template <typename T> auto firstAtOrAfter(const std::vector<T>& list, int position) {
    return std::lower_bound(list.begin(), list.end(), position,
                            [](const T& item, int pos) { return item.start < pos; });
}

} // namespace

MarkupScanner::MarkupScanner(QStringView text) : m_text(text), m_size(static_cast<int>(text.size())) {}

bool MarkupScanner::isWordChar(QChar c) {
    const char16_t u = c.unicode();
    if (u < 0x80)
        return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9') || u == u'_';
    return c == u'_' || c.isLetterOrNumber() || c.isMark() || c.category() == QChar::Punctuation_Connector ||
           c.unicode() == 0x200C || c.unicode() == 0x200D;
}

bool MarkupScanner::isSpaceChar(QChar c) {
    if (c.unicode() < 0x80)
        return c == u' ' || c == u'\t' || c == u'\n' || c == u'\f' || c == u'\r';
    switch (c.unicode()) {
    case u'\t':
    case u'\n':
    case u'\f':
    case u'\r':
        return true;
    default:
        break;
    }
    const auto category = c.category();
    return category == QChar::Separator_Space || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

void MarkupScanner::ensureIndexes() {
    if (m_indexed)
        return;
    m_indexed = true;
    for (int i = 0; i < m_size; ++i) {
        const QChar c = m_text[i];
        if (c == u'>')
            m_greaterThan.push_back(i);
        else if (isQuote(c))
            m_quotes.push_back(i);
    }
}

int MarkupScanner::nextGreaterThan(int from) const {
    auto it = std::lower_bound(m_greaterThan.begin(), m_greaterThan.end(), from);
    return it == m_greaterThan.end() ? m_size : *it;
}

int MarkupScanner::nextQuote(int from) const {
    auto it = std::lower_bound(m_quotes.begin(), m_quotes.end(), from);
    return it == m_quotes.end() ? m_size : *it;
}

bool MarkupScanner::wordBoundaryBefore(int pos) const {
    return pos == 0 || !isWordChar(m_text[pos - 1]);
}

int MarkupScanner::skipSpaces(int pos) const {
    while (pos < m_size && isSpaceChar(m_text[pos]))
        ++pos;
    return pos;
}

// The needles are lowercase ASCII; apart from ASCII only the long s and the Kelvin sign fold onto
// ASCII letters, as they do in the expressions' case-insensitive matching.
static inline char16_t foldToASCII(char16_t c) {
    if (c >= u'A' && c <= u'Z')
        return c + 32;
    if (c == 0x017F)
        return u's';
    if (c == 0x212A)
        return u'k';
    return c;
}

// The first place at or after from where text holds needle (lowercase ASCII), or -1.
static qsizetype findFolded(QStringView haystack, QStringView needle, qsizetype from) {
    const auto* text = reinterpret_cast<const char16_t*>(haystack.data());
    const auto* pattern = reinterpret_cast<const char16_t*>(needle.data());
    const qsizetype length = needle.size();
    const qsizetype last = haystack.size() - length;
    const char16_t first = pattern[0];
    for (qsizetype i = from; i <= last; ++i) {
        if (foldToASCII(text[i]) != first)
            continue;
        qsizetype k = 1;
        while (k < length && foldToASCII(text[i + k]) == pattern[k])
            ++k;
        if (k == length)
            return i;
    }
    return -1;
}

static bool equalsFolded(QStringView text, QStringView lowercaseKey) {
    if (text.size() != lowercaseKey.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (foldToASCII(text[i].unicode()) != lowercaseKey[i].unicode())
            return false;
    }
    return true;
}

std::vector<int> MarkupScanner::occurrences(QStringView needle) const {
    std::vector<int> found;
    qsizetype at = -1;
    while ((at = findFolded(m_text, needle, at + 1)) >= 0)
        found.push_back(static_cast<int>(at));
    return found;
}

const std::vector<int>& MarkupScanner::metaStarts(bool requireBoundary) {
    auto& cache = requireBoundary ? m_metaStartsBounded : m_metaStartsAny;
    if (!cache) {
        std::vector<int> starts = occurrences(u"<meta");
        if (requireBoundary) {
            std::erase_if(starts, [this](int s) { return s + 5 < m_size && isWordChar(m_text[s + 5]); });
        }
        cache = std::move(starts);
    }
    return *cache;
}

const std::vector<MarkupScanner::Attribute>& MarkupScanner::contentAttributes() {
    if (!m_contents) {
        std::vector<Attribute> list;
        for (int c : occurrences(u"content")) {
            if (!wordBoundaryBefore(c))
                continue;
            int pos = skipSpaces(c + 7);
            if (pos >= m_size || m_text[pos] != u'=')
                continue;
            pos = skipSpaces(pos + 1);
            if (pos >= m_size || !isQuote(m_text[pos]))
                continue;
            list.push_back({c, pos + 1});
        }
        m_contents = std::move(list);
    }
    return *m_contents;
}

std::vector<MarkupScanner::Attribute> MarkupScanner::keyAttributes(KeyAttribute attribute, const QString& key) {
    static const QString property = QStringLiteral("property");
    static const QString name = QStringLiteral("name");
    static const QString httpEquiv = QStringLiteral("http-equiv");
    std::vector<QStringView> words;
    if (attribute == KeyAttribute::Property)
        words = {property};
    else
        words = {name, httpEquiv};

    std::vector<Attribute> list;
    const QString lowerKey = key.toLower();
    const int keyLength = static_cast<int>(key.size());
    for (QStringView word : words) {
        auto cached = m_wordOccurrences.find(word.toString());
        if (cached == m_wordOccurrences.end())
            cached = m_wordOccurrences.emplace(word.toString(), occurrences(word)).first;
        for (int p : cached->second) {
            if (!wordBoundaryBefore(p))
                continue;
            int pos = skipSpaces(p + static_cast<int>(word.size()));
            if (pos >= m_size || m_text[pos] != u'=')
                continue;
            pos = skipSpaces(pos + 1);
            if (pos >= m_size || !isQuote(m_text[pos]))
                continue;
            ++pos;
            if (pos + keyLength >= m_size)
                continue;
            if (!equalsFolded(m_text.mid(pos, keyLength), lowerKey))
                continue;
            if (!isQuote(m_text[pos + keyLength]))
                continue;
            list.push_back({p, pos + keyLength + 1});
        }
    }
    std::sort(list.begin(), list.end(), [](const Attribute& a, const Attribute& b) { return a.start < b.start; });
    return list;
}

std::optional<QString> MarkupScanner::metaContent(KeyAttribute attribute, const QString& key) {
    if (auto found = metaContentKeyFirst(attribute, key))
        return found;
    return metaContentContentFirst(attribute, key);
}

// <meta\b[^>]*\bKEYATTR\s*=\s*["']KEY["'][^>]*\bcontent\s*=\s*["']([^"']*)["']
// Within one run the greedy [^>]* always settles on the last content attribute that has a closing
// quote somewhere after it; the run matches when a key attribute ends before that one begins.
std::optional<QString> MarkupScanner::metaContentKeyFirst(KeyAttribute attribute, const QString& key) {
    ensureIndexes();
    const auto& starts = metaStarts(true);
    if (starts.empty())
        return std::nullopt;
    const auto& contents = contentAttributes();
    const auto keys = keyAttributes(attribute, key);
    if (contents.empty() || keys.empty())
        return std::nullopt;
    const int lastQuote = m_quotes.empty() ? -1 : m_quotes.back();

    int runEnd = -1;
    for (int s : starts) {
        if (s < runEnd)
            continue;
        const int g = nextGreaterThan(s + 5);
        runEnd = g;
        auto lo = firstAtOrAfter(contents, s + 5);
        auto hi = firstAtOrAfter(contents, g);
        const Attribute* last = nullptr;
        for (auto it = hi; it != lo;) {
            --it;
            if (it->valueStart <= lastQuote) {
                last = &*it;
                break;
            }
        }
        if (!last)
            continue;
        auto first = firstAtOrAfter(keys, s + 5);
        if (first == keys.end() || first->start >= g || first->valueStart > last->start)
            continue;
        const int q = nextQuote(last->valueStart);
        return m_text.mid(last->valueStart, q - last->valueStart).toString();
    }
    return std::nullopt;
}

// <meta\b[^>]*\bcontent\s*=\s*["']([^"']*)["'][^>]*\bKEYATTR\s*=\s*["']KEY["']
// The greedy [^>]* tries content attributes from the last one of the run backwards; each is judged
// by whether a key attribute follows its value before the next '>'.
std::optional<QString> MarkupScanner::metaContentContentFirst(KeyAttribute attribute, const QString& key) {
    ensureIndexes();
    const auto& starts = metaStarts(true);
    if (starts.empty())
        return std::nullopt;
    const auto& contents = contentAttributes();
    const auto keys = keyAttributes(attribute, key);
    if (contents.empty() || keys.empty())
        return std::nullopt;

    int runEnd = -1;
    for (int s : starts) {
        if (s < runEnd)
            continue;
        const int g = nextGreaterThan(s + 5);
        runEnd = g;
        auto lo = firstAtOrAfter(contents, s + 5);
        auto hi = firstAtOrAfter(contents, g);
        for (auto it = hi; it != lo;) {
            --it;
            const int q = nextQuote(it->valueStart);
            if (q >= m_size)
                continue;
            const int end = nextGreaterThan(q + 1);
            auto k = firstAtOrAfter(keys, q + 1);
            if (k != keys.end() && k->start < end)
                return m_text.mid(it->valueStart, q - it->valueStart).toString();
        }
    }
    return std::nullopt;
}

// <title[^>]*>([\s\S]*?)</title>: a later start can only find a later '>' and closing tag, so the
// first "<title" decides.
std::optional<QString> MarkupScanner::titleElement() {
    const qsizetype s = findFolded(m_text, u"<title", 0);
    if (s < 0)
        return std::nullopt;
    const qsizetype g = m_text.indexOf(u'>', s + 6);
    if (g < 0)
        return std::nullopt;
    const qsizetype close = findFolded(m_text, u"</title>", g + 1);
    if (close < 0)
        return std::nullopt;
    return m_text.mid(g + 1, close - g - 1).toString();
}

// <script[^>]*type\s*=\s*["']application/ld\+json["'][^>]*>([\s\S]*?)</script>, all matches.
QStringList MarkupScanner::jsonLDBlocks(int maximum) {
    QStringList blocks;
    if (maximum <= 0)
        return blocks;
    ensureIndexes();
    const std::vector<int> starts = occurrences(u"<script");
    if (starts.empty())
        return blocks;
    static const QString ldJson = QStringLiteral("application/ld+json");
    std::vector<Attribute> types;
    for (int t : occurrences(u"type")) {
        int pos = skipSpaces(t + 4);
        if (pos >= m_size || m_text[pos] != u'=')
            continue;
        pos = skipSpaces(pos + 1);
        if (pos >= m_size || !isQuote(m_text[pos]))
            continue;
        ++pos;
        const int length = static_cast<int>(ldJson.size());
        if (pos + length >= m_size || !equalsFolded(m_text.mid(pos, length), ldJson) || !isQuote(m_text[pos + length]))
            continue;
        types.push_back({t, pos + length + 1});
    }
    if (types.empty())
        return blocks;

    int resumeAt = -1;
    for (int s : starts) {
        if (s < resumeAt)
            continue;
        const int g = nextGreaterThan(s + 7);
        if (g >= m_size)
            break;
        auto t = firstAtOrAfter(types, s + 7);
        if (t == types.end() || t->start >= g) {
            resumeAt = g;
            continue;
        }
        const qsizetype close = findFolded(m_text, u"</script>", g + 1);
        if (close < 0)
            break;
        blocks.append(m_text.mid(g + 1, close - g - 1).toString());
        if (blocks.size() >= maximum)
            break;
        resumeAt = static_cast<int>(close) + 9;
    }
    return blocks;
}

namespace {

// charset\s*=\s*["']?([\w-]+) at position h; the captured name or nothing.
std::optional<QString> charsetAt(QStringView text, int h) {
    const int n = static_cast<int>(text.size());
    int pos = h + 7;
    while (pos < n && MarkupScanner::isSpaceChar(text[pos]))
        ++pos;
    if (pos >= n || text[pos] != u'=')
        return std::nullopt;
    ++pos;
    while (pos < n && MarkupScanner::isSpaceChar(text[pos]))
        ++pos;
    if (pos < n && isQuote(text[pos]) && pos + 1 < n && isWordOrDash(text[pos + 1]))
        ++pos;
    const int start = pos;
    while (pos < n && isWordOrDash(text[pos]))
        ++pos;
    if (pos == start)
        return std::nullopt;
    return text.mid(start, pos - start).toString();
}

} // namespace

// <meta[^>]*charset\s*=\s*["']?([\w-]+): the greedy [^>]* settles on the last usable "charset" of
// the first run that has one.
std::optional<QString> MarkupScanner::metaCharset() {
    ensureIndexes();
    const auto& starts = metaStarts(false);
    if (starts.empty())
        return std::nullopt;
    struct Found {
        int start;
        QString name;
    };
    std::vector<Found> names;
    for (int h : occurrences(u"charset")) {
        if (auto name = charsetAt(m_text, h))
            names.push_back({h, *name});
    }
    int runEnd = -1;
    for (int s : starts) {
        if (s < runEnd)
            continue;
        const int g = nextGreaterThan(s + 5);
        runEnd = g;
        auto lo = firstAtOrAfter(names, s + 5);
        auto hi = firstAtOrAfter(names, g);
        if (hi != lo)
            return std::prev(hi)->name;
    }
    return std::nullopt;
}

std::optional<QString> MarkupScanner::charsetParameter(QStringView text) {
    qsizetype from = 0;
    while (true) {
        const qsizetype h = findFolded(text, u"charset", from);
        if (h < 0)
            return std::nullopt;
        if (auto name = charsetAt(text, static_cast<int>(h)))
            return name;
        from = h + 1;
    }
}
